#include "ivdatafile.h"

#include <QTextStream>

QByteArray ivDataText(QVector<IvCurve> const& curves)
{
    QByteArray text;
    QTextStream out(&text, QIODevice::WriteOnly);
    out << "X\tY\r\n"
        << "; X == U (mV)\r\n"
        << "; Y == I (V)\r\n";
    for (int i = 0; i < curves.size(); ++i) {
        out << "Graph " << i << "\r\n";
        for (QPointF const& point : curves.at(i))
            out << point.x() << '\t' << point.y() << "\r\n";
    }
    out.flush();
    return text;
}
