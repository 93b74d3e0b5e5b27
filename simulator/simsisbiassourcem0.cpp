#include "simsisbiassourcem0.h"

#include <QtEndian>

#include <cstddef>

#include <algorithm>
#include <cmath>

namespace {

constexpr int searchSteps = 60;
constexpr quint32 maxTimeStepMs = 3600 * 1000;
// A stop this close to a whole number of steps is still reached.
constexpr double stopTolerance = 1e-4;

// The root of an increasing function on [low, high], or the nearer end when the
// function keeps one sign there.
template <typename F> double bisect(F f, double low, double high)
{
    if (f(low) >= 0)
        return low;
    if (f(high) <= 0)
        return high;
    for (int i = 0; i < searchSteps; ++i) {
        const double mid = 0.5 * (low + high);
        if (f(mid) < 0)
            low = mid;
        else
            high = mid;
    }
    return 0.5 * (low + high);
}

template <typename T> QByteArray encoded(const T& value)
{
    return DriverValueCodec<T>::encode(value);
}

std::optional<QByteArray> acknowledged()
{
    return QByteArray();
}

QByteArray endFrame(quint32 points)
{
    QByteArray payload(4, '\0');
    qToLittleEndian(points, payload.data());
    return payload;
}

} // namespace

SimSisBiasSourceM0::SimSisBiasSourceM0(quint8 address, QObject* parent)
    : SimCalibratedModule(QStringLiteral("LC4BSM0"), address, parent)
{
    setTypeString(QStringLiteral("LC4BSM0 SIS bias source"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("SIS bias source (simulated)"));

    LC4BSM0V0_EEPROM_Const_t nominal;
    nominal.currentAdcCoeff = nominalAdcCoeff(currentAdc());
    nominal.voltageAdcCoeff = nominalAdcCoeff(voltageAdc());
    nominal.currentDacCoeff = nominalDacCoeff(currentDac());
    nominal.voltageDacCoeff = nominalDacCoeff(voltageDac());
    nominal.currentLimits = {-0.5e-3f, 0.5e-3f};
    nominal.voltageLimits = {-30e-3f, 30e-3f};
    nominal.currentStep = 10e-9f;
    nominal.voltageStep = 1e-6f;
    nominal.currentMonitorResistance = 10.0f; // the design value of the resistor
    setConstantsRecord(eepromSize, encoded(nominal));
    // At the output terminals: the junction's voltage and the current through it.
    addOutput(QStringLiteral("voltage"), Quantity::Voltage,
              [this] { return solve().junctionVoltage; });
    addOutput(QStringLiteral("current"), Quantity::Current, [this] { return solve().current; });

    m_sweep.timeStep = 20;
    m_sweep.mode = VoltageMode;
    m_sweepTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sweepTimer, &QTimer::timeout, this, &SimSisBiasSourceM0::sweepTick);

    addParameter(QStringLiteral("gapVoltage"), &m_gapVoltage, 1e-4, 20e-3);
    addParameter(QStringLiteral("gapWidth"), &m_gapWidth, 1e-6, 1e-3);
    addParameter(QStringLiteral("normalResistance"), &m_normalResistance, 0.1, 1e5);
    addParameter(QStringLiteral("subgapResistance"), &m_subgapResistance, 0.1, 1e9);
    addParameter(QStringLiteral("monitorResistance"), &m_monitorResistance, 0.1, 1e5);
    addParameter(QStringLiteral("complianceCurrent"), &m_complianceCurrent, 1e-6, 0.1);
    addParameter(QStringLiteral("loadResistance"), &m_loadResistance, 0, 1e9);
    addParameter(QStringLiteral("gainError"), &m_gainError, 0, 0.2);
    addParameter(QStringLiteral("zeroError"), &m_zeroError, 0, 2000);
    registerCommands();
}

double SimSisBiasSourceM0::junctionCurrent(double voltage) const
{
    // Quasiparticle tunnelling: leakage below the gap, a sharp onset at the gap,
    // ohmic above; odd in the voltage. The Josephson current is taken as
    // suppressed by a magnetic field, as in a mixer.
    if (m_loadResistance > 0)
        return voltage / m_loadResistance;
    const double v = std::abs(voltage);
    const double onset = 1 / (1 + std::exp(-(v - m_gapVoltage) / m_gapWidth));
    return std::copysign(v / m_subgapResistance + v / m_normalResistance * onset, voltage);
}

