#include "sweepdatafile.h"

#include <QFile>

namespace {

QByteArray number(double value)
{
    // Qt's own %g: the C locale whatever the process locale is.
    return QString::asprintf("%g", value).toLatin1();
}

} // namespace

QByteArray sweepDataFileBytes(QList<QVector<QPointF>> const& graphs)
{
    QByteArray bytes;
    bytes += "X\tY\r\n";
    bytes += ";In case Current_vs_Count trace it mean X == I (uA)\r\n";
    bytes += ";In case CmpLevel_vs_Count trace it mean X == U_cmp (V)\r\n";
    for (int i = 0; i < graphs.size(); ++i) {
        bytes += "Graph " + QByteArray::number(i) + "\r\n";
        for (QPointF const& point : graphs.at(i))
            bytes += number(point.x()) + '\t' + number(point.y()) + "\r\n";
    }
    return bytes;
}

QByteArray counterDataFileBytes(QVector<QPointF> const& points)
{
    QByteArray bytes;
    bytes += "X\tY\r\n";
    bytes += ";Counter chart: X == time (s since 1970-01-01 00:00 UTC), Y == counts per second\r\n";
    bytes += "Graph 0\r\n";
    for (QPointF const& point : points)
        bytes +=
            QString::asprintf("%.3f", point.x()).toLatin1() + '\t' + number(point.y()) + "\r\n";
    return bytes;
}

bool appendToFile(QString const& fileName, QByteArray const& bytes, QString* error)
{
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = fileName.isEmpty() ? QStringLiteral("no file chosen") : file.errorString();
        return false;
    }
    bool const written = file.write(bytes) == bytes.size() && file.flush();
    if (!written && error)
        *error = file.errorString();
    file.close();
    return written;
}
