#include "simsspddriver.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr quint8 powerUpStatus = 0x06; // short and amplifier on: the detector is safe
constexpr double minTimeConst = 0.001;
constexpr double maxTimeConst = 1000;
constexpr double minResetTime = 0.001;
constexpr double maxResetTime = 60;
constexpr double sqrt2 = 1.41421356237309504880;

using Status = LC4SDM0_Status_t;

LC4SDM0V1_Param_t powerUpParams()
{
    LC4SDM0V1_Param_t params;
    params.cmpReferenceLevel = 0.2f;
    params.timeConst = 1.0f;
    params.autoResetThreshold = 0.02f;
    params.autoResetTimeOut = 0.1f;
    params.autoResetAlarmsCounts = 0;
    return params;
}

bool bitOf(quint8 status, int bit)
{
    return (status >> bit) & 1;
}

int milliseconds(double seconds)
{
    return std::max(1, int(std::lround(seconds * 1000)));
}

std::optional<QByteArray> acknowledged()
{
    return QByteArray();
}

} // namespace

SimSspdDriver::SimSspdDriver(const QString& model, Bit3 bit3, quint8 address, QObject* parent)
    : SimCalibratedModule(model, address, parent), m_bit3(bit3)
{
    const QByteArray id = udid();
    std::seed_seq seed(id.begin(), id.end());
    m_counterNoise.seed(seed);
    m_counterTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_counterTimer, &QTimer::timeout, this, &SimSspdDriver::endCounterPeriod);
    m_resetTimer.setSingleShot(true);
    connect(&m_resetTimer, &QTimer::timeout, this, &SimSspdDriver::endAutoReset);
    m_sinceBooked.start();
    m_sincePeriod.start();
    registerParameters();
    // At the output terminals; the state is brought up to date first, as for a reading.
    addOutput(QStringLiteral("current"), Quantity::Current, [this] {
        change([] {});
        return m_op.detectorCurrent;
    });
    addOutput(QStringLiteral("voltage"), Quantity::Voltage, [this] {
        change([] {});
        return m_op.voltage;
    });
    registerCommands();
    resetToPowerUp();
}

void SimSspdDriver::registerParameters()
{
    addParameter(QStringLiteral("criticalCurrent"), &m_criticalCurrent, 1e-7, 1e-3);
    addParameter(QStringLiteral("retrappingCurrent"), &m_retrappingCurrent, 0, 1e-3);
    addParameter(QStringLiteral("normalResistance"), &m_normalResistance, 1, 1e7);
    addParameter(QStringLiteral("seriesResistance"), &m_seriesResistance, 0, 1e5);
    addParameter(QStringLiteral("complianceVoltage"), &m_complianceVoltage, 0.01, 100);
    addParameter(QStringLiteral("photonRate"), &m_photonRate, 0, 1e9);
    addParameter(QStringLiteral("efficiencyMidpoint"), &m_efficiencyMidpoint, 0.01, 2);
    addParameter(QStringLiteral("efficiencyWidth"), &m_efficiencyWidth, 1e-4, 1);
    addParameter(QStringLiteral("darkCounts"), &m_darkCounts, 0, 1e9);
    addParameter(QStringLiteral("darkCountSlope"), &m_darkCountSlope, 1e-4, 1);
    addParameter(QStringLiteral("pulseAmplitude"), &m_pulseAmplitude, 0, 10);
    addParameter(QStringLiteral("pulseAmplitudeSpread"), &m_pulseAmplitudeSpread, 0, 1);
    addParameter(QStringLiteral("amplifierNoise"), &m_amplifierNoise, 1e-5, 1);
    addParameter(QStringLiteral("noiseCrossingRate"), &m_noiseCrossingRate, 0, 1e10);
    addParameter(QStringLiteral("deadTime"), &m_deadTime, 0, 1e-3);
    if (m_bit3 == Bit3::HfMode)
        addParameter(QStringLiteral("hfBandwidthRatio"), &m_hfBandwidthRatio, 1, 100);
    addParameter(QStringLiteral("loadResistance"), &m_loadResistance, 0, 1e7);
    addParameter(QStringLiteral("gainError"), &m_gainError, 0, 0.2);
    addParameter(QStringLiteral("zeroError"), &m_zeroError, 0, 2000);
}

