#include "simsiscontrollinem0.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

enum : quint8
{
    CmdData = 0x10,
    CmdGetCurrent = 0x11,
    CmdSetCurrent = 0x12,
    CmdGetShort = 0x13,
    CmdSetShort = 0x14,
    CmdGetPid = 0x15,
    CmdSetPid = 0x16,
    CmdGetConstants = 0x17,
    CmdSetConstants = 0x18,
};

// Reversed limits are taken as meant the other way round; a bound that is no
// number does not limit.
double withinLimits(double value, const pair_t<float>& limits)
{
    double low = limits.first;
    double high = limits.second;
    if (std::isfinite(low) && std::isfinite(high) && low > high)
        std::swap(low, high);
    if (std::isfinite(low))
        value = std::max(value, low);
    if (std::isfinite(high))
        value = std::min(value, high);
    return value;
}

} // namespace

SimSisControlLineM0::SimSisControlLineM0(quint8 address, QObject* parent)
    : SimCalibratedModule(QStringLiteral("LC4CLM0"), address, parent)
{
    setTypeString(QStringLiteral("LC4CLM0 SIS control line"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("SIS control line (simulated)"));
    setConstantsRecord(eepromSize,
                       DriverValueCodec<LC4CLM0V0_EEPROM_Const_t>::encode(defaultConstants()));
    addParameter(QStringLiteral("gainError"), &m_gainError, 0.0, 0.2);
    addParameter(QStringLiteral("zeroError"), &m_zeroError, 0.0, 2000.0);
    addParameter(QStringLiteral("outputLimit"), &m_outputLimit, 0.001, 1.0);
    addOutput(QStringLiteral("current"), Quantity::Current, [this] { return outputCurrent(); });

    setCommand(CmdData, [this](const QByteArray&) -> std::optional<QByteArray> {
        LC4CLM0V0_Data_t data = {};
        data.current = float(readCurrent());
        data.shortEnable = m_short ? 1 : 0;
        return DriverValueCodec<LC4CLM0V0_Data_t>::encode(data);
    });
    setCommand(CmdGetCurrent, [this](const QByteArray&) -> std::optional<QByteArray> {
        return DriverValueCodec<float>::encode(float(readCurrent()));
    });
    setCommand(CmdSetCurrent, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        float value = 0;
        if (!decodeExact(payload, &value) || !std::isfinite(value))
            return std::nullopt;
        m_setPoint = value;
        return ack();
    });
    const auto flag = [this](quint8 getter, quint8 setter, bool SimSisControlLineM0::*field) {
        setCommand(getter, [this, field](const QByteArray&) -> std::optional<QByteArray> {
            return DriverValueCodec<bool>::encode(this->*field);
        });
        setCommand(setter, [this, field](const QByteArray& payload) -> std::optional<QByteArray> {
            if (payload.size() != 1)
                return std::nullopt;
            this->*field = payload.at(0) != 0;
            return ack();
        });
    };
    flag(CmdGetShort, CmdSetShort, &SimSisControlLineM0::m_short);
    flag(CmdGetPid, CmdSetPid, &SimSisControlLineM0::m_pid);

    using C = LC4CLM0V0_EEPROM_Const_t;
    addConstantField(CmdGetConstants, CmdSetConstants, 0, eepromSize);
    addConstantField(0x19, 0x1A, offsetof(C, currentAdcCoeff), 8);
    addConstantField(0x1B, 0x1C, offsetof(C, currentDacCoeff), 8);
    addConstantField(0x1D, 0x1E, offsetof(C, currentLimits), 8);
    addConstantField(0x1F, 0x20, offsetof(C, currentStep), 4);
}

LC4CLM0V0_EEPROM_Const_t SimSisControlLineM0::defaultConstants() const
{
    LC4CLM0V0_EEPROM_Const_t constants = {};
    constants.currentAdcCoeff = nominalAdcCoeff(adc());
    constants.currentDacCoeff = nominalDacCoeff(dac());
    constants.currentLimits = {-0.05f, 0.05f};
    constants.currentStep = 1e-5f;
    return constants;
}

LC4CLM0V0_EEPROM_Const_t SimSisControlLineM0::constants() const
{
    return constant<LC4CLM0V0_EEPROM_Const_t>(0);
}

double SimSisControlLineM0::sourceCurrent() const
{
    const LC4CLM0V0_EEPROM_Const_t c = constants();
    double code = 0;
    const double slope = c.currentAdcCoeff.first;
    if (m_pid && std::isfinite(slope) && slope != 0.0 && std::isfinite(c.currentAdcCoeff.second)) {
        // Regulation works in amperes inside the limits and drives the DAC until
        // the module's own reading shows the set point: the output is then as
        // right as the ADC line.
        const double target = withinLimits(m_setPoint, c.currentLimits);
        const double rawCode = (target - c.currentAdcCoeff.second) / slope;
        const double wanted = trueGain(adc()) * (rawCode - trueZero(adc()));
        code = wanted / trueGain(dac()) + trueZero(dac());
        code = std::isfinite(code) ? std::clamp(std::round(code), 0.0, maxCode) : dac().zeroCode;
    } else {
        // Open loop (also the calibration's way): the set point goes through the
        // DAC line as it is, in whatever units that line expects.
        code = dacCode(c.currentDacCoeff, m_setPoint, dac());
    }
    return std::clamp(dacOutput(dac(), code), -m_outputLimit, m_outputLimit);
}

double SimSisControlLineM0::outputCurrent() const
{
    return m_short ? 0.0 : sourceCurrent();
}

double SimSisControlLineM0::readCurrent()
{
    return adcReading(adc(), constants().currentAdcCoeff, outputCurrent());
}

void SimSisControlLineM0::stateChanged(State previous)
{
    Q_UNUSED(previous)
    // Shut down and reboot both park the output.
    if (state() != State::Running) {
        m_setPoint = 0.0;
        m_short = true;
        m_pid = true;
    }
}
