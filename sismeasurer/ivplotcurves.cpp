#include "ivdatafile.h"

#include <qcustomplot.h>

// Apart from the file text, so that programs without a plot can write the file.
QVector<IvCurve> ivCurves(QCustomPlot const* plot)
{
    QVector<IvCurve> curves;
    for (int i = 0; i < plot->graphCount(); ++i) {
        IvCurve curve;
        const QSharedPointer<QCPGraphDataContainer> data = plot->graph(i)->data();
        curve.reserve(data->size());
        for (auto it = data->constBegin(); it != data->constEnd(); ++it)
            curve.append(QPointF(it->key, it->value));
        curves.append(curve);
    }
    return curves;
}
