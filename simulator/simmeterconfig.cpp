#include "simmeterconfig.h"

#include "simcrate.h"

#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace {

bool validAddress(double number)
{
    return number == std::floor(number) && number >= 0 && number <= SimCrate::maxAddress;
}

} // namespace

bool SimMeterWiring::fromJson(const QJsonValue& value, SimMeterWiring* wiring, QString* error)
{
    const QJsonObject object = value.toObject();
    static const QSet<QString> keys = {QStringLiteral("address"), QStringLiteral("output"),
                                       QStringLiteral("shunt")};
    for (const QString& key : object.keys()) {
        if (!keys.contains(key)) {
            *error = QStringLiteral("unknown key \"%1\"").arg(key);
            return false;
        }
    }
    const QJsonValue address = object.value(QStringLiteral("address"));
    const QJsonValue output = object.value(QStringLiteral("output"));
    const QJsonValue shunt = object.value(QStringLiteral("shunt"));
    if (!value.isObject() || !address.isDouble() || !validAddress(address.toDouble()) ||
        !output.isString() || output.toString().isEmpty()) {
        *error = QStringLiteral("needs an object with an \"address\" from 0 to %1 and an "
                                "\"output\" name")
                     .arg(SimCrate::maxAddress);
        return false;
    }
    if (!shunt.isUndefined() &&
        (!shunt.isDouble() || !(shunt.toDouble() > 0) || !std::isfinite(shunt.toDouble()))) {
        *error = QStringLiteral("\"shunt\" must be a resistance above 0 ohm");
        return false;
    }
    wiring->address = int(address.toDouble());
    wiring->output = output.toString();
    wiring->shunt = shunt.toDouble(0);
    return true;
}

bool SimMeterWiring::fromArgument(const QString& argument, SimMeterWiring* wiring, QString* error)
{
    const int colon = argument.indexOf(QLatin1Char(':'));
    bool ok = false;
    const int address = colon > 0 ? argument.left(colon).toInt(&ok) : -1;
    if (!ok || !validAddress(address) || colon + 1 >= argument.size()) {
        *error = QStringLiteral("--meter needs ADDR:OUTPUT with an address from 0 to %1, not "
                                "\"%2\"")
                     .arg(SimCrate::maxAddress)
                     .arg(argument);
        return false;
    }
    wiring->address = address;
    wiring->output = argument.mid(colon + 1);
    return true;
}
