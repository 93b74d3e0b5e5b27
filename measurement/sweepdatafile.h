#ifndef SWEEPDATAFILE_H
#define SWEEPDATAFILE_H

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>
#include <QVector>

// The sweep data file: a header, two comment lines, then one "Graph N" section per
// sweep with its points in ascending X. CR LF line ends, tab between X and Y,
// numbers as C's %g.
QByteArray sweepDataFileBytes(QList<QVector<QPointF>> const& graphs);

// The counter chart's points in the same layout, one graph. X is the time in seconds
// since 1970-01-01 00:00 UTC to the millisecond: %g would keep only 6 digits of it.
QByteArray counterDataFileBytes(QVector<QPointF> const& points);

// Appends to a file, creating it when needed. False with a reason when the file
// cannot be opened or not every byte was written.
bool appendToFile(QString const& fileName, QByteArray const& bytes, QString* error);

#endif // SWEEPDATAFILE_H
