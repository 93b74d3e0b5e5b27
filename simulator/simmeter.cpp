#include "simmeter.h"

#include <QPointer>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

constexpr double overRange = 1.2; // readings up to 120 % of the range are valid
constexpr double defaultCycles = 10;
constexpr const char* identification = "Velmora,LC-DMM simulated reference multimeter,0,1.0";

// Integration in power-line cycles: the resolution it gives (relative to the
// range) and the reading noise (rms, relative to the range).
struct Integration
{
    double cycles;
    double resolution;
    double noise;
};
const Integration integrations[] = {{0.02, 1e-4, 30e-6},
                                    {0.2, 1e-5, 5e-6},
                                    {1, 3e-6, 1e-6},
                                    {10, 1e-6, 0.3e-6},
                                    {100, 3e-7, 0.1e-6}};

const Integration& integration(double cycles)
{
    for (const Integration& entry : integrations) {
        if (entry.cycles >= cycles)
            return entry;
    }
    return integrations[std::size(integrations) - 1];
}

bool keyword(const QByteArray& token, const char* longForm, int shortLength)
{
    return token == longForm || token == QByteArray(longForm, shortLength);
}

} // namespace

SimMeter::SimMeter(const SimMeterConfig& config, SimModule* module, QObject* parent)
    : QObject(parent), m_config(config), m_module(module), m_random(34401u)
{
}

QByteArray SimMeter::formatReading(double value)
{
    if (value == 0)
        value = 0; // no "-0"
    return (value < 0 ? QByteArray() : QByteArray("+")) + QByteArray::number(value, 'E', 8);
}

void SimMeter::execute(const QByteArray& line, QObject* context, Done done)
{
    if (m_config.silent) {
        done(std::nullopt);
        return;
    }
    const QByteArray command = line.trimmed().toUpper();
    const int query = command.indexOf('?');
    const QByteArray header = query < 0 ? command : command.left(query);
    const QList<QByteArray> tokens = header.split(':');
    Function function{};
    Setting setting;
    if (command.isEmpty()) {
        done(std::nullopt);
    } else if (command == "*IDN?") {
        answerLater(m_config.delayMs, context, done, QByteArray(identification) + '\n');
    } else if (command == "*RST" || command == "*CLS") {
        if (command == "*CLS")
            m_errors.clear();
        done(std::nullopt);
    } else if (tokens.size() == 2 && keyword(tokens[0], "SYSTEM", 4) && query < 0 &&
               (keyword(tokens[1], "REMOTE", 3) || keyword(tokens[1], "LOCAL", 3) ||
                keyword(tokens[1], "RWLOCK", 3))) {
        done(std::nullopt);
    } else if (tokens.size() == 2 && keyword(tokens[0], "SYSTEM", 4) &&
               keyword(tokens[1], "ERROR", 3) && query == command.size() - 1) {
        const QString error =
            m_errors.isEmpty() ? QStringLiteral("+0,\"No error\"") : m_errors.takeFirst();
        answerLater(m_config.delayMs, context, done, error.toLatin1() + '\n');
    } else if (query > 0 && tokens.size() > 1 && keyword(tokens[0], "MEASURE", 4)) {
        if (parseMeasure(tokens, command.mid(query + 1), &function, &setting))
            measure(function, setting, context, done);
        else
            done(std::nullopt);
    } else {
        pushError("-113,\"Undefined header\"");
        done(std::nullopt);
    }
}

bool SimMeter::parseMeasure(const QList<QByteArray>& tokens, const QByteArray& parameters,
                            Function* function, Setting* setting)
{
    if (tokens.size() > 3) {
        pushError("-113,\"Undefined header\"");
        return false;
    }
    const QByteArray coupling = tokens.size() == 3 ? tokens[2] : QByteArray("DC");
    const bool ac = coupling == "AC";
    const bool couplingKnown = ac || coupling == "DC";
    const bool plain = tokens.size() == 2;
    if (keyword(tokens[1], "VOLTAGE", 4) && couplingKnown)
        *function = ac ? Function::AcVoltage : Function::DcVoltage;
    else if (keyword(tokens[1], "CURRENT", 4) && couplingKnown)
        *function = ac ? Function::AcCurrent : Function::DcCurrent;
    else if (keyword(tokens[1], "RESISTANCE", 3) && plain)
        *function = Function::Resistance;
    else if (keyword(tokens[1], "FRESISTANCE", 4) && plain)
        *function = Function::FourWireResistance;
    else if (keyword(tokens[1], "FREQUENCY", 4) && plain)
        *function = Function::Frequency;
    else if (keyword(tokens[1], "PERIOD", 3) && plain)
        *function = Function::Period;
    else {
        pushError("-113,\"Undefined header\"");
        return false;
    }
    const QList<QByteArray> values = parameters.split(',');
    if (values.size() > 2 || !parseParameter(values.value(0), &setting->rangeRequested) ||
        !parseParameter(values.value(1), &setting->resolution)) {
        pushError("-224,\"Illegal parameter value\"");
        return false;
    }
    return true;
}