SimSspdDriver::Calibration SimSspdDriver::nominalCalibration() const
{
    Calibration c;
    c.currentAdc = nominalAdcCoeff(currentAdc());
    c.voltageAdc = nominalAdcCoeff(voltageAdc());
    c.currentDac = nominalDacCoeff(currentDac());
    c.cmpReferenceDac = nominalDacCoeff(cmpReferenceDac());
    c.monitorAdc = nominalAdcCoeff(monitorAdc());
    c.pulseWidth = 50e-9f;
    return c;
}

void SimSspdDriver::resetToPowerUp()
{
    m_setCurrent = 0;
    m_status = powerUpStatus;
    m_params = powerUpParams();
    m_pid = true;
    m_latched = false;
    m_resetting = false;
    m_resetTimer.stop();
    m_lastCounts = 0;
    restartCounter();
}

void SimSspdDriver::stateChanged(State previous)
{
    Q_UNUSED(previous)
    change([this] {
        // Only a reboot leads back to Idle: the module starts over.
        if (state() == State::Idle)
            resetToPowerUp();
    });
}

SimSspdDriver::Operating SimSspdDriver::solve() const
{
    Operating op;
    if (state() == State::ShutDown || m_resetting)
        return op;
    const Calibration cal = calibration();
    const SimConverter dac = currentDac();
    const SimConverter adc = currentAdc();
    double code = dacCode(cal.currentDac, m_setCurrent, dac);
    if (m_pid) {
        // The loop trims the DAC until the module's own current reading equals the
        // set point, so it trusts the ADC line and makes the DAC line irrelevant.
        const double raw = (double(m_setCurrent) - cal.currentAdc.second) / cal.currentAdc.first;
        const double wanted = trueGain(adc) * (raw - trueZero(adc)) / trueGain(dac) + trueZero(dac);
        if (std::isfinite(wanted))
            code = std::clamp(std::round(wanted), 0.0, maxCode);
    }
    double source = dacOutput(dac, code);
    const bool shorted = bitOf(m_status, Status::shortEnableBit);
    const double element =
        m_loadResistance > 0 ? m_loadResistance : (m_latched ? m_normalResistance : 0.0);
    const double load = shorted ? 0.0 : m_seriesResistance + element;
    if (load > 0 && std::abs(source) * load > m_complianceVoltage)
        source = std::copysign(m_complianceVoltage / load, source);
    op.sourceCurrent = source;
    op.detectorCurrent = shorted ? 0.0 : source;
    op.voltage = op.detectorCurrent * load;
    return op;
}

void SimSspdDriver::settle()
{
    Operating op = solve();
    if (!m_latched && m_loadResistance <= 0 && std::abs(op.detectorCurrent) > m_criticalCurrent) {
        m_latched = true;
        op = solve();
    } else if (m_latched &&
               std::abs(op.detectorCurrent) < std::min(m_retrappingCurrent, m_criticalCurrent)) {
        m_latched = false;
        op = solve();
    }
    if (m_latched && !m_resetting && bitOf(m_status, Status::autoResetEnableBit) &&
        std::abs(op.voltage) > double(m_params.autoResetThreshold)) {
        // Bias off for the time-out lets the hot spot cool; the bias then returns.
        m_resetting = true;
        m_latched = false;
        op = solve();
        m_resetTimer.start(milliseconds(double(m_params.autoResetTimeOut)));
    }
    m_op = op;
    m_rate = countRate(op);
}

