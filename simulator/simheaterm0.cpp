#include "simheaterm0.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

enum : quint8
{
    CmdStartHeating = 0x0D,
    CmdEmergencyStop = 0x0E,
    CmdData = 0x10,
    CmdGetCurrent = 0x11,
    CmdSetCurrent = 0x12,
    CmdGetRelay = 0x13,
    CmdSetRelay = 0x14,
    CmdGetMode = 0x15,
    CmdSetMode = 0x16,
    CmdGetConstants = 0x17,
    CmdSetConstants = 0x18,
};

constexpr quint8 directMode = 0;

double phaseSeconds(float seconds)
{
    return std::isfinite(seconds) ? std::clamp(double(seconds), 0.0, SimHeaterM0::maxPhaseSeconds)
                                  : 0.0;
}

} // namespace

SimHeaterM0::SimHeaterM0(quint8 address, QObject* parent)
    : SimCalibratedModule(QStringLiteral("LC4HTM0"), address, parent)
{
    setTypeString(QStringLiteral("LC4HTM0 heater"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("Heater (simulated)"));
    setConstantsRecord(eepromSize,
                       DriverValueCodec<LC4HT0V0_EEPROM_Const_t>::encode(defaultConstants()));
    addParameter(QStringLiteral("gainError"), &m_gainError, 0.0, 0.2);
    addParameter(QStringLiteral("zeroError"), &m_zeroError, 0.0, 2000.0);
    addParameter(QStringLiteral("outputLimit"), &m_outputLimit, 0.001, 10.0);
    addOutput(QStringLiteral("current"), Quantity::Current, [this] { return outputCurrent(); });

    m_phaseTimer.setSingleShot(true);
    connect(&m_phaseTimer, &QTimer::timeout, this, [this] {
        enterPhase(m_phase == Phase::FrontEdge ? Phase::Hold
                   : m_phase == Phase::Hold    ? Phase::RearEdge
                                               : Phase::Idle);
    });

    setCommand(CmdData, [this](const QByteArray&) -> std::optional<QByteArray> {
        LC4HTM0V0_Data_t data = {};
        data.relayStatus = char(m_relay);
        data.mode = char(m_mode);
        data.current = float(readCurrent());
        return DriverValueCodec<LC4HTM0V0_Data_t>::encode(data);
    });
    setCommand(CmdGetCurrent, [this](const QByteArray&) -> std::optional<QByteArray> {
        return DriverValueCodec<float>::encode(float(readCurrent()));
    });
    setCommand(CmdSetCurrent, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        float value = 0;
        if (!decodeExact(payload, &value) || !std::isfinite(value))
            return std::nullopt;
        m_setPoint = value;
        m_stopped = false;
        return ack();
    });
    setCommand(CmdGetRelay, [this](const QByteArray&) -> std::optional<QByteArray> {
        return QByteArray(1, char(m_relay));
    });
    setCommand(CmdSetRelay, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        if (payload.size() != 1)
            return std::nullopt;
        m_relay = quint8(payload.at(0));
        return ack();
    });
    setCommand(CmdGetMode, [this](const QByteArray&) -> std::optional<QByteArray> {
        return QByteArray(1, char(m_mode));
    });
    setCommand(CmdSetMode, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        if (payload.size() != 1)
            return std::nullopt;
        m_mode = quint8(payload.at(0));
        // A pulse belongs to pulse mode; direct mode takes over the output.
        if (m_mode == directMode)
            enterPhase(Phase::Idle);
        return ack();
    });
    setCommand(CmdStartHeating, [this](const QByteArray&) -> std::optional<QByteArray> {
        // Direct mode has no pulse: staying silent tells the host it did not start.
        if (m_mode == directMode)
            return std::nullopt;
        // A start during a pulse leaves the running pulse as it is.
        if (m_phase == Phase::Idle) {
            const LC4HT0V0_EEPROM_Const_t c = constants();
            m_phaseSeconds[0] = phaseSeconds(c.frontEdgeTime);
            m_phaseSeconds[1] = phaseSeconds(c.holdTime);
            m_phaseSeconds[2] = phaseSeconds(c.rearEdgeTime);
            m_stopped = false;
            enterPhase(Phase::FrontEdge);
        }
        return ack();
    });
    setCommand(CmdEmergencyStop, [this](const QByteArray&) -> std::optional<QByteArray> {
        stop();
        return ack();
    });

    using C = LC4HT0V0_EEPROM_Const_t;
    addConstantField(CmdGetConstants, CmdSetConstants, 0, eepromSize);
    addConstantField(0x21, 0x22, offsetof(C, currentAdcCoeff), 8);
    addConstantField(0x23, 0x24, offsetof(C, currentDacCoeff), 8);
    addConstantField(0x19, 0x1A, offsetof(C, maximumCurrent), 4);
    addConstantField(0x1B, 0x1C, offsetof(C, frontEdgeTime), 4);
    addConstantField(0x1D, 0x1E, offsetof(C, holdTime), 4);
    addConstantField(0x1F, 0x20, offsetof(C, rearEdgeTime), 4);
}

