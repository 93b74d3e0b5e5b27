#include "lc4clm0calibrator.h"

LC4CLM0Calibrator::LC4CLM0Calibrator(QObject* parent)
    : DividedCalibrator(parent, QStringLiteral("LC4CLM0"), 4.0L)
{
}

bool LC4CLM0Calibrator::performDriver()
{
    return write(ownDriver()->pidEnable(), false) && write(ownDriver()->shortEnable(), false);
}

bool LC4CLM0Calibrator::finish()
{
    return write(ownDriver()->pidEnable(), true) && write(ownDriver()->shortEnable(), true);
}
