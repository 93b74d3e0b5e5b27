#include "lc4htm0calibrator.h"

#include "dacrangedivider.h"

namespace {
using Record = LC4HT0V0_EEPROM_Const_t;
constexpr long double dacRangeDivider = 3.0L;
} // namespace

LC4HTM0Calibrator::LC4HTM0Calibrator(QObject* parent)
    : RecordCalibrator(
          parent, QStringLiteral("LC4HTM0"),
          {{QStringLiteral("I mode"), 0, &Record::currentAdcCoeff, &Record::currentDacCoeff, true}})
{
}

bool LC4HTM0Calibrator::performDriver()
{
    return write(ownDriver()->mode(), char(0)) && write(ownDriver()->relayStatus(), char(0));
}

bool LC4HTM0Calibrator::setDacValue(double value)
{
    return write(ownDriver()->current(), float(value));
}

double LC4HTM0Calibrator::readAdcValue(bool* ok)
{
    return read(ownDriver()->current(), ok);
}

bool LC4HTM0Calibrator::finish()
{
    return write(ownDriver()->relayStatus(), char(1)) && write(ownDriver()->mode(), char(1));
}

pair_t<float> LC4HTM0Calibrator::identityDacPair()
{
    return dividedDacPair(dacRangeDivider, 1.0L, 0.0L);
}

pair_t<float> LC4HTM0Calibrator::moduleDacPair(lineRegressionCoeff line)
{
    return dividedDacPair(dacRangeDivider, line);
}