double SimSisBiasSourceM0::junctionVoltage(double current) const
{
    if (m_loadResistance > 0)
        return current * m_loadResistance;
    const double i = std::abs(current);
    // The current is at least v / R_subgap and, well above the gap, about v / R_n.
    const double aboveGap = 2 * m_gapVoltage + 2 * i * m_normalResistance;
    const double high = junctionCurrent(aboveGap) >= i ? aboveGap : i * m_subgapResistance;
    const double v = bisect([&](double u) { return junctionCurrent(u) - i; }, 0, high);
    return std::copysign(v, current);
}

LC4BSM0V0_EEPROM_Const_t SimSisBiasSourceM0::constants() const
{
    return DriverValueCodec<LC4BSM0V0_EEPROM_Const_t>::decode(workingConstants());
}

SimSisBiasSourceM0::Operating SimSisBiasSourceM0::atCode(char mode, double code) const
{
    Operating op;
    if (state() == State::ShutDown)
        return op;
    const double rs = m_monitorResistance;
    const double limit = m_complianceCurrent;
    double current = 0;
    double junction = 0;
    if (mode == VoltageMode) {
        const double u = dacOutput(voltageDac(), code);
        if (m_short) {
            current = u / rs;
        } else {
            junction = bisect([&](double v) { return v + junctionCurrent(v) * rs - u; },
                              -std::abs(u), std::abs(u));
            current = junctionCurrent(junction);
        }
        if (std::abs(current) > limit) {
            current = std::copysign(limit, current);
            junction = m_short ? 0.0 : junctionVoltage(current);
        }
    } else {
        current = std::clamp(dacOutput(currentDac(), code), -limit, limit);
        junction = m_short ? 0.0 : junctionVoltage(current);
    }
    op.current = current;
    op.junctionVoltage = junction;
    op.sourceVoltage = junction + current * rs;
    return op;
}

double SimSisBiasSourceM0::steadyReading(const SimConverter& adc, pair_t<float> line,
                                         double input) const
{
    return double(line.first) * (input / trueGain(adc) + trueZero(adc)) + double(line.second);
}

double SimSisBiasSourceM0::currentReading(double current, const LC4BSM0V0_EEPROM_Const_t& c) const
{
    return steadyReading(currentAdc(), c.currentAdcCoeff, current);
}

double SimSisBiasSourceM0::reportedVoltage(const Operating& op,
                                           const LC4BSM0V0_EEPROM_Const_t& c) const
{
    const double rmon =
        std::isfinite(c.currentMonitorResistance) ? double(c.currentMonitorResistance) : 0.0;
    return steadyReading(voltageAdc(), c.voltageAdcCoeff, op.sourceVoltage) -
           currentReading(op.current, c) * rmon;
}

float SimSisBiasSourceM0::clampToLimits(float value, pair_t<float> limits) const
{
    if (!std::isfinite(limits.first) || !std::isfinite(limits.second) ||
        limits.first > limits.second)
        return value;
    return std::clamp(value, limits.first, limits.second);
}

SimSisBiasSourceM0::Operating SimSisBiasSourceM0::solve() const
{
    const LC4BSM0V0_EEPROM_Const_t c = constants();
    const char mode = m_mode;
    const bool voltageMode = mode == VoltageMode;
    // The limits are physical values: they bound what the loop regulates to. Open
    // loop (as in a calibration, through an identity line) the set value is a code.
    const float raw = voltageMode ? m_setVoltage : m_setCurrent;
    const float set =
        m_pid ? clampToLimits(raw, voltageMode ? c.voltageLimits : c.currentLimits) : raw;
    double code = voltageMode ? dacCode(c.voltageDacCoeff, set, voltageDac())
                              : dacCode(c.currentDacCoeff, set, currentDac());
    if (m_pid && !m_short && state() != State::ShutDown) {
        // The loop trims the code until the module's own reading equals the set
        // point. Into a short there is nothing to regulate, and a reading that is
        // no number must not run the output to a rail.
        const auto error = [&](double k) {
            const Operating op = atCode(mode, k);
            return (voltageMode ? reportedVoltage(op, c) : currentReading(op.current, c)) - set;
        };
        if (std::isfinite(error(0)) && std::isfinite(error(maxCode)))
            code = std::round(bisect(error, 0, maxCode));
    }
    return atCode(mode, code);
}

