#include "drivervaluetext.h"

#include <QJsonParseError>
#include <QRegularExpression>
#include <QSet>
#include <QVector>

#include <cmath>

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
    case QJsonValue::String:
        if (value.toString() == negativeZero)
            return negativeZero;
        Q_FALLTHROUGH();
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

namespace {

// The index of the quote that closes the string opened at `quote`, escapes
// skipped; the text's size when it does not close.
int stringEnd(QByteArray const& json, int quote)
{
    int end = quote + 1;
    while (end < json.size() && json.at(end) != '"')
        end += json.at(end) == '\\' ? 2 : 1;
    return qMin(end, int(json.size()));
}

// What makes a JSON text ambiguous before Qt's parser sees it; empty when nothing
// does. A key given twice: Qt keeps only one of its values, so which one is meant
// is unknown (and Qt 5.15 loses the memory of an earlier array or object value).
// A raw control character in a string: JSON allows none, Qt takes some, and keys
// that differ only there could come out the same. Runs on any text.
QString ambiguity(QByteArray const& json)
{
    QVector<QSet<QString>> objects; // one set of keys per open object, none for arrays
    QVector<bool> isObject;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '{' || c == '[') {
            isObject.append(c == '{');
            objects.append(QSet<QString>());
        } else if ((c == '}' || c == ']') && !objects.isEmpty()) {
            isObject.removeLast();
            objects.removeLast();
        } else if (c == '"') {
            const int end = stringEnd(json, i);
            for (int k = i + 1; k < end; ++k)
                if (uchar(json.at(k)) < 0x20)
                    return QStringLiteral("a control character stands in a string");
            int next = end + 1;
            while (next < json.size() && QChar::isSpace(uchar(json.at(next))))
                ++next;
            if (next < json.size() && json.at(next) == ':' && !isObject.isEmpty() &&
                isObject.last()) {
                const QJsonArray decoded =
                    QJsonDocument::fromJson('[' + json.mid(i, end + 1 - i) + ']').array();
                const QString key = decoded.at(0).toString();
                if (objects.last().contains(key))
                    return QStringLiteral("the field \"%1\" is given more than once").arg(key);
                objects.last().insert(key);
            }
            i = end;
        }
    }
    return QString();
}

// The text with every number that is a negative zero written as the text that
// stands for it among JSON values. Strings are left as they are.
QByteArray withSignedZeros(QByteArray const& json)
{
    QByteArray result;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '"') {
            const int end = stringEnd(json, i);
            result.append(json.mid(i, end + 1 - i));
            i = end;
            continue;
        }
        if (c != '-') {
            result.append(c);
            continue;
        }
        int end = i + 1;
        while (end < json.size() && QByteArray("0123456789.eE+-").contains(json.at(end)))
            ++end;
        const QByteArray number = json.mid(i, end - i);
        // Only what JSON takes as a number, so that no malformed text becomes valid.
        static const QRegularExpression jsonNumber(
            QStringLiteral("^-(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?$"));
        const bool zero =
            jsonNumber.match(QString::fromLatin1(number)).hasMatch() && number.toDouble() == 0;
        result.append(zero ? QByteArray("\"-0\"") : number);
        i = end - 1;
    }
    return result;
}

} // namespace

bool parseJson(QString const& text, bool wantObject, QJsonValue* value, QString* error)
{
    const QByteArray utf8 = text.toUtf8();
    const QString ambiguous = ambiguity(utf8);
    if (!ambiguous.isEmpty()) {
        *error = QStringLiteral("\"%1\" is ambiguous: %2").arg(text, ambiguous);
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(withSignedZeros(utf8), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // Offsets into the text as given: its negative zeros are not rewritten.
        QJsonDocument::fromJson(utf8, &parseError);
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
    if (ok && number == 0 && std::signbit(number))
        return QJsonValue(negativeZero);
    // Not a number: kept as text, so that the refusal can quote it.
    return ok ? QJsonValue(number) : QJsonValue(text);
}

} // namespace drivervaluetext_detail
