#include "calibrationbounds.h"

#include <cmath>

namespace {

// 16-bit converters. Offset binary: code 32768 is zero and full scale lies 32768
// codes either side. Unipolar: code 0 is zero, full scale at 65535.
constexpr double zeroCode = 32768.0;
constexpr double codes = 65535.0;

constexpr NominalLine offsetBinaryDac(double fullScale)
{
    return {zeroCode / fullScale, zeroCode};
}
constexpr NominalLine offsetBinaryAdc(double fullScale)
{
    return {fullScale / zeroCode, -fullScale};
}
// A DAC of which only the middle 1/k is used: the run's code-space value v drives
// the code 32767 + (v - 32767) / k, whose output is unitsPerCode per code off zero.
constexpr NominalLine dividedDac(double unitsPerCode, double k)
{
    return {k / unitsPerCode, k * (zeroCode - 32767.0) + 32767.0};
}
constexpr NominalLine unipolar(double slope)
{
    return {slope, 0.0};
}
constexpr NominalLine none{0.0, 0.0};

constexpr double sspdCurrent = 100e-6;
constexpr double sspdReading = 128e-6;
constexpr double sspdVoltage = 1.024;
constexpr double biasVoltage = 40.96e-3;
constexpr double biasCurrent = 0.512e-3;
constexpr double sensorCurrent = 30e-6;
constexpr double sensorVolts = 4e-5; // per code
constexpr double pressureVolts = 5.0 / codes;

// The README's wiring table holds the same modes, full scales and sides.
const ModeBounds table[] = {
    {"LC4SDM0", 0, "V", sspdVoltage, sspdCurrent, true, false, true, none,
     offsetBinaryAdc(sspdVoltage)},
    {"LC4SDM0", 1, "A", sspdCurrent, sspdCurrent, true, true, true, offsetBinaryDac(sspdCurrent),
     offsetBinaryAdc(sspdReading)},
    {"LC4SDM1", 0, "V", sspdVoltage, sspdCurrent, true, false, true, none,
     offsetBinaryAdc(sspdVoltage)},
    {"LC4SDM1", 1, "A", sspdCurrent, sspdCurrent, true, true, true, offsetBinaryDac(sspdCurrent),
     offsetBinaryAdc(sspdReading)},
    {"LC4SDM1", 2, "A", sspdCurrent, sspdCurrent, true, true, true, offsetBinaryDac(sspdCurrent),
     offsetBinaryAdc(sspdReading)},
    // The outputs are limited to 30 mV and 0.5 mA in use; the sweep spans the converters.
    {"LC4BSM0", 0, "V", biasVoltage, 30e-3, true, true, true, offsetBinaryDac(biasVoltage),
     offsetBinaryAdc(biasVoltage)},
    // The meter reads the volts over a 1 ohm shunt: as many as there are amperes.
    {"LC4BSM0", 1, "A", biasCurrent, 0.5e-3, true, true, true, offsetBinaryDac(biasCurrent),
     offsetBinaryAdc(biasCurrent)},
    {"LC4CLM0", 0, "A", 0.05, 0.05, true, true, true, dividedDac(0.05 / 8192.0, 4.0),
     offsetBinaryAdc(0.064)},
    {"LC4HTM0", 0, "A", 0.1, 0.1, true, true, true, dividedDac(1e-5, 3.0),
     offsetBinaryAdc(0.131072)},
    {"LC4TDM0", 0, "V", 5.0, sensorCurrent, false, false, true, none, unipolar(pressureVolts)},
    {"LC4TDM0", 1, "V", 5.0, sensorCurrent, false, false, true, none, unipolar(pressureVolts)},
    {"LC4TDM0", 2, "V", codes* sensorVolts, sensorCurrent, false, false, true, none,
     unipolar(sensorVolts)},
    {"LC4TDM0", 3, "A", sensorCurrent, sensorCurrent, false, true, true,
     unipolar(codes / sensorCurrent), unipolar(5e-10)},
    {"LC4TDM1", 0, "V", codes* sensorVolts, sensorCurrent, false, false, true, none,
     unipolar(sensorVolts)},
    {"LC4TDM1", 1, "A", sensorCurrent, sensorCurrent, false, true, false,
     unipolar(codes / sensorCurrent), none},
};

QString percent(double fraction)
{
    return QString::number(fraction * 100, 'g', 3);
}

// The checks common to both lines, on the line written as meter value = gain *
// (raw - zero): its gain against the nominal one, where its zero puts the meter
// value at the nominal zero, and the kept points' scatter in meter units.
QString implausibility(ModeBounds const& bounds, double gain, double nominalGain,
                       double offsetAtNominalZero, QVector<double> const& residuals)
{
    using namespace CalibrationBounds;
    const double deviation = gain / nominalGain - 1;
    if (!(std::abs(deviation) <= slopeDeviation))
        return QStringLiteral("its slope is %1 % off the nominal one (at most %2 %)")
            .arg(percent(deviation), percent(slopeDeviation));
    if (!(std::abs(offsetAtNominalZero) <= zeroOffset * bounds.fullScale))
        return QStringLiteral("its zero lies %1 % of full scale off the nominal one (at most %2 %)")
            .arg(percent(offsetAtNominalZero / bounds.fullScale), percent(zeroOffset));
    double squares = 0;
    for (double residual : residuals)
        squares += residual * residual;
    const double rms = residuals.isEmpty() ? 0.0 : std::sqrt(squares / residuals.size());
    if (!(rms <= scatterRms * bounds.fullScale))
        return QStringLiteral(
                   "its points scatter about it by %1 % of full scale RMS (at most %2 %)")
            .arg(percent(rms / bounds.fullScale), percent(scatterRms));
    return QString();
}

// The points' distances from the line, in meter units: the line's y units times
// metersPerY.
QVector<double> residuals(lineRegressionCoeff line, QVector<QPointF> const& points,
                          double metersPerY)
{
    QVector<double> distances;
    for (QPointF const& point : points)
        distances.append((point.y() - (double(line.slope) * point.x() + double(line.intercept))) *
                         metersPerY);
    return distances;
}

} // namespace

const ModeBounds* modeBounds(QString const& driverType, int mode)
{
    for (ModeBounds const& bounds : table)
        if (driverType == QLatin1String(bounds.driverType) && mode == bounds.mode)
            return &bounds;
    return nullptr;
}

QString dacLineImplausibility(ModeBounds const& bounds, lineRegressionCoeff line,
                              QVector<QPointF> const& points)
{
    // code = slope * meter + intercept, so meter = (code - intercept) / slope.
    const double slope = double(line.slope);
    return implausibility(bounds, 1 / slope, 1 / bounds.dac.slope,
                          (bounds.dac.intercept - double(line.intercept)) / slope,
                          residuals(line, points, 1 / slope));
}

QString adcLineImplausibility(ModeBounds const& bounds, lineRegressionCoeff line,
                              QVector<QPointF> const& points)
{
    const double nominalZero = -bounds.adc.intercept / bounds.adc.slope;
    return implausibility(bounds, double(line.slope), bounds.adc.slope,
                          double(line.slope) * nominalZero + double(line.intercept),
                          residuals(line, points, 1.0));
}