double SimSspdDriver::countRate(const Operating& op) const
{
    if (state() == State::ShutDown || !bitOf(m_status, Status::amplifierEnableBit) ||
        !bitOf(m_status, Status::cmpLatchEnableBit) || !bitOf(m_status, Status::counterEnableBit))
        return 0;
    const Calibration cal = calibration();
    const bool bit3 = bitOf(m_status, 3);
    // A wider band means more noise, more noise crossings and shorter pulses.
    const double band = (m_bit3 == Bit3::HfMode && bit3) ? m_hfBandwidthRatio : 1.0;
    const double noise = m_amplifierNoise * std::sqrt(band);
    double deadTime = m_deadTime / band;
    if (m_bit3 == Bit3::HfMode && std::isfinite(cal.pulseWidth) && cal.pulseWidth > 0)
        deadTime = std::max(deadTime, std::min(double(cal.pulseWidth), 1e-3));
    const SimConverter levelDac = cmpReferenceDac();
    const double level =
        dacOutput(levelDac, dacCode(cal.cmpReferenceDac, m_params.cmpReferenceLevel, levelDac));

    double pulses = 0;
    const bool connected = m_bit3 == Bit3::HfMode || bit3;
    if (connected && !m_latched && m_loadResistance <= 0 && op.detectorCurrent != 0) {
        const double x = std::abs(op.detectorCurrent) / m_criticalCurrent;
        const double efficiency =
            1 / (1 + std::exp(-(x - m_efficiencyMidpoint) / m_efficiencyWidth));
        const double dark = m_darkCounts * std::exp((x - 1) / m_darkCountSlope);
        const double amplitude = m_pulseAmplitude * x;
        const double spread = std::hypot(m_pulseAmplitudeSpread * amplitude, noise);
        // A pulse counts when its peak clears the level and the baseline sits below it.
        const double peakAbove = 0.5 * std::erfc((level - amplitude) / (sqrt2 * spread));
        const double baselineBelow = 0.5 * std::erfc(-level / (sqrt2 * noise));
        pulses = (m_photonRate * efficiency + dark) * peakAbove * baselineBelow;
    }
    // Upward crossings of Gaussian noise through the level.
    const double crossings =
        m_noiseCrossingRate * band * std::exp(-level * level / (2 * noise * noise));
    const double rate = pulses + crossings;
    return rate / (1 + rate * deadTime);
}

void SimSspdDriver::bookCounts()
{
    m_periodCounts += m_rate * double(m_sinceBooked.nsecsElapsed()) * 1e-9;
    m_sinceBooked.restart();
}

void SimSspdDriver::endCounterPeriod()
{
    change([this] {
        // The hardware gates for exactly the time constant; a late timer only
        // changes which stretch of time the mean rate is taken over.
        const double elapsed = double(m_sincePeriod.nsecsElapsed()) * 1e-9;
        const double mean =
            elapsed > 0 ? m_periodCounts / elapsed * double(m_params.timeConst) : 0.0;
        double counts = 0;
        if (mean > 1e7) {
            std::normal_distribution<double> gauss(mean, std::sqrt(mean));
            counts = std::max(0.0, std::round(gauss(m_counterNoise)));
        } else if (mean > 0) {
            counts = double(std::poisson_distribution<long long>(mean)(m_counterNoise));
        }
        m_lastCounts = float(counts);
        m_periodCounts = 0;
        m_sincePeriod.restart();
    });
}

void SimSspdDriver::restartCounter()
{
    bookCounts();
    m_periodCounts = 0;
    m_sincePeriod.restart();
    m_counterTimer.start(milliseconds(double(m_params.timeConst)));
}

void SimSspdDriver::endAutoReset()
{
    change([this] {
        m_resetting = false;
        ++m_params.autoResetAlarmsCounts;
    });
}

SimSspdDriver::Readings SimSspdDriver::readings()
{
    change([] {});
    const Calibration cal = calibration();
    Readings r;
    r.current = float(adcReading(currentAdc(), cal.currentAdc, m_op.sourceCurrent));
    r.monitor = float(adcReading(monitorAdc(), cal.monitorAdc, m_op.detectorCurrent));
    r.voltage = float(adcReading(voltageAdc(), cal.voltageAdc, m_op.voltage));
    r.counts = m_lastCounts;
    r.status = m_status;
    return r;
}

bool SimSspdDriver::setParams(const LC4SDM0V1_Param_t& params)
{
    if (!std::isfinite(params.cmpReferenceLevel) || !std::isfinite(params.timeConst) ||
        params.timeConst <= 0 || !std::isfinite(params.autoResetThreshold) ||
        !std::isfinite(params.autoResetTimeOut) || params.autoResetTimeOut < 0)
        return false;
    change([&] {
        const float previousTimeConst = m_params.timeConst;
        m_params = params;
        m_params.timeConst =
            float(std::clamp(double(params.timeConst), minTimeConst, maxTimeConst));
        m_params.autoResetTimeOut =
            float(std::clamp(double(params.autoResetTimeOut), minResetTime, maxResetTime));
        if (m_params.timeConst != previousTimeConst)
            restartCounter();
    });
    return true;
}

void SimSspdDriver::setPairCommands(quint8 getter, quint8 setter, pair_t<float> Calibration::*field)
{
    setCommand(getter, [this, field](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(calibration().*field);
    });
    setCommand(setter, [this, field](const QByteArray& payload) -> std::optional<QByteArray> {
        pair_t<float> line{};
        if (!decodeExact(payload, &line))
            return std::nullopt;
        change([&] {
            Calibration cal = calibration();
            cal.*field = line;
            storeCalibration(cal);
        });
        return acknowledged();
    });
}

