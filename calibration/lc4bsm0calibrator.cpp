#include "lc4bsm0calibrator.h"

#include <cmath>

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
    if (mode() == IMode)
        return read(ownDriver()->current(), ok);
    bool voltageRead = false;
    bool currentRead = false;
    const double voltage = read(ownDriver()->voltage(), &voltageRead);
    const double current = read(ownDriver()->current(), &currentRead);
    // The module takes the drop over its monitor resistor off the voltage it
    // reports, with its own current reading, zero error included.
    const double resistance = double(eepromCopy().currentMonitorResistance);
    m_monitorDrop = std::isfinite(resistance) ? current * resistance : 0.0;
    if (ok)
        *ok = voltageRead && currentRead;
    return voltage;
}

double LC4BSM0Calibrator::readingReference(double agilent)
{
    // In U mode the voltage ADC is fitted to what it measures, the output plus that
    // drop, so that the reported voltage, less the drop, is the meter's.
    return mode() == IMode ? agilent : agilent + m_monitorDrop;
}

bool LC4BSM0Calibrator::finish()
{
    return write(ownDriver()->pidEnable(), true) && write(ownDriver()->mode(), m_regulationMode);
}