bool SimMeter::parseParameter(const QByteArray& text, double* value)
{
    const QByteArray word = text.trimmed();
    if (word.isEmpty() || keyword(word, "DEFAULT", 3)) {
        *value = 0;
        return true;
    }
    if (keyword(word, "MINIMUM", 3)) {
        *value = -1;
        return true;
    }
    if (keyword(word, "MAXIMUM", 3)) {
        *value = std::numeric_limits<double>::infinity();
        return true;
    }
    bool ok = false;
    *value = word.toDouble(&ok);
    return ok && std::isfinite(*value) && *value > 0;
}

double SimMeter::input(Function function) const
{
    const SimModule::Output* output = m_module->output(m_config.wiring.output);
    const double value = output->value();
    const bool current = output->quantity == SimModule::Quantity::Current;
    const double shunt = m_config.wiring.shunt;
    switch (function) {
    case Function::DcVoltage:
        return !current ? value : (shunt > 0 ? value * shunt : 0.0);
    case Function::DcCurrent:
        return current && shunt <= 0 ? value : 0.0;
    case Function::Resistance:
    case Function::FourWireResistance:
        return std::numeric_limits<double>::quiet_NaN(); // nothing across the ohms inputs
    default:
        return 0.0; // the outputs are DC: no alternating part, no frequency
    }
}

const QList<double>& SimMeter::ranges(Function function)
{
    static const QList<double> voltage = {0.1, 1, 10, 100, 1000};
    static const QList<double> alternating = {0.1, 1, 10, 100, 750};
    static const QList<double> current = {0.01, 0.1, 1, 3};
    static const QList<double> ohms = {100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    switch (function) {
    case Function::DcVoltage:
        return voltage;
    case Function::DcCurrent:
    case Function::AcCurrent:
        return current;
    case Function::Resistance:
    case Function::FourWireResistance:
        return ohms;
    default:
        return alternating;
    }
}

double SimMeter::rangeFor(Function function, const Setting& setting, double value)
{
    const QList<double>& list = ranges(function);
    const double requested = setting.rangeRequested;
    if (requested < 0)
        return list.first();
    if (std::isinf(requested))
        return list.last();
    for (double range : list) {
        if (requested == 0 ? std::abs(value) <= overRange * range : range >= requested * (1 - 1e-9))
            return range;
    }
    return requested == 0 ? list.last() : 0.0;
}

double SimMeter::cyclesFor(const Setting& setting, double range)
{
    if (setting.resolution == 0)
        return defaultCycles;
    if (setting.resolution < 0)
        return integrations[std::size(integrations) - 1].cycles;
    for (const Integration& entry : integrations) {
        if (entry.resolution * range <= setting.resolution * (1 + 1e-9))
            return entry.cycles;
    }
    return integrations[std::size(integrations) - 1].cycles;
}

void SimMeter::measure(Function function, const Setting& setting, QObject* context, Done done)
{
    // The meter ranges first, then integrates.
    const double range = rangeFor(function, setting, input(function));
    if (range == 0) {
        pushError("-222,\"Data out of range\"");
        done(std::nullopt);
        return;
    }
    const Integration& used = integration(cyclesFor(setting, range));
    const int integrationMs =
        m_config.integrationMs > 0
            ? m_config.integrationMs
            : std::max(1, int(std::lround(used.cycles * 1000 / m_config.lineFrequency)));
    QPointer<QObject> guard(context);
    QTimer::singleShot(
        integrationMs + m_config.delayMs, Qt::PreciseTimer, this,
        [this, guard, done, function, range, used] {
            if (!guard)
                return;
            const double value = input(function);
            double reading;
            if (!(std::abs(value) <= overRange * range)) {
                reading = value < 0 ? -overload : overload;
            } else if (function == Function::Frequency || function == Function::Period) {
                reading = value;
            } else {
                std::normal_distribution<double> noise(0.0, used.noise * range);
                const double step = used.resolution * range;
                reading = std::round((value + noise(m_random)) / step) * step * m_config.scale;
            }
            done(m_config.garbage ? garbage() : formatReading(reading) + '\n');
        });
}

void SimMeter::answerLater(int ms, QObject* context, Done done, std::optional<QByteArray> answer)
{
    QPointer<QObject> guard(context);
    QTimer::singleShot(ms, Qt::PreciseTimer, this, [guard, done, answer] {
        if (guard)
            done(answer);
    });
}

void SimMeter::pushError(const char* error)
{
    // The instrument's error queue holds 20 entries.
    if (m_errors.size() < 20)
        m_errors.append(QString::fromLatin1(error));
}

QByteArray SimMeter::garbage()
{
    static const char symbols[] = "#$%&*!?@~^|{}";
    std::uniform_int_distribution<int> length(4, 16);
    std::uniform_int_distribution<int> pick(0, int(sizeof symbols) - 2);
    QByteArray text;
    for (int i = length(m_random); i > 0; --i)
        text += symbols[pick(m_random)];
    return text + '\n';
}
