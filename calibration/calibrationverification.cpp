#include "calibrationverification.h"

#include <QJsonArray>

#include <cmath>

CalibrationVerification CalibrationVerification::forMode(ModeBounds const& bounds,
                                                         QString const& name,
                                                         double tolerancePercent)
{
    CalibrationVerification verification;
    verification.mode = name;
    verification.unit = QString::fromLatin1(bounds.unit);
    verification.fullScale = bounds.fullScale;
    verification.tolerancePercent = tolerancePercent;
    verification.checksSet = bounds.checksSet;
    verification.checksReading = bounds.checksReading;
    // In tenths of the set range, so that -0.04 is -0.04 and not a float's neighbour.
    for (int i = 0; i < CalibrationBounds::verificationPoints; ++i)
        verification.setPoints.append(bounds.setFullScale * (bounds.bipolar ? 2 * i - 8 : i + 1) /
                                      10);
    return verification;
}

double CalibrationVerification::setError(int index, VerificationPoint const& point) const
{
    return checksSet ? 100 * (point.meter - setPoints.value(index)) / fullScale : 0.0;
}

double CalibrationVerification::readingError(VerificationPoint const& point) const
{
    return checksReading ? 100 * (point.reading - point.meter) / fullScale : 0.0;
}

double CalibrationVerification::worstError(int index, VerificationPoint const& point) const
{
    const double set = setError(index, point);
    const double reading = readingError(point);
    return std::abs(set) >= std::abs(reading) ? set : reading;
}

bool CalibrationVerification::passes(int index, VerificationPoint const& point) const
{
    // A comparison that is false for a reading that is no number.
    return std::abs(worstError(index, point)) <= tolerancePercent;
}

int CalibrationVerification::worstPoint(QVector<VerificationPoint> const& points) const
{
    int worst = -1;
    // Written so that a point that is no number counts as the worst.
    for (int i = 0; i < points.size(); ++i)
        if (worst < 0 ||
            !(std::abs(worstError(i, points[i])) <= std::abs(worstError(worst, points[worst]))))
            worst = i;
    return worst;
}

bool CalibrationVerification::asLeftPasses() const
{
    if (asLeft.size() != setPoints.size())
        return false;
    for (int i = 0; i < asLeft.size(); ++i)
        if (!passes(i, asLeft[i]))
            return false;
    return true;
}

QJsonObject CalibrationVerification::json() const
{
    const auto table = [this](QVector<VerificationPoint> const& points) {
        QJsonArray rows;
        for (int i = 0; i < points.size(); ++i) {
            QJsonObject row{{QStringLiteral("Meter"), points[i].meter},
                            {QStringLiteral("Pass"), passes(i, points[i])}};
            if (checksReading)
                row.insert(QStringLiteral("Reading"), points[i].reading);
            rows.append(row);
        }
        return rows;
    };
    QJsonArray setValues;
    for (double value : setPoints)
        setValues.append(value);
    return {{QStringLiteral("Mode"), mode},
            {QStringLiteral("Unit"), unit},
            {QStringLiteral("FullScale"), fullScale},
            {QStringLiteral("TolerancePercent"), tolerancePercent},
            {QStringLiteral("SetPoints"), setValues},
            {QStringLiteral("AsFound"), table(asFound)},
            {QStringLiteral("AsLeft"), table(asLeft)},
            {QStringLiteral("Meter"), meter},
            {QStringLiteral("Date"), date.toUTC().toString(Qt::ISODate)}};
}
