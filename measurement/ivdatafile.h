#ifndef IVDATAFILE_H
#define IVDATAFILE_H

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QVector>

class QCustomPlot;

// One curve: (X = voltage in V, Y = current in A), ascending X.
using IvCurve = QVector<QPointF>;

// The points of every graph of the plot, in plot order.
QVector<IvCurve> ivCurves(QCustomPlot const* plot);

// The file text: a fixed three-line header, then "Graph i" and the points of each
// curve, CR LF line ends, numbers as %g with 6 significant digits.
QByteArray ivDataText(QVector<IvCurve> const& curves);

#endif // IVDATAFILE_H
