#include "lc4sdm0calibrator.h"

namespace {
using Record = LC4SDM0V1_EEPROM_Const_t;
enum
{
    UMode = 0,
    IMode = 1
};
} // namespace

LC4SDM0Calibrator::LC4SDM0Calibrator(QObject* parent)
    : SspdCalibrator(
          parent, QStringLiteral("LC4SDM0"),
          {{QStringLiteral("U mode"), 2, &Record::voltageAdcCoeff, &Record::currentDacCoeff, false},
           {QStringLiteral("I mode"), 0, &Record::currentAdcCoeff, &Record::currentDacCoeff, true}})
{
}

double LC4SDM0Calibrator::readAdcValue(bool* ok)
{
    return mode() == IMode ? read(ownDriver()->current(), ok) : read(ownDriver()->voltage(), ok);
}
