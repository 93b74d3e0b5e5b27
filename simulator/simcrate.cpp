#include "simcrate.h"

#include "simmodule.h"
#include "simmodulefactory.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace {

// The type string answer is one frame payload.
constexpr int maxTypeStringBytes = 254;

constexpr qint64 maxCrateFileSize = 1 << 20;

bool readText(const QJsonObject& object, const QString& key, QString* text, QString* error)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return true;
    if (!value.isString()) {
        *error = QStringLiteral("\"%1\" must be a string").arg(key);
        return false;
    }
    if (value.toString().toUtf8().size() > SimModule::maxTextBytes) {
        *error =
            QStringLiteral("\"%1\" is longer than %2 bytes").arg(key).arg(SimModule::maxTextBytes);
        return false;
    }
    *text = value.toString();
    return true;
}

std::unique_ptr<SimModule> moduleFromJson(const QJsonValue& entry, QString* error)
{
    if (!entry.isObject()) {
        *error = QStringLiteral("not an object");
        return nullptr;
    }
    const QJsonObject object = entry.toObject();
    static const QSet<QString> knownKeys = {
        QStringLiteral("address"),         QStringLiteral("kind"),
        QStringLiteral("description"),     QStringLiteral("udid"),
        QStringLiteral("hardwareVersion"), QStringLiteral("firmwareVersion"),
        QStringLiteral("typeString")};
    const QJsonValue address = object.value(QStringLiteral("address"));
    const double number = address.toDouble(-1);
    if (!address.isDouble() || number != std::floor(number) || number < 0 ||
        number > SimCrate::maxAddress) {
        *error =
            QStringLiteral("\"address\" must be an integer from 0 to %1").arg(SimCrate::maxAddress);
        return nullptr;
    }
    const QJsonValue kind = object.value(QStringLiteral("kind"));
    if (!kind.isString()) {
        *error = QStringLiteral("\"kind\" is missing or not a string");
        return nullptr;
    }
    std::unique_ptr<SimModule> module =
        SimModuleFactory::create(kind.toString(), quint8(int(number)));
    if (!module) {
        *error = QStringLiteral("unknown kind \"%1\" (known: %2)")
                     .arg(kind.toString(), SimModuleFactory::kinds().join(QStringLiteral(", ")));
        return nullptr;
    }

    const QStringList parameters = module->parameterNames();
    for (const QString& key : object.keys()) {
        // A misspelt key would otherwise silently give a different crate.
        if (!knownKeys.contains(key) && !parameters.contains(key)) {
            *error = QStringLiteral("unknown key \"%1\" for %2").arg(key, kind.toString());
            return nullptr;
        }
        if (!parameters.contains(key))
            continue;
        const QJsonValue value = object.value(key);
        if (!value.isDouble()) {
            *error = QStringLiteral("\"%1\" must be a number").arg(key);
            return nullptr;
        }
        if (!module->setParameter(key, value.toDouble(), error))
            return nullptr;
    }

    QString description = module->description();
    QString hardware = module->hardwareVersion();
    QString firmware = module->firmwareVersion();
    QString typeString = module->typeString();
    QString udidText;
    if (!readText(object, QStringLiteral("typeString"), &typeString, error) ||
        !readText(object, QStringLiteral("description"), &description, error) ||
        !readText(object, QStringLiteral("hardwareVersion"), &hardware, error) ||
        !readText(object, QStringLiteral("firmwareVersion"), &firmware, error) ||
        !readText(object, QStringLiteral("udid"), &udidText, error))
        return nullptr;
    // The answer carries at most 255 bytes, and the wire text ends at a zero byte.
    if (typeString.toUtf8().size() > maxTypeStringBytes || typeString.contains(QChar(0))) {
        *error =
            QStringLiteral("\"typeString\" must be at most %1 bytes of UTF-8 without zero bytes")
                .arg(maxTypeStringBytes);
        return nullptr;
    }
    module->setTypeString(typeString);
    module->setDescription(description);
    module->setHardwareVersion(hardware);
    module->setFirmwareVersion(firmware);
    if (object.contains(QStringLiteral("udid"))) {
        QByteArray udid;
        if (!SimModule::udidFromText(udidText, &udid)) {
            *error = QStringLiteral("\"udid\" must be 24 hex digits, optionally as "
                                    "XXXX-XXXX-XXXX-XXXX-XXXX-XXXX");
            return nullptr;
        }
        module->setUdid(udid);
    }
    return module;
}

} // namespace

