#include "simconverter.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <cmath>

double simHiddenSpread(const QByteArray& udid, const char* channel)
{
    const QByteArray hash =
        QCryptographicHash::hash(udid + '/' + channel, QCryptographicHash::Sha1);
    const quint32 word = qFromLittleEndian<quint32>(hash.constData());
    return 2.0 * (double(word) / 4294967295.0) - 1.0;
}

namespace {

double gainOf(const QByteArray& udid, const char* channel, const SimConverterErrors& errors)
{
    return 1.0 + errors.gain * simHiddenSpread(udid, QByteArray(channel).append("/gain"));
}

double offsetOf(const QByteArray& udid, const char* channel, const SimConverterErrors& errors,
                double fullScale)
{
    return errors.offset * fullScale *
           simHiddenSpread(udid, QByteArray(channel).append("/offset"));
}

} // namespace

pair_t<float> SimDac::nominalLine() const
{
    return {float(1.0 / lsb()), float(zeroCode)};
}

int SimDac::code(double value, pair_t<float> line)
{
    const double code = double(line.first) * value + double(line.second);
    if (!std::isfinite(code))
        return int(zeroCode);
    return int(std::lround(std::clamp(code, 0.0, double(maxCode))));
}

double SimDac::output(int code, const QByteArray& udid, const SimConverterErrors& errors) const
{
    return gainOf(udid, m_channel, errors) * (code - zeroCode) * lsb() +
           offsetOf(udid, m_channel, errors, m_fullScale);
}

double SimDac::codeFor(double output, const QByteArray& udid,
                       const SimConverterErrors& errors) const
{
    return (output - offsetOf(udid, m_channel, errors, m_fullScale)) /
               (gainOf(udid, m_channel, errors) * lsb()) +
           zeroCode;
}

pair_t<float> SimAdc::nominalLine() const
{
    return {float(lsb()), 0.0f};
}

double SimAdc::rawExact(double input, const QByteArray& udid,
                        const SimConverterErrors& errors) const
{
    return (gainOf(udid, m_channel, errors) * input +
            offsetOf(udid, m_channel, errors, m_fullScale)) /
           lsb();
}

double SimAdc::inputFor(double raw, const QByteArray& udid,
                        const SimConverterErrors& errors) const
{
    return (raw * lsb() - offsetOf(udid, m_channel, errors, m_fullScale)) /
           gainOf(udid, m_channel, errors);
}

int SimAdc::raw(double input, const QByteArray& udid, const SimConverterErrors& errors,
                std::mt19937& noise) const
{
    std::normal_distribution<double> gauss(0.0, errors.noiseLsb);
    const double code = rawExact(input, udid, errors) + (errors.noiseLsb > 0 ? gauss(noise) : 0.0);
    if (!std::isfinite(code))
        return 0;
    return int(std::lround(std::clamp(code, -32768.0, 32767.0)));
}

double SimAdc::reading(double raw, pair_t<float> line)
{
    return double(line.first) * raw + double(line.second);
}
