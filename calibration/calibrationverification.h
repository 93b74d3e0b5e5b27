#ifndef CALIBRATIONVERIFICATION_H
#define CALIBRATIONVERIFICATION_H

#include "calibrationbounds.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVector>

// One set-point measured: the meter's reading and the module's own (averaged).
struct VerificationPoint
{
    double meter = 0;
    double reading = 0;
};

// The evidence of a calibration: the mode measured at the same set-points with the
// constants found in the module and with those the run left, each point against
// the mode's tolerance.
struct CalibrationVerification
{
    QString mode;
    QString unit;
    double fullScale = 0;
    double tolerancePercent = CalibrationBounds::defaultTolerancePercent;
    bool checksSet = false;
    bool checksReading = false;
    QVector<double> setPoints;
    QVector<VerificationPoint> asFound;
    QVector<VerificationPoint> asLeft;
    QString meter;
    QDateTime date;

    // Over the mode's set range: -80 % to +80 % for bipolar outputs, 10 % to 90 %
    // for unipolar ones.
    static CalibrationVerification forMode(ModeBounds const& bounds, QString const& name,
                                           double tolerancePercent);

    // Errors in % of full scale; 0 for a side the mode does not have.
    double setError(int index, VerificationPoint const& point) const;
    double readingError(VerificationPoint const& point) const;
    double worstError(int index, VerificationPoint const& point) const;
    bool passes(int index, VerificationPoint const& point) const;
    // The index of the point with the largest error; -1 for none.
    int worstPoint(QVector<VerificationPoint> const& points) const;
    bool asLeftPasses() const;

    // The record's "Verification" entry for this mode.
    QJsonObject json() const;
};

#endif // CALIBRATIONVERIFICATION_H
