#include "plotorder.h"

#include <algorithm>

void addInPlotOrder(QVector<QPointF>* points, QPointF const& point)
{
    const auto lessX = [](QPointF const& a, QPointF const& b) { return a.x() < b.x(); };
    if (points->isEmpty() || !lessX(point, points->last())) {
        points->append(point);
        return;
    }
    points->insert(std::lower_bound(points->begin(), points->end(), point, lessX), point);
}
