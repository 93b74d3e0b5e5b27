#ifndef DRIVERVALUETEXT_H
#define DRIVERVALUETEXT_H

#include "driverproperty.h"
#include "floattext.h"
#include "sspddriverm0.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cfloat>
#include <cmath>
#include <limits>
#include <tuple>
#include <type_traits>

// Driver values as text, both ways: numbers and flags as plain text, pairs as
// two-element JSON arrays, records as JSON objects named by their fields, in the
// record's order. Floats are the shortest text that reads back as the same float;
// as JSON, a float that is not finite is the string "nan", "inf" or "-inf".
// Reading checks everything (type, range, integral, the exact field set), so a
// value that would not survive the wire is refused and never truncated.

// One field of a record: its JSON name and its member.
template <typename Record, typename Value> struct RecordField
{
    const char* name;
    Value Record::*member;
};
template <typename Record, typename Value>
constexpr RecordField<Record, Value> recordField(const char* name, Value Record::*member)
{
    return {name, member};
}

// Specialised per record type with `static constexpr auto fields = std::make_tuple(...)`;
// fields left out (reserved bytes) are zero when a record is read from text.
template <typename Record> struct RecordFields
{
};

template <typename T, typename = void> struct IsRecord : std::false_type
{
};
template <typename T>
struct IsRecord<T, std::void_t<decltype(RecordFields<T>::fields)>> : std::true_type
{
};

template <typename T, typename = void> struct DriverValueText;

// A value from command-line text (DriverValueText<T>::text() is the other way):
// pairs and records are JSON documents, anything else is plain text.
template <typename T> bool driverValueFromText(QString const& text, T* value, QString* error);

namespace drivervaluetext_detail {

QString jsonText(QJsonValue const& value);
QString describe(QJsonValue const& value);
// A whole JSON document of the kind given; false with the parser's reason.
bool parseJson(QString const& text, bool wantObject, QJsonValue* value, QString* error);
// Plain text for a JSON scalar: "1.5" and "true" become numbers and flags.
QJsonValue scalarFromText(QString const& text);

// Qt's JSON values keep no sign of zero, which a float has: a negative zero
// travels among them as this text, and prints as the number -0.
QString const negativeZero = QStringLiteral("-0");
inline bool isNumber(QJsonValue const& value)
{
    return value.isDouble() || (value.isString() && value.toString() == negativeZero);
}
inline double numberOf(QJsonValue const& value)
{
    return value.isString() ? -0.0 : value.toDouble();
}

template <typename Integer> struct IntegerLimits
{
    static constexpr double low = double(std::numeric_limits<Integer>::min());
    static constexpr double high = double(std::numeric_limits<Integer>::max());
};

} // namespace drivervaluetext_detail

// Integers of the records and properties: range and integral checked.
template <typename T>
struct DriverValueText<
    T, std::enable_if_t<std::is_integral<T>::value && !std::is_same<T, bool>::value>>
{
    static QString typeName()
    {
        return QStringLiteral("%1int%2")
            .arg(std::is_signed<T>::value ? QString() : QStringLiteral("u"))
            .arg(8 * sizeof(T));
    }
    static QJsonValue json(T value) { return QJsonValue(double(value)); }
    static QString text(T value) { return QString::number(value); }
    static bool fromJson(QJsonValue const& json, T* value, QString* error)
    {
        using Limits = drivervaluetext_detail::IntegerLimits<T>;
        const double number = drivervaluetext_detail::numberOf(json);
        if (!drivervaluetext_detail::isNumber(json) || number != std::floor(number) ||
            number < Limits::low || number > Limits::high) {
            *error = QStringLiteral("%1 is not an integer from %2 to %3")
                         .arg(drivervaluetext_detail::describe(json))
                         .arg(Limits::low, 0, 'f', 0)
                         .arg(Limits::high, 0, 'f', 0);
            return false;
        }
        *value = T(number);
        return true;
    }
};

