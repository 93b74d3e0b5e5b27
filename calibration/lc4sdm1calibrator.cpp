#include "lc4sdm1calibrator.h"

namespace {
using Record = LC4SDM1_EEPROM_Const_t;
enum
{
    UMode = 0,
    IMonitorMode = 1,
    IMode = 2
};
} // namespace

LC4SDM1Calibrator::LC4SDM1Calibrator(QObject* parent)
    : SspdCalibrator(
          parent, QStringLiteral("LC4SDM1"),
          {{QStringLiteral("U mode"), 2, &Record::voltageAdcCoeff, &Record::currentDacCoeff, false},
           {QStringLiteral("I monitor mode"), 0, &Record::currentMonitorAdcCoeff,
            &Record::currentDacCoeff, true},
           {QStringLiteral("I mode"), 0, &Record::currentAdcCoeff, &Record::currentDacCoeff, true}})
{
}

double LC4SDM1Calibrator::readAdcValue(bool* ok)
{
    switch (mode()) {
    case UMode:
        return read(ownDriver()->voltage(), ok);
    case IMonitorMode:
        return read(ownDriver()->currentMonitor(), ok);
    default:
        return read(ownDriver()->current(), ok);
    }
}
