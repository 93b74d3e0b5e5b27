#ifndef LINEREGRESSION_H
#define LINEREGRESSION_H

#include <QPointF>
#include <QVector>

#include <cmath>

// A fitted line y = slope * x + intercept, in the order of the modules'
// calibration pairs.
struct lineRegressionCoeff
{
    float slope;
    float intercept;

    // Degenerate input (no points, all x equal) gives lines that are no
    // numbers; callers refuse those before they reach a module.
    bool isFinite() const { return std::isfinite(slope) && std::isfinite(intercept); }
};

// Least-squares line. A y shorter than x gives slope 0 and intercept 0.
lineRegressionCoeff lineRegression(QVector<double> x, QVector<double> y);
lineRegressionCoeff lineRegression(QVector<QPointF> points);

// Least-squares line forced through p; only the slope is fitted.
lineRegressionCoeff lineRegressionViaPoint(QVector<double> x, QVector<double> y, QPointF p);
lineRegressionCoeff lineRegressionViaPoint(QVector<QPointF> points, QPointF p);

// Index of the point farthest (vertically) from the least-squares line; the
// lowest index among equals, 0 without points, -1 when y is shorter than x.
int findBadestPoint(QVector<double> x, QVector<double> y);
int findBadestPoint(QVector<QPointF> points);

#endif // LINEREGRESSION_H