template <> struct DriverValueText<float>
{
    static QString typeName() { return QStringLiteral("float"); }
    static QJsonValue json(float value)
    {
        if (!std::isfinite(value) || (value == 0.0f && std::signbit(value)))
            return QJsonValue(shortestFloatText(value));
        return QJsonValue(shortestFloatText(value).toDouble());
    }
    static QString text(float value) { return shortestFloatText(value); }
    // Only finite numbers go to a module; the text of a reading that is not
    // finite is for showing.
    static bool fromJson(QJsonValue const& json, float* value, QString* error)
    {
        // The printed text of the largest float lies a little above it and still
        // rounds to it; from half a unit beyond, a float would be infinite.
        const double beyondLargest =
            double(FLT_MAX) + std::ldexp(1.0, FLT_MAX_EXP - FLT_MANT_DIG - 1);
        const double number = drivervaluetext_detail::numberOf(json);
        if (!drivervaluetext_detail::isNumber(json) || !std::isfinite(number) ||
            std::fabs(number) >= beyondLargest) {
            *error = QStringLiteral("%1 is not a finite float")
                         .arg(drivervaluetext_detail::describe(json));
            return false;
        }
        if (std::fabs(number) > double(FLT_MAX))
            *value = number > 0 ? FLT_MAX : -FLT_MAX;
        else
            *value = float(number);
        return true;
    }
};

template <> struct DriverValueText<bool>
{
    static QString typeName() { return QStringLiteral("bool"); }
    static QJsonValue json(bool value) { return QJsonValue(value); }
    static QString text(bool value)
    {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    }
    static bool fromJson(QJsonValue const& json, bool* value, QString* error)
    {
        if (json.isBool()) {
            *value = json.toBool();
            return true;
        }
        const double number = drivervaluetext_detail::numberOf(json);
        if (drivervaluetext_detail::isNumber(json) && (number == 0 || number == 1)) {
            *value = number == 1;
            return true;
        }
        *error = QStringLiteral("%1 is not true, false, 1 or 0")
                     .arg(drivervaluetext_detail::describe(json));
        return false;
    }
};

// Identity texts and the module identifier only ever come from the module.
template <> struct DriverValueText<QString>
{
    static QString typeName() { return QStringLiteral("text"); }
    static QString text(QString const& value) { return value; }
};
template <> struct DriverValueText<cUDID>
{
    static QString typeName() { return QStringLiteral("udid"); }
    static QString text(cUDID const& value) { return udidToString(value); }
};

// Bytes that hold bits or a relay mask and states: their number, 0 to 255.
template <typename T>
struct DriverValueText<T, std::enable_if_t<std::is_base_of<SspdStatusByte, T>::value ||
                                           std::is_same<T, cRelaysStatus>::value>>
{
    using Byte = DriverValueText<quint8>;
    static quint8 byteOf(T const& value)
    {
        if constexpr (std::is_same<T, cRelaysStatus>::value)
            return value.status();
        else
            return value.byte;
    }
    static QString typeName() { return QStringLiteral("byte"); }
    static QJsonValue json(T const& value) { return Byte::json(byteOf(value)); }
    static QString text(T const& value) { return Byte::text(byteOf(value)); }
    static bool fromJson(QJsonValue const& json, T* value, QString* error)
    {
        quint8 byte = 0;
        if (!Byte::fromJson(json, &byte, error))
            return false;
        if constexpr (std::is_same<T, cRelaysStatus>::value)
            value->setStatus(byte);
        else
            value->byte = byte;
        return true;
    }
};

// Enumerations travel as their codec's byte; their number is shown.
template <typename T> struct DriverValueText<T, std::enable_if_t<std::is_enum<T>::value>>
{
    using Number = DriverValueText<qint8>;
    static QString typeName() { return Number::typeName(); }
    static QJsonValue json(T value) { return Number::json(qint8(value)); }
    static QString text(T value) { return Number::text(qint8(value)); }
    static bool fromJson(QJsonValue const& json, T* value, QString* error)
    {
        qint8 number = 0;
        if (!Number::fromJson(json, &number, error))
            return false;
        *value = T(number);
        return true;
    }
};

