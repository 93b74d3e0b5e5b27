#include "lc4clm0calibrator.h"

#include "dacrangedivider.h"

namespace {
using Record = LC4CLM0V0_EEPROM_Const_t;
constexpr long double dacRangeDivider = 4.0L;
} // namespace

LC4CLM0Calibrator::LC4CLM0Calibrator(QObject* parent)
    : RecordCalibrator(
          parent, QStringLiteral("LC4CLM0"),
          {{QStringLiteral("I mode"), 0, &Record::currentAdcCoeff, &Record::currentDacCoeff, true}})
{
}

bool LC4CLM0Calibrator::performDriver()
{
    return write(ownDriver()->pidEnable(), false) && write(ownDriver()->shortEnable(), false);
}

bool LC4CLM0Calibrator::setDacValue(double value)
{
    return write(ownDriver()->current(), float(value));
}

double LC4CLM0Calibrator::readAdcValue(bool* ok)
{
    return read(ownDriver()->current(), ok);
}

bool LC4CLM0Calibrator::finish()
{
    return write(ownDriver()->pidEnable(), true) && write(ownDriver()->shortEnable(), true);
}

pair_t<float> LC4CLM0Calibrator::identityDacPair()
{
    return dividedDacPair(dacRangeDivider, 1.0L, 0.0L);
}

pair_t<float> LC4CLM0Calibrator::moduleDacPair(lineRegressionCoeff line)
{
    return dividedDacPair(dacRangeDivider, line);
}
