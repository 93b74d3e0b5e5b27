#include "lc4bsm0calibrator.h"

namespace {
using Record = LC4BSM0V0_EEPROM_Const_t;
enum
{
    UMode = 0,
    IMode = 1
};
// The module's regulation modes.
constexpr char currentRegulation = 0;
constexpr char voltageRegulation = 1;
} // namespace

LC4BSM0Calibrator::LC4BSM0Calibrator(QObject* parent)
    : RecordCalibrator(
          parent, QStringLiteral("LC4BSM0"),
          {{QStringLiteral("U mode"), 2, &Record::voltageAdcCoeff, &Record::voltageDacCoeff, true},
           {QStringLiteral("I mode"), 2, &Record::currentAdcCoeff, &Record::currentDacCoeff, true}})
{
}

bool LC4BSM0Calibrator::performDriver()
{
    bool ok = false;
    m_regulationMode = char(read(ownDriver()->mode(), &ok));
    return ok &&
           write(ownDriver()->mode(), mode() == IMode ? currentRegulation : voltageRegulation) &&
           write(ownDriver()->pidEnable(), false) && write(ownDriver()->shortEnable(), false);
}

bool LC4BSM0Calibrator::setDacValue(double value)
{
    return mode() == IMode ? write(ownDriver()->current(), float(value))
                           : write(ownDriver()->voltage(), float(value));
}

double LC4BSM0Calibrator::readAdcValue(bool* ok)
{
    return mode() == IMode ? read(ownDriver()->current(), ok) : read(ownDriver()->voltage(), ok);
}

bool LC4BSM0Calibrator::finish()
{
    return write(ownDriver()->pidEnable(), true) && write(ownDriver()->mode(), m_regulationMode);
}