template <typename T> struct DriverValueText<pair_t<T>>
{
    using Element = DriverValueText<T>;
    static QString typeName() { return QStringLiteral("pair<%1>").arg(Element::typeName()); }
    static QJsonValue json(pair_t<T> const& value)
    {
        return QJsonArray{Element::json(value.first), Element::json(value.second)};
    }
    static QString text(pair_t<T> const& value)
    {
        return drivervaluetext_detail::jsonText(json(value));
    }
    static bool fromJson(QJsonValue const& json, pair_t<T>* value, QString* error)
    {
        const QJsonArray array = json.toArray();
        if (!json.isArray() || array.size() != 2) {
            *error = QStringLiteral("%1 is not an array of two numbers")
                         .arg(drivervaluetext_detail::describe(json));
            return false;
        }
        pair_t<T> read{};
        if (!Element::fromJson(array.at(0), &read.first, error) ||
            !Element::fromJson(array.at(1), &read.second, error))
            return false;
        *value = read;
        return true;
    }
};

template <typename T> struct DriverValueText<T, std::enable_if_t<IsRecord<T>::value>>
{
    static QString typeName() { return QString::fromLatin1(RecordFields<T>::name); }
    // In the record's field order, which a QJsonObject would sort away.
    static QString text(T const& value)
    {
        QStringList members;
        std::apply(
            [&](auto const&... field) {
                (members.append(
                     QStringLiteral("\"%1\":%2")
                         .arg(QLatin1String(field.name),
                              drivervaluetext_detail::jsonText(textOf(value.*(field.member))))),
                 ...);
            },
            RecordFields<T>::fields);
        return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    static bool fromJson(QJsonValue const& json, T* value, QString* error)
    {
        if (!json.isObject()) {
            *error = QStringLiteral("%1 is not a JSON object")
                         .arg(drivervaluetext_detail::describe(json));
            return false;
        }
        const QJsonObject object = json.toObject();
        QStringList names;
        std::apply([&](auto const&... field) { (names.append(QLatin1String(field.name)), ...); },
                   RecordFields<T>::fields);
        QStringList keys = object.keys();
        QStringList sortedNames = names;
        sortedNames.sort();
        if (keys != sortedNames) {
            *error = QStringLiteral("a %1 needs exactly the fields %2")
                         .arg(typeName(), names.join(QStringLiteral(", ")));
            return false;
        }
        T read{};
        bool ok = true;
        std::apply(
            [&](auto const&... field) {
                ((ok = ok && readField(object, field, &read, error)), ...);
            },
            RecordFields<T>::fields);
        if (ok)
            *value = read;
        return ok;
    }

private:
    template <typename V> static QJsonValue textOf(V const& member)
    {
        return DriverValueText<V>::json(member);
    }
    template <typename V>
    static bool readField(QJsonObject const& object, RecordField<T, V> const& field, T* record,
                          QString* error)
    {
        QString reason;
        if (DriverValueText<V>::fromJson(object.value(QLatin1String(field.name)),
                                         &(record->*(field.member)), &reason))
            return true;
        *error = QStringLiteral("field \"%1\": %2").arg(QLatin1String(field.name), reason);
        return false;
    }
};

template <typename T> struct IsPair : std::false_type
{
};
template <typename T> struct IsPair<pair_t<T>> : std::true_type
{
};

template <typename T> bool driverValueFromText(QString const& text, T* value, QString* error)
{
    QJsonValue json;
    if constexpr (IsRecord<T>::value || IsPair<T>::value) {
        if (!drivervaluetext_detail::parseJson(text.trimmed(), IsRecord<T>::value, &json, error))
            return false;
    } else {
        json = drivervaluetext_detail::scalarFromText(text.trimmed());
    }
    return DriverValueText<T>::fromJson(json, value, error);
}

#endif // DRIVERVALUETEXT_H
