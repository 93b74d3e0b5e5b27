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
    : RecordCalibrator(
          parent, QStringLiteral("LC4SDM0"),
          {{QStringLiteral("U mode"), 2, &Record::voltageAdcCoeff, &Record::currentDacCoeff, false},
           {QStringLiteral("I mode"), 0, &Record::currentAdcCoeff, &Record::currentDacCoeff, true}})
{
}

bool LC4SDM0Calibrator::performDriver()
{
    return write(ownDriver()->PIDEnableStatus(), false) && write(ownDriver()->shortEnable(), false);
}

bool LC4SDM0Calibrator::setDacValue(double value)
{
    return write(ownDriver()->current(), float(value));
}

double LC4SDM0Calibrator::readAdcValue(bool* ok)
{
    return mode() == IMode ? read(ownDriver()->current(), ok) : read(ownDriver()->voltage(), ok);
}

bool LC4SDM0Calibrator::finish()
{
    return write(ownDriver()->PIDEnableStatus(), true);
}
