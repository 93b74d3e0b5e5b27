#include "lc4htm0calibrator.h"

LC4HTM0Calibrator::LC4HTM0Calibrator(QObject* parent)
    : DividedCalibrator(parent, QStringLiteral("LC4HTM0"), 3.0L)
{
}

bool LC4HTM0Calibrator::performDriver()
{
    return write(ownDriver()->mode(), char(0)) && write(ownDriver()->relayStatus(), char(0));
}

bool LC4HTM0Calibrator::finish()
{
    return write(ownDriver()->relayStatus(), char(1)) && write(ownDriver()->mode(), char(1));
}
