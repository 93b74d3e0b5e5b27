#include "lineregression.h"

namespace {

void split(const QVector<QPointF>& points, QVector<double>* x, QVector<double>* y)
{
    x->reserve(points.size());
    y->reserve(points.size());
    for (const QPointF& point : points) {
        x->append(point.x());
        y->append(point.y());
    }
}

} // namespace

lineRegressionCoeff lineRegression(QVector<double> x, QVector<double> y)
{
    if (y.size() < x.size())
        return {0.0f, 0.0f};
    const int n = x.size();
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = 0; i < n; ++i) {
        sx += x.at(i);
        sy += y.at(i);
        sxx += x.at(i) * x.at(i);
        sxy += x.at(i) * y.at(i);
    }
    const double d = n * sxx - sx * sx;
    return {float((n * sxy - sx * sy) / d), float((sy * sxx - sxy * sx) / d)};
}

lineRegressionCoeff lineRegression(QVector<QPointF> points)
{
    QVector<double> x, y;
    split(points, &x, &y);
    return lineRegression(x, y);
}

lineRegressionCoeff lineRegressionViaPoint(QVector<double> x, QVector<double> y, QPointF p)
{
    if (y.size() < x.size())
        return {0.0f, 0.0f};
    double n = 0, q = 0;
    for (int i = 0; i < x.size(); ++i) {
        const double dx = x.at(i) - p.x();
        n += (y.at(i) - p.y()) * dx;
        q += dx * dx;
    }
    const float slope = float(n / q);
    return {slope, float(p.y() - p.x() * double(slope))};
}

lineRegressionCoeff lineRegressionViaPoint(QVector<QPointF> points, QPointF p)
{
    QVector<double> x, y;
    split(points, &x, &y);
    return lineRegressionViaPoint(x, y, p);
}

int findBadestPoint(QVector<double> x, QVector<double> y)
{
    const lineRegressionCoeff line = lineRegression(x, y);
    if (y.size() < x.size())
        return -1;
    int worst = 0;
    double largest = 0;
    for (int i = 0; i < x.size(); ++i) {
        const double residual =
            std::abs(y.at(i) - double(line.slope) * x.at(i) - double(line.intercept));
        // A residual that is no number never compares greater.
        if (residual > largest) {
            largest = residual;
            worst = i;
        }
    }
    return worst;
}

int findBadestPoint(QVector<QPointF> points)
{
    QVector<double> x, y;
    split(points, &x, &y);
    return findBadestPoint(x, y);
}