SimCrate::SimCrate() = default;
SimCrate::~SimCrate() = default;

bool SimCrate::canAdd(const SimModule& module, QString* error) const
{
    if (module.address() > maxAddress) {
        *error = QStringLiteral("address %1 is out of range 0..%2")
                     .arg(module.address())
                     .arg(maxAddress);
        return false;
    }
    if (m_modules.count(module.address())) {
        *error = QStringLiteral("address %1 is used twice").arg(module.address());
        return false;
    }
    for (const auto& entry : m_modules) {
        if (entry.second->udid() == module.udid()) {
            *error =
                QStringLiteral("UDID %1 is used twice").arg(SimModule::udidToText(module.udid()));
            return false;
        }
    }
    return true;
}

bool SimCrate::addModule(std::unique_ptr<SimModule> module, QString* error)
{
    if (!module) {
        *error = QStringLiteral("no module given");
        return false;
    }
    if (!canAdd(*module, error))
        return false;
    const int address = module->address();
    m_modules[address] = std::move(module);
    return true;
}

bool SimCrate::addModule(int address, const QString& kind, QString* error)
{
    if (address < 0 || address > maxAddress) {
        *error = QStringLiteral("address %1 is out of range 0..%2").arg(address).arg(maxAddress);
        return false;
    }
    std::unique_ptr<SimModule> module = SimModuleFactory::create(kind, quint8(address));
    if (!module) {
        *error = QStringLiteral("unknown module kind \"%1\" (known: %2)")
                     .arg(kind, SimModuleFactory::kinds().join(QStringLiteral(", ")));
        return false;
    }
    return addModule(std::move(module), error);
}

bool SimCrate::addModuleArgument(const QString& argument, QString* error)
{
    const int colon = argument.indexOf(QLatin1Char(':'));
    bool ok = false;
    const int address = colon > 0 ? argument.left(colon).toInt(&ok) : -1;
    if (!ok) {
        *error = QStringLiteral("module \"%1\" is not of the form ADDR:KIND").arg(argument);
        return false;
    }
    if (!addModule(address, argument.mid(colon + 1), error)) {
        *error = QStringLiteral("module \"%1\": %2").arg(argument, *error);
        return false;
    }
    return true;
}

void SimCrate::addDefaultModules()
{
    int address = 1;
    QString ignored;
    for (const QString& kind : SimModuleFactory::kinds())
        addModule(address++, kind, &ignored);
}

bool SimCrate::loadFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read crate file %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > maxCrateFileSize) {
        *error = QStringLiteral("crate file %1 is too large").arg(path);
        return false;
    }
    if (!loadJson(file.readAll(), error)) {
        *error = QStringLiteral("crate file %1: %2").arg(path, *error);
        return false;
    }
    return true;
}

bool SimCrate::loadJson(const QByteArray& json, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("invalid JSON at offset %1: %2")
                     .arg(parseError.offset)
                     .arg(parseError.errorString());
        return false;
    }
    const QJsonValue list = document.object().value(QStringLiteral("modules"));
    if (!document.isObject() || !list.isArray()) {
        *error = QStringLiteral("expected an object with a \"modules\" array");
        return false;
    }

    // Stage the file's modules first, so a bad entry leaves the crate as it was.
    SimCrate staged;
    const QJsonArray entries = list.toArray();
    for (int i = 0; i < entries.size(); ++i) {
        std::unique_ptr<SimModule> module = moduleFromJson(entries.at(i), error);
        if (!module || !staged.addModule(std::move(module), error)) {
            *error = QStringLiteral("module %1: %2").arg(i + 1).arg(*error);
            return false;
        }
    }
    for (const auto& entry : staged.m_modules) {
        if (!canAdd(*entry.second, error))
            return false;
    }
    SimMeterWiring wiring = m_meterWiring;
    const QJsonValue meter = document.object().value(QStringLiteral("meter"));
    if (!meter.isUndefined() && !SimMeterWiring::fromJson(meter, &wiring, error)) {
        *error = QStringLiteral("meter: %1").arg(*error);
        return false;
    }
    for (auto& entry : staged.m_modules)
        m_modules[entry.first] = std::move(entry.second);
    m_meterWiring = wiring;
    return true;
}

SimModule* SimCrate::module(int address) const
{
    const auto it = m_modules.find(address);
    return it == m_modules.end() ? nullptr : it->second.get();
}

QList<SimModule*> SimCrate::modules() const
{
    QList<SimModule*> list;
    for (const auto& entry : m_modules)
        list.append(entry.second.get());
    return list;
}