LC4HT0V0_EEPROM_Const_t SimHeaterM0::defaultConstants() const
{
    LC4HT0V0_EEPROM_Const_t constants = {};
    constants.currentAdcCoeff = nominalAdcCoeff(adc());
    constants.currentDacCoeff = nominalDacCoeff(dac());
    constants.maximumCurrent = 0.1f;
    constants.frontEdgeTime = 1.0f;
    constants.holdTime = 2.0f;
    constants.rearEdgeTime = 1.0f;
    return constants;
}

LC4HT0V0_EEPROM_Const_t SimHeaterM0::constants() const
{
    return constant<LC4HT0V0_EEPROM_Const_t>(0);
}

double SimHeaterM0::amplitude() const
{
    if (!heaterConnected())
        return m_setPoint;
    // No usable maximum means no heating rather than no limit.
    const float maximum = constants().maximumCurrent;
    const double limit = std::isfinite(maximum) && maximum > 0 ? double(maximum) : 0.0;
    return std::clamp(m_setPoint, -limit, limit);
}

double SimHeaterM0::demand() const
{
    if (m_mode == directMode)
        return amplitude();
    const double elapsed = m_phaseClock.isValid() ? m_phaseClock.elapsed() / 1000.0 : 0.0;
    switch (m_phase) {
    case Phase::Idle:
        return 0.0;
    case Phase::FrontEdge:
        return amplitude() * std::min(1.0, elapsed / m_phaseSeconds[0]);
    case Phase::Hold:
        return amplitude();
    case Phase::RearEdge:
        return amplitude() * std::max(0.0, 1.0 - elapsed / m_phaseSeconds[2]);
    }
    return 0.0;
}

double SimHeaterM0::outputCurrent() const
{
    // A stopped output stage or a pulse mode without a pulse passes no current,
    // whatever zero the DAC line would give.
    if (m_stopped || (m_mode != directMode && m_phase == Phase::Idle))
        return 0.0;
    const double demanded = demand();
    const double code = dacCode(constants().currentDacCoeff, demanded, dac());
    return std::clamp(dacOutput(dac(), code), -m_outputLimit, m_outputLimit);
}

double SimHeaterM0::readCurrent()
{
    return adcReading(adc(), constants().currentAdcCoeff, outputCurrent());
}

void SimHeaterM0::enterPhase(Phase phase)
{
    m_phaseTimer.stop();
    // Phases of no length are passed through at once.
    while (phase != Phase::Idle) {
        const double seconds = m_phaseSeconds[int(phase) - 1];
        if (seconds > 0.0) {
            m_phase = phase;
            m_phaseClock.start();
            m_phaseTimer.start(int(std::ceil(seconds * 1000.0)));
            return;
        }
        phase = phase == Phase::FrontEdge ? Phase::Hold
                : phase == Phase::Hold    ? Phase::RearEdge
                                          : Phase::Idle;
    }
    m_phase = Phase::Idle;
}

void SimHeaterM0::stop()
{
    // Also in direct mode: after an emergency stop nothing heats until told again.
    m_setPoint = 0.0;
    m_stopped = true;
    enterPhase(Phase::Idle);
}

void SimHeaterM0::stateChanged(State previous)
{
    Q_UNUSED(previous)
    if (state() == State::ShutDown)
        stop();
    if (state() == State::Idle) {
        stop();
        m_relay = 1;
        m_mode = 1;
    }
}