void SimSspdDriver::setBitCommand(quint8 setter, int bit)
{
    setCommand(setter, [this, bit](const QByteArray& payload) -> std::optional<QByteArray> {
        bool on{};
        if (!decodeExact(payload, &on))
            return std::nullopt;
        change([&] {
            m_status = on ? quint8(m_status | (1u << bit)) : quint8(m_status & ~(1u << bit));
        });
        return acknowledged();
    });
}

void SimSspdDriver::registerCommands()
{
    setCommand(0x11, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(readings().current);
    });
    setCommand(0x12, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        float current{};
        if (!decodeExact(payload, &current) || !std::isfinite(current))
            return std::nullopt;
        change([&] { m_setCurrent = current; });
        return acknowledged();
    });
    setCommand(0x13, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(readings().voltage);
    });
    setCommand(0x14, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(readings().counts);
    });
    setCommand(0x15, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(readings().status);
    });
    setCommand(0x16, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        quint8 status{};
        if (!decodeExact(payload, &status))
            return std::nullopt;
        // The reserved bits are stored as sent and mean nothing to the module.
        change([&] { m_status = status; });
        return acknowledged();
    });
    setBitCommand(0x17, Status::shortEnableBit);
    setBitCommand(0x18, Status::amplifierEnableBit);
    setBitCommand(0x1A, Status::cmpLatchEnableBit);
    setBitCommand(0x1B, Status::counterEnableBit);
    setBitCommand(0x1C, Status::autoResetEnableBit);

    setCommand(0x1D, [this](const QByteArray&) -> std::optional<QByteArray> {
        change([] {});
        return encoded(m_params);
    });
    setCommand(0x1E, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        LC4SDM0V1_Param_t params{};
        if (!decodeExact(payload, &params) || !setParams(params))
            return std::nullopt;
        return acknowledged();
    });
    const auto floatParam = [this](quint8 getter, quint8 setter, float LC4SDM0V1_Param_t::*field) {
        setCommand(getter, [this, field](const QByteArray&) -> std::optional<QByteArray> {
            return encoded(m_params.*field);
        });
        setCommand(setter, [this, field](const QByteArray& payload) -> std::optional<QByteArray> {
            float value{};
            if (!decodeExact(payload, &value))
                return std::nullopt;
            LC4SDM0V1_Param_t params = m_params;
            params.*field = value;
            if (!setParams(params))
                return std::nullopt;
            return acknowledged();
        });
    };
    floatParam(0x1F, 0x20, &LC4SDM0V1_Param_t::cmpReferenceLevel);
    floatParam(0x21, 0x22, &LC4SDM0V1_Param_t::timeConst);
    floatParam(0x23, 0x24, &LC4SDM0V1_Param_t::autoResetThreshold);
    floatParam(0x25, 0x26, &LC4SDM0V1_Param_t::autoResetTimeOut);
    setCommand(0x27, [this](const QByteArray&) -> std::optional<QByteArray> {
        change([] {});
        return encoded(m_params.autoResetAlarmsCounts);
    });
    setCommand(0x28, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        quint32 count{};
        if (!decodeExact(payload, &count))
            return std::nullopt;
        change([&] { m_params.autoResetAlarmsCounts = count; });
        return acknowledged();
    });

    setCommand(0x29, [this](const QByteArray&) -> std::optional<QByteArray> {
        return workingConstants();
    });
    setCommand(0x2A, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        bool ok = false;
        change([&] { ok = setWorkingConstants(payload); });
        if (!ok)
            return std::nullopt;
        return acknowledged();
    });
    setPairCommands(0x2B, 0x2C, &Calibration::currentAdc);
    setPairCommands(0x2D, 0x2E, &Calibration::voltageAdc);
    setPairCommands(0x2F, 0x30, &Calibration::currentDac);
    setPairCommands(0x31, 0x32, &Calibration::cmpReferenceDac);

    setCommand(0x33,
               [this](const QByteArray&) -> std::optional<QByteArray> { return encoded(m_pid); });
    setCommand(0x34, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        bool on{};
        if (!decodeExact(payload, &on))
            return std::nullopt;
        change([&] { m_pid = on; });
        return acknowledged();
    });
}
