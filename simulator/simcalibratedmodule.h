#ifndef SIMCALIBRATEDMODULE_H
#define SIMCALIBRATEDMODULE_H

#include "simmodule.h"

#include "driverproperty.h"

#include <random>

// One 16-bit DAC or ADC of a module. The nominal gain (physical units per code)
// and zero code are what the default constants assume; the true ones differ by
// up to gainError (relative) and zeroError (codes), fixed per UDID and tag, or
// by exactly that much where the crate gives an error sign.
struct SimConverter
{
    const char* tag;
    double gain;
    double zeroCode;
    double gainError;
    double zeroError;
};

// Base of the kinds whose set points go out through DACs and whose readings come
// in through ADCs, each with a calibration line kept in the constants record.
class SimCalibratedModule : public SimModule
{
    Q_OBJECT
public:
    static constexpr double maxCode = 65535.0;

    SimCalibratedModule(const QString& model, quint8 address, QObject* parent = nullptr);

    // DAC line for a converter's nominal transfer: code = first * value + second.
    static pair_t<float> nominalDacCoeff(const SimConverter& converter);
    // ADC line for it: value = first * code + second.
    static pair_t<float> nominalAdcCoeff(const SimConverter& converter);

    // The code the module writes for a set value: rounded and kept in range; a
    // line that gives no number (a degenerate calibration) writes the zero code.
    static double dacCode(const pair_t<float>& coeff, double value, const SimConverter& converter);
    // The converter's true transfer: value = trueGain * (code - trueZero).
    double trueGain(const SimConverter& converter) const;
    double trueZero(const SimConverter& converter) const;
    // True output for a code.
    double dacOutput(const SimConverter& converter, double code) const;
    // What the module reads for a true input: noisy, rounded, clipped code
    // passed through its ADC line.
    double adcReading(const SimConverter& converter, const pair_t<float>& coeff, double input);

    // Uniform sign, magnitude 0.5 to 1: every module is visibly off nominal. With
    // the crate key "errorSign" at +1 or -1 it is that for every converter, so a
    // test knows the errors exactly.
    double deviation(const QByteArray& tag) const;

    template <typename T> T constant(int offset) const
    {
        return DriverValueCodec<T>::decode(workingConstants(), offset);
    }
    template <typename T> void setConstant(int offset, const T& value)
    {
        replaceConstants(offset, DriverValueCodec<T>::encode(value));
    }

protected:
    // Getter answers the bytes of the working constants at offset; the setter
    // takes exactly size bytes there. Code 0xFF: no such direction.
    void addConstantField(quint8 getter, quint8 setter, int offset, int size);
    void replaceConstants(int offset, const QByteArray& bytes);
    double gaussian(double sigma);
    static QByteArray ack() { return QByteArray(); }

    // ADC noise in codes (rms), the crate key "adcNoise" of every such kind.
    double m_adcNoise = 0.7;

private:
    // 0: signs and magnitudes from the UDID.
    double m_errorSign = 0;
    std::mt19937 m_noise;
};

// The value of a payload that must hold exactly one T.
template <typename T> bool decodeExact(const QByteArray& payload, T* value)
{
    if (payload.size() != DriverValueCodec<T>::size)
        return false;
    *value = DriverValueCodec<T>::decode(payload);
    return true;
}

#endif // SIMCALIBRATEDMODULE_H