LC4BSM0_Data_t SimSisBiasSourceM0::readings()
{
    const LC4BSM0V0_EEPROM_Const_t c = constants();
    const Operating op = solve();
    const double current = adcReading(currentAdc(), c.currentAdcCoeff, op.current);
    const double source = adcReading(voltageAdc(), c.voltageAdcCoeff, op.sourceVoltage);
    const double rmon =
        std::isfinite(c.currentMonitorResistance) ? double(c.currentMonitorResistance) : 0.0;
    LC4BSM0_Data_t data{};
    data.current = float(current);
    data.voltage = float(source - current * rmon);
    data.shortEnable = m_short ? 1 : 0;
    data.mode = m_mode;
    return data;
}

void SimSisBiasSourceM0::resetToPowerUp()
{
    m_setVoltage = 0;
    m_setCurrent = 0;
    m_short = true; // the junction stays protected until a host releases it
    m_mode = VoltageMode;
    m_pid = true;
}

void SimSisBiasSourceM0::stateChanged(State previous)
{
    Q_UNUSED(previous)
    if (state() == State::Running)
        return;
    if (sweepRunning())
        endSweep();
    if (state() == State::Idle)
        resetToPowerUp();
}

void SimSisBiasSourceM0::startSweep()
{
    if (sweepRunning())
        endSweep();
    const LC4BSM0V0_EEPROM_Const_t c = constants();
    const bool voltageSweep = m_sweep.mode == VoltageMode;
    const double start = m_sweep.start;
    const double stop = m_sweep.stop;
    double step = m_sweep.step;
    const double finest = voltageSweep ? c.voltageStep : c.currentStep;
    if (std::isfinite(finest) && finest > 0 && std::abs(step) < finest && step != 0)
        step = std::copysign(finest, step);
    const double steps = (stop - start) / step;
    if ((m_sweep.mode != VoltageMode && m_sweep.mode != CurrentMode) || !std::isfinite(start) ||
        !std::isfinite(stop) || !std::isfinite(step) || step == 0 || !std::isfinite(steps) ||
        steps < -stopTolerance) {
        // Refused: nothing to run, and the host still gets its end frame.
        QTimer::singleShot(0, this, [this] { sendUnsolicited(sweepFrame, endFrame(0)); });
        return;
    }
    m_sweepPoints = quint32(
        std::min(std::floor(std::max(steps, 0.0) + stopTolerance) + 1, double(maxSweepPoints)));
    m_sweepStart = start;
    m_sweepStep = step;
    m_sweepStop = stop;
    m_sweepIndex = 0;
    m_mode = char(m_sweep.mode);
    applySweepPoint();
    const int periodMs = int(std::clamp<quint32>(m_sweep.timeStep, 1, maxTimeStepMs));
    m_sweepPeriodNs = qint64(periodMs) * 1000000;
    m_sweepClock.start();
    m_sweepTimer.start(periodMs);
}

void SimSisBiasSourceM0::applySweepPoint()
{
    double value = m_sweepStart + double(m_sweepIndex) * m_sweepStep;
    // The last point may overshoot the stop by the tolerance; the stop is what was asked for.
    if ((m_sweepStep > 0 && value > m_sweepStop) || (m_sweepStep < 0 && value < m_sweepStop))
        value = m_sweepStop;
    const LC4BSM0V0_EEPROM_Const_t c = constants();
    if (m_mode == VoltageMode)
        m_setVoltage = clampToLimits(float(value), c.voltageLimits);
    else
        m_setCurrent = clampToLimits(float(value), c.currentLimits);
}

void SimSisBiasSourceM0::sweepTick()
{
    // Every point whose time has come, at least one per tick.
    do {
        sendUnsolicited(sweepFrame, encoded(readings()));
        if (++m_sweepIndex >= m_sweepPoints) {
            endSweep();
            return;
        }
        applySweepPoint();
    } while (m_sweepClock.nsecsElapsed() >= qint64(m_sweepIndex + 1) * m_sweepPeriodNs);
}

