#include "measurerformat.h"

#include <QStringList>

#include <cmath>

namespace {

QString fixed(double value, int decimals)
{
    return QStringLiteral("%1").arg(value, 6, 'f', decimals);
}

QString microAmps(float amps)
{
    return fixed(double(amps) * 1e6, 1);
}

QString milliVolts(float volts)
{
    return fixed(double(volts) * 1e3, 2);
}

QString counterValue(float counts)
{
    return fixed(double(counts), 2);
}

} // namespace

QString controlReadingText(LC4SDM0V1_Data_t const& data)
{
    return QStringLiteral("I: %1 uA<br>U: %2 mV")
        .arg(microAmps(data.current), milliVolts(data.voltage));
}

QString controlReadingText(LC4SDM1_Data_t const& data)
{
    return QStringLiteral("I: %1 uA<br>Imon: %2 uA<br>U: %3 mV")
        .arg(microAmps(data.current), microAmps(data.currentMonitor), milliVolts(data.voltage));
}

QString serviceReadingText(LC4SDM0V1_Data_t const& data)
{
    return QStringLiteral("I: %1 uA<br>U: %2 mV<br>Count: %3")
        .arg(microAmps(data.current), milliVolts(data.voltage), counterValue(data.counts));
}

QString serviceReadingText(LC4SDM1_Data_t const& data)
{
    return QStringLiteral("I: %1 uA<br>Imon: %2 uA<br>U: %3 mV<br>Count: %4")
        .arg(microAmps(data.current), microAmps(data.currentMonitor), milliVolts(data.voltage),
             counterValue(data.counts));
}

QByteArray recordLine(LC4SDM0V1_Data_t const& data)
{
    return QStringLiteral("%1\t%2\t%3\r\n")
        .arg(microAmps(data.current), milliVolts(data.voltage), counterValue(data.counts))
        .toLatin1();
}

QByteArray recordLine(LC4SDM1_Data_t const& data)
{
    return QStringLiteral("%1\t%2\t%3\t%4\r\n")
        .arg(microAmps(data.current), microAmps(data.currentMonitor), milliVolts(data.voltage),
             counterValue(data.counts))
        .toLatin1();
}

double timeConstantMs(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return std::round(seconds * 1e6) / 1e3;
}

int counterPeriodMs(double timeConstMs)
{
    // A day is far beyond any counter period and keeps the value inside an int.
    constexpr double longest = 24.0 * 3600 * 1000;
    if (!(timeConstMs > 100))
        return 100;
    return int(std::lround(std::min(timeConstMs, longest)));
}
