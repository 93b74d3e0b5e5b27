#ifndef CALIBRATIONBOUNDS_H
#define CALIBRATIONBOUNDS_H

#include "lineregression.h"

#include <QPointF>
#include <QString>
#include <QVector>

// What a calibration mode may plausibly see, and the nominal lines its fits are
// held against: a meter that reads absurd numbers, or a fit that makes no sense
// for the module's converters, must never end in constants the module then uses.
struct NominalLine
{
    double slope;
    double intercept;
};

struct ModeBounds
{
    const char* driverType;
    int mode;
    // The unit of what the meter reads: "V" or "A" (the bias source's shunt volts
    // stand for as many amperes).
    const char* unit;
    // Of what the meter reads over the sweep, in that unit.
    double fullScale;
    // Of the set value, in its own unit; the verification steps over it.
    double setFullScale;
    bool bipolar;
    // Meter against set value: the mode calibrates the DAC line.
    bool checksSet;
    // Module reading against meter: the mode calibrates the ADC line.
    bool checksReading;
    // In the run's fit space: the DAC line gives the code-space value for a meter
    // value, the ADC line the meter value for a raw reading.
    NominalLine dac;
    NominalLine adc;
};

namespace CalibrationBounds {

// A meter reading beyond this many full scales is no measurement of the module.
constexpr double readingOverFullScale = 1.2;
// A fitted slope this far from the nominal one, relatively.
constexpr double slopeDeviation = 0.2;
// A fitted line whose zero lies this far from the nominal one, in full scales.
constexpr double zeroOffset = 0.1;
// Kept points that scatter about their line by this much (RMS), in full scales.
constexpr double scatterRms = 0.005;
// The as-left error allowed at every set-point, in % of full scale, unless the
// settings key "<model code>_TolerancePercent" says otherwise.
constexpr double defaultTolerancePercent = 0.05;
// The set-points of the verification.
constexpr int verificationPoints = 9;

} // namespace CalibrationBounds

// The bounds of a kind's mode (by the calibrator's model code); null for a mode
// the table does not know, which is then calibrated without plausibility checks.
const ModeBounds* modeBounds(QString const& driverType, int mode);

// Why a fitted line cannot be right for the mode; empty when it is plausible.
// points are the kept points the line was fitted to, in the run's fit space.
QString dacLineImplausibility(ModeBounds const& bounds, lineRegressionCoeff line,
                              QVector<QPointF> const& points);
QString adcLineImplausibility(ModeBounds const& bounds, lineRegressionCoeff line,
                              QVector<QPointF> const& points);

#endif // CALIBRATIONBOUNDS_H