void SimSisBiasSourceM0::endSweep()
{
    m_sweepTimer.stop();
    const quint32 sent = m_sweepIndex;
    // Deferred, so a stop command's acknowledgement goes out first.
    QTimer::singleShot(0, this, [this, sent] { sendUnsolicited(sweepFrame, endFrame(sent)); });
}

void SimSisBiasSourceM0::registerCommands()
{
    setCommand(0x10, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(readings());
    });
    setCommand(0x11, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(readings().current);
    });
    setCommand(0x13, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(readings().voltage);
    });
    const auto setPoint = [this](quint8 setter, float SimSisBiasSourceM0::*field) {
        setCommand(setter, [this, field](const QByteArray& payload) -> std::optional<QByteArray> {
            float value{};
            if (!decodeExact(payload, &value) || !std::isfinite(value))
                return std::nullopt;
            this->*field = value;
            return acknowledged();
        });
    };
    setPoint(0x12, &SimSisBiasSourceM0::m_setCurrent);
    setPoint(0x14, &SimSisBiasSourceM0::m_setVoltage);

    const auto flag = [this](quint8 getter, quint8 setter, bool SimSisBiasSourceM0::*field) {
        setCommand(getter, [this, field](const QByteArray&) -> std::optional<QByteArray> {
            return encoded(this->*field);
        });
        setCommand(setter, [this, field](const QByteArray& payload) -> std::optional<QByteArray> {
            bool on{};
            if (!decodeExact(payload, &on))
                return std::nullopt;
            this->*field = on;
            return acknowledged();
        });
    };
    flag(0x15, 0x16, &SimSisBiasSourceM0::m_short);
    flag(0x19, 0x1A, &SimSisBiasSourceM0::m_pid);
    setCommand(0x17,
               [this](const QByteArray&) -> std::optional<QByteArray> { return encoded(m_mode); });
    setCommand(0x18, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        char mode{};
        if (!decodeExact(payload, &mode) || (mode != VoltageMode && mode != CurrentMode))
            return std::nullopt;
        m_mode = mode;
        return acknowledged();
    });

    setCommand(0x1B, [this](const QByteArray&) -> std::optional<QByteArray> {
        return workingConstants();
    });
    setCommand(0x1C, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        if (!setWorkingConstants(payload))
            return std::nullopt;
        return acknowledged();
    });
    using C = LC4BSM0V0_EEPROM_Const_t;
    const auto constant = [this](quint8 getter, quint8 setter, int offset, int size) {
        addConstantField(getter, setter, offset, size);
    };
    constant(29, 30, offsetof(C, currentAdcCoeff), sizeof(C::currentAdcCoeff));
    constant(31, 32, offsetof(C, voltageAdcCoeff), sizeof(C::voltageAdcCoeff));
    constant(33, 34, offsetof(C, currentDacCoeff), sizeof(C::currentDacCoeff));
    constant(35, 36, offsetof(C, voltageDacCoeff), sizeof(C::voltageDacCoeff));
    constant(37, 38, offsetof(C, currentLimits), sizeof(C::currentLimits));
    constant(39, 40, offsetof(C, currentStep), sizeof(C::currentStep));
    constant(41, 42, offsetof(C, voltageLimits), sizeof(C::voltageLimits));
    constant(43, 44, offsetof(C, voltageStep), sizeof(C::voltageStep));
    constant(45, 46, offsetof(C, currentMonitorResistance), sizeof(C::currentMonitorResistance));

    setCommand(47,
               [this](const QByteArray&) -> std::optional<QByteArray> { return encoded(m_sweep); });
    setCommand(48, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        LC4BSM0_SWEEP_PARAMS_t sweep{};
        if (!decodeExact(payload, &sweep))
            return std::nullopt;
        m_sweep = sweep;
        return acknowledged();
    });
    setCommand(49, [this](const QByteArray&) -> std::optional<QByteArray> {
        startSweep();
        return acknowledged();
    });
    setCommand(50, [this](const QByteArray&) -> std::optional<QByteArray> {
        if (sweepRunning())
            endSweep();
        return acknowledged();
    });
}
