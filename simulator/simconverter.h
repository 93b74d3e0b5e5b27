#ifndef SIMCONVERTER_H
#define SIMCONVERTER_H

#include "driverproperty.h"

#include <QByteArray>

#include <random>

// The analog error budget of one module: how far its converters stray from the
// nominal transfer and how noisy its ADCs are. Crate-file keys "gainError",
// "offsetError" and "adcNoise".
struct SimConverterErrors
{
    double gain = 0.005;    // largest relative gain error
    double offset = 0.0005; // largest offset, as a fraction of full scale
    double noiseLsb = 0.7;  // ADC noise, rms in codes
};

// A number in [-1, 1] fixed by the module's UDID and a channel name, so a unit
// behaves the same on every run and two modules differ.
double simHiddenSpread(const QByteArray& udid, const char* channel);

// A 16-bit offset-binary DAC: code 32768 gives zero. The module turns a physical
// set value into a code with its calibration line (code = slope x value +
// intercept); the hardware turns the code into an output with its own true,
// slightly wrong transfer.
class SimDac
{
public:
    static constexpr int maxCode = 65535;
    static constexpr double zeroCode = 32768.0;

    // fullScale: the nominal output at the code span's ends (+-).
    SimDac(double fullScale, const char* channel) : m_fullScale(fullScale), m_channel(channel) {}

    // The nominal line of an ideal converter.
    pair_t<float> nominalLine() const;
    // Rounded and clamped; a non-finite line gives the zero code, never a wild output.
    static int code(double value, pair_t<float> line);
    double output(int code, const QByteArray& udid, const SimConverterErrors& errors) const;
    // The code, unrounded and unclamped, that gives this true output.
    double codeFor(double output, const QByteArray& udid, const SimConverterErrors& errors) const;

private:
    double lsb() const { return m_fullScale / zeroCode; }
    double m_fullScale;
    const char* m_channel;
};

// A 16-bit two's complement ADC; the module turns its raw code into a physical
// reading with its calibration line (value = slope x raw + intercept).
class SimAdc
{
public:
    SimAdc(double fullScale, const char* channel) : m_fullScale(fullScale), m_channel(channel) {}

    pair_t<float> nominalLine() const;
    // A noisy conversion of a true input, clipped to the code range.
    int raw(double input, const QByteArray& udid, const SimConverterErrors& errors,
            std::mt19937& noise) const;
    // The same without noise and rounding, for regulation loops.
    double rawExact(double input, const QByteArray& udid, const SimConverterErrors& errors) const;
    // The true input that converts to this raw code.
    double inputFor(double raw, const QByteArray& udid, const SimConverterErrors& errors) const;
    static double reading(double raw, pair_t<float> line);

private:
    double lsb() const { return m_fullScale / 32768.0; }
    double m_fullScale;
    const char* m_channel;
};

#endif // SIMCONVERTER_H
