#include "simcalibratedmodule.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <cmath>

SimCalibratedModule::SimCalibratedModule(const QString& model, quint8 address, QObject* parent)
    : SimModule(model, address, parent), m_noise(address * 7919u + 17u)
{
    addParameter(QStringLiteral("adcNoise"), &m_adcNoise, 0.0, 1000.0);
    addParameter(QStringLiteral("errorSign"), &m_errorSign, -1.0, 1.0, true);
}

pair_t<float> SimCalibratedModule::nominalDacCoeff(const SimConverter& converter)
{
    return {float(1.0 / converter.gain), float(converter.zeroCode)};
}

pair_t<float> SimCalibratedModule::nominalAdcCoeff(const SimConverter& converter)
{
    return {float(converter.gain), float(-converter.zeroCode * converter.gain)};
}

double SimCalibratedModule::dacCode(const pair_t<float>& coeff, double value,
                                    const SimConverter& converter)
{
    const double code = double(coeff.first) * value + double(coeff.second);
    if (!std::isfinite(code))
        return converter.zeroCode;
    return std::clamp(std::round(code), 0.0, maxCode);
}

double SimCalibratedModule::trueGain(const SimConverter& converter) const
{
    return converter.gain *
           (1.0 + converter.gainError * deviation(QByteArray(converter.tag) + "/gain"));
}

double SimCalibratedModule::trueZero(const SimConverter& converter) const
{
    return converter.zeroCode +
           converter.zeroError * deviation(QByteArray(converter.tag) + "/zero");
}

double SimCalibratedModule::dacOutput(const SimConverter& converter, double code) const
{
    return trueGain(converter) * (code - trueZero(converter));
}

double SimCalibratedModule::adcReading(const SimConverter& converter, const pair_t<float>& coeff,
                                       double input)
{
    double code = input / trueGain(converter) + trueZero(converter) + gaussian(m_adcNoise);
    code = std::isfinite(code) ? std::clamp(std::round(code), 0.0, maxCode) : 0.0;
    return double(coeff.first) * code + double(coeff.second);
}

double SimCalibratedModule::deviation(const QByteArray& tag) const
{
    if (m_errorSign != 0)
        return m_errorSign;
    const QByteArray hash = QCryptographicHash::hash(udid() + '/' + tag, QCryptographicHash::Sha1);
    const quint64 bits = qFromLittleEndian<quint64>(hash.constData());
    const double unit = double(bits >> 11) / double(1ull << 53);
    const double magnitude = 0.5 + 0.5 * unit;
    return (quint8(hash.at(8)) & 1) ? magnitude : -magnitude;
}

void SimCalibratedModule::addConstantField(quint8 getter, quint8 setter, int offset, int size)
{
    if (getter != 0xFF) {
        setCommand(getter, [this, offset, size](const QByteArray&) -> std::optional<QByteArray> {
            return workingConstants().mid(offset, size);
        });
    }
    if (setter != 0xFF) {
        setCommand(setter,
                   [this, offset, size](const QByteArray& payload) -> std::optional<QByteArray> {
                       // A short or long value would shift every field after it.
                       if (payload.size() != size)
                           return std::nullopt;
                       replaceConstants(offset, payload);
                       return ack();
                   });
    }
}

void SimCalibratedModule::replaceConstants(int offset, const QByteArray& bytes)
{
    QByteArray constants = workingConstants();
    if (offset < 0 || offset + bytes.size() > constants.size())
        return;
    constants.replace(offset, bytes.size(), bytes);
    setWorkingConstants(constants);
}

double SimCalibratedModule::gaussian(double sigma)
{
    if (!(sigma > 0.0))
        return 0.0;
    std::normal_distribution<double> distribution(0.0, sigma);
    return distribution(m_noise);
}
