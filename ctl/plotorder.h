#ifndef PLOTORDER_H
#define PLOTORDER_H

#include <QPointF>
#include <QVector>

// Adds a point where the windows' plot graph puts it, so that a data file
// written from these points is the one the window saves: ascending X, a point
// not below the last one appended, otherwise inserted before the first point of
// equal or greater X. A NaN X compares as not below, so it is appended.
void addInPlotOrder(QVector<QPointF>* points, QPointF const& point);

#endif // PLOTORDER_H
