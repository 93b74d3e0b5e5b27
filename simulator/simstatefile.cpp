#include "simstatefile.h"

#include "simcrate.h"
#include "simmodule.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <utility>
#include <vector>

namespace {

bool hexToBytes(const QString& text, QByteArray* bytes)
{
    if (text.size() % 2 != 0)
        return false;
    for (QChar c : text) {
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return false;
    }
    *bytes = QByteArray::fromHex(text.toLatin1());
    return true;
}

} // namespace

bool SimStateFile::load(SimCrate* crate, QString* error)
{
    QFile file(m_path);
    if (!file.exists()) {
        m_entries = QJsonObject();
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read state file %1: %2").arg(m_path, file.errorString());
        return false;
    }
    const auto fail = [&](const QString& reason) {
        *error = QStringLiteral("state file %1: %2").arg(m_path, reason);
        return false;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("invalid JSON at offset %1: %2")
                        .arg(parseError.offset)
                        .arg(parseError.errorString()));
    const QJsonValue modules = document.object().value(QStringLiteral("modules"));
    if (!document.isObject() || !modules.isObject())
        return fail(QStringLiteral("expected an object with a \"modules\" object"));

    // Check everything before touching a module, so a bad entry changes nothing.
    std::vector<std::pair<SimModule*, QByteArray>> images;
    const QJsonObject entries = modules.toObject();
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        QByteArray udid;
        if (!SimModule::udidFromText(it.key(), &udid))
            return fail(QStringLiteral("\"%1\" is not a UDID").arg(it.key()));
        const QJsonObject entry = it.value().toObject();
        const QString kind = entry.value(QStringLiteral("kind")).toString();
        QByteArray image;
        if (kind.isEmpty() ||
            !hexToBytes(entry.value(QStringLiteral("eeprom")).toString(QStringLiteral("x")),
                        &image))
            return fail(QStringLiteral("entry %1 needs a \"kind\" and an \"eeprom\" hex string")
                            .arg(it.key()));
        for (SimModule* module : crate->modules()) {
            if (module->udid() != udid)
                continue;
            if (module->model() != kind)
                return fail(QStringLiteral("entry %1 is for a %2, the crate has a %3 there")
                                .arg(it.key(), kind, module->model()));
            if (image.size() != module->constantsSize())
                return fail(QStringLiteral("entry %1 has %2 EEPROM bytes, a %3 keeps %4")
                                .arg(it.key())
                                .arg(image.size())
                                .arg(kind)
                                .arg(module->constantsSize()));
            images.emplace_back(module, image);
        }
    }
    for (const auto& image : images)
        image.first->loadEeprom(image.second);
    m_entries = entries;
    return true;
}

bool SimStateFile::save(const SimCrate& crate, QString* error)
{
    QJsonObject entries = m_entries;
    for (const SimModule* module : crate.modules()) {
        QJsonObject entry;
        entry.insert(QStringLiteral("address"), module->address());
        entry.insert(QStringLiteral("kind"), module->model());
        entry.insert(QStringLiteral("eeprom"),
                     QString::fromLatin1(module->eepromConstants().toHex().toUpper()));
        entries.insert(SimModule::udidToText(module->udid()), entry);
    }
    QJsonObject root;
    root.insert(QStringLiteral("modules"), entries);

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 ||
        !file.commit()) {
        *error = QStringLiteral("cannot write state file %1: %2").arg(m_path, file.errorString());
        return false;
    }
    m_entries = entries;
    return true;
}
