#include "simmodule.h"

#include "driverproperty.h"

#include <QCryptographicHash>

#include <cmath>

namespace {

QByteArray textPayload(const QString& text)
{
    // Modules send C strings; hosts read up to the first zero byte.
    QByteArray bytes = text.toUtf8();
    bytes.append('\0');
    return bytes;
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

SimModule::SimModule(const QString& model, quint8 address, QObject* parent)
    : QObject(parent), m_model(model), m_address(address), m_typeString(model)
{
    // Stable across runs, so a state file keyed by UDID finds the module again.
    const QByteArray seed = "Lumicrate/" + model.toLatin1() + '/' + QByteArray::number(address);
    m_udid = QCryptographicHash::hash(seed, QCryptographicHash::Sha1).left(udidSize);
    registerCommonCommands();
}

void SimModule::setUdid(const QByteArray& udid)
{
    if (udid.size() == udidSize)
        m_udid = udid;
}

QString SimModule::udidToText(const QByteArray& udid)
{
    // The same text the host programs show for a module.
    return udidToString(DriverValueCodec<cUDID>::decode(udid));
}

bool SimModule::udidFromText(const QString& text, QByteArray* udid)
{
    QString digits = text;
    if (text.size() == 2 * udidSize + 5) {
        for (int i = 4; i < text.size(); i += 5) {
            if (text.at(i) != QLatin1Char('-'))
                return false;
        }
        digits.remove(QLatin1Char('-'));
    }
    if (digits.size() != 2 * udidSize)
        return false;
    for (QChar c : digits) {
        if (!isHexDigit(c))
            return false;
    }
    *udid = QByteArray::fromHex(digits.toLatin1());
    return true;
}

bool SimModule::setWorkingConstants(const QByteArray& constants)
{
    if (constants.size() != m_working.size())
        return false;
    m_working = constants;
    return true;
}

bool SimModule::loadEeprom(const QByteArray& constants)
{
    if (constants.size() != m_eeprom.size())
        return false;
    m_eeprom = constants;
    m_working = constants;
    return true;
}

void SimModule::addParameter(const QString& name, double* value, double low, double high,
                             bool whole)
{
    m_parameters.append({name, value, low, high, whole});
}

QStringList SimModule::parameterNames() const
{
    QStringList names;
    for (const Parameter& parameter : m_parameters)
        names.append(parameter.name);
    return names;
}

QStringList SimModule::outputNames() const
{
    QStringList names;
    for (const Output& output : m_outputs)
        names.append(output.name);
    return names;
}

const SimModule::Output* SimModule::output(const QString& name) const
{
    for (const Output& output : m_outputs) {
        if (output.name == name)
            return &output;
    }
    return nullptr;
}

bool SimModule::setParameter(const QString& name, double value, QString* error)
{
    for (const Parameter& parameter : m_parameters) {
        if (parameter.name != name)
            continue;
        if (!(value >= parameter.low && value <= parameter.high) ||
            (parameter.whole && value != std::floor(value))) {
            *error = QStringLiteral("\"%1\" must be %2from %3 to %4")
                         .arg(name)
                         .arg(parameter.whole ? QStringLiteral("a whole number ") : QString())
                         .arg(parameter.low)
                         .arg(parameter.high);
            return false;
        }
        *parameter.value = value;
        return true;
    }
    *error = QStringLiteral("%1 has no parameter \"%2\"").arg(m_model, name);
    return false;
}

std::optional<QByteArray> SimModule::handle(quint8 command, const QByteArray& payload)
{
    const auto it = m_handlers.constFind(command);
    if (it == m_handlers.constEnd())
        return std::nullopt;
    return it.value()(payload);
}

void SimModule::setConstantsRecord(int size, const QByteArray& defaults)
{
    m_working = defaults.isEmpty() ? QByteArray(size, '\0') : defaults.left(size);
    if (m_working.size() < size)
        m_working.append(QByteArray(size - m_working.size(), '\0'));
    m_eeprom = m_working;
}

void SimModule::registerCommonCommands()
{
    const auto text = [this](QString SimModule::*field) {
        return [this, field](const QByteArray&) -> std::optional<QByteArray> {
            return textPayload(this->*field);
        };
    };
    setCommand(CmdTypeString, text(&SimModule::m_typeString));
    setCommand(CmdModificationVersion, text(&SimModule::m_modificationVersion));
    setCommand(CmdHardwareVersion, text(&SimModule::m_hardwareVersion));
    setCommand(CmdFirmwareVersion, text(&SimModule::m_firmwareVersion));
    setCommand(CmdDescription, text(&SimModule::m_description));
    setCommand(CmdUdid, [this](const QByteArray&) -> std::optional<QByteArray> { return m_udid; });

    const auto toState = [this](State state) {
        return [this, state](const QByteArray&) -> std::optional<QByteArray> {
            setState(state);
            return QByteArray();
        };
    };
    setCommand(CmdInit, toState(State::Running));
    setCommand(CmdShutDown, toState(State::ShutDown));
    setCommand(CmdSilence,
               [](const QByteArray&) -> std::optional<QByteArray> { return QByteArray(); });
    setCommand(CmdReboot, [this](const QByteArray&) -> std::optional<QByteArray> {
        // A rebooted module starts again from what its EEPROM holds.
        m_working = m_eeprom;
        setState(State::Idle);
        return QByteArray();
    });
    setCommand(CmdWriteEeprom, [this](const QByteArray&) { return writeEeprom(); });
}

void SimModule::setState(State state)
{
    const State previous = m_state;
    m_state = state;
    stateChanged(previous);
}

std::optional<QByteArray> SimModule::writeEeprom()
{
    const QByteArray previous = m_eeprom;
    m_eeprom = m_working;
    if (m_eepromWriter && !m_eepromWriter(*this)) {
        // Not durable: answering would tell the host the write succeeded.
        m_eeprom = previous;
        return std::nullopt;
    }
    return QByteArray();
}
