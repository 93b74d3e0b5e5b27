#include "drivervaluetext.h"

#include <QJsonParseError>

namespace drivervaluetext_detail {

QString jsonText(QJsonValue const& value)
{
    switch (value.type()) {
    case QJsonValue::Double:
        // The shortest text of the double: a float's shortest text comes back as it was.
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::Array: {
        QStringList items;
        for (QJsonValue const& item : value.toArray())
            items.append(jsonText(item));
        return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    default: {
        // Qt's writer escapes strings; the brackets around it are dropped again.
        const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
    }
    }
}

QString describe(QJsonValue const& value)
{
    if (value.isUndefined())
        return QStringLiteral("a missing value");
    if (value.isString())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    return QLatin1Char('"') + jsonText(value) + QLatin1Char('"');
}

bool parseJson(QString const& text, bool wantObject, QJsonValue* value, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("\"%1\" is no JSON %2: %3 at offset %4")
                     .arg(text, wantObject ? QStringLiteral("object") : QStringLiteral("array"),
                          parseError.errorString())
                     .arg(parseError.offset);
        return false;
    }
    *value = document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    return true;
}

QJsonValue scalarFromText(QString const& text)
{
    if (text == QLatin1String("true"))
        return QJsonValue(true);
    if (text == QLatin1String("false"))
        return QJsonValue(false);
    QLocale c = QLocale::c();
    // "1,5" is no number here, rather than fifteen.
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double number = c.toDouble(text, &ok);
    // Not a number: kept as text, so that the refusal can quote it.
    return ok ? QJsonValue(number) : QJsonValue(text);
}

} // namespace drivervaluetext_detail
