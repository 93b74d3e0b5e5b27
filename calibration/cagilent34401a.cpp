#include "cagilent34401a.h"

#include <QRegularExpression>

#include <cmath>

namespace {

// The instrument sends +9.9E+37 (or its negative) for a reading beyond the range.
constexpr double overload = 9.9e37;

QString setting(double value, const char* fallback)
{
    return value != 0 ? QString::number(value, 'g', 6) : QString::fromLatin1(fallback);
}

} // namespace

cAgilent34401A::cAgilent34401A(QObject* parent) : QObject(parent) {}

bool cAgilent34401A::initialize()
{
    m_inited = true;
    return true;
}

QString cAgilent34401A::command() const
{
    // Each query ends with one blank before its parameters.
    static const char* const queries[modeCount] = {
        "MEAS:CURR:DC? ", "MEAS:CURR:AC? ", "MEAS:VOLT:DC? ", "MEAS:VOLT:AC? ",
        "MEAS:RES? ",     "MEAS:FRES? ",    "MEAS:FREQ? ",    "MEAS:PER? "};
    return QString::fromLatin1(queries[m_mode]) + setting(m_range, "DEF") + QLatin1Char(',') +
           setting(m_resolution, "DEF") + QStringLiteral("\r\n");
}

double cAgilent34401A::singleRead(bool* ok)
{
    if (ok)
        *ok = false;
    if (!m_inited)
        initialize();
    // Nothing goes to an instrument that is not open.
    if (!m_inited || m_mode >= modeCount)
        return 0;
    if (writeAgilent(command()) == 0)
        return 0;
    return readAgilent(ok);
}

double cAgilent34401A::readingLimit() const
{
    // Amperes, volts, ohms, hertz and seconds of the largest ranges.
    static const double largest[modeCount] = {3, 3, 1000, 750, 100e6, 100e6, 300e3, 1};
    constexpr double overRange = 1.2;
    if (m_mode >= modeCount)
        return 0;
    return overRange * (m_range > 0 ? m_range : largest[m_mode]);
}

QString cAgilent34401A::textOfReply(const QByteArray& reply)
{
    const int zero = reply.indexOf('\0');
    QString text = QString::fromUtf8(zero < 0 ? reply : reply.left(zero)).trimmed();
    text.remove(QRegularExpression(QStringLiteral("[^\\x20-\\x7e]")));
    return text.left(200);
}

bool cAgilent34401A::readingFromReply(const QByteArray& reply, double* value)
{
    const int zero = reply.indexOf('\0');
    bool number = false;
    const double reading = QString::fromUtf8(zero < 0 ? reply : reply.left(zero)).toDouble(&number);
    if (!number || !std::isfinite(reading) || std::abs(reading) >= overload)
        return false;
    *value = reading;
    return true;
}
