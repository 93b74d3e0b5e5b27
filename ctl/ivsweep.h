#ifndef IVSWEEP_H
#define IVSWEEP_H

#include "sweepplan.h"

#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>

class CtlInterrupt;
class SisBiasSourceDriverM0;
class lcTcpSocketIOInterface;

// The IV window's sweep, which the bias source runs by itself: sweep record, mode,
// start value and short switch off, the settling time, the announcement to every
// module, the start, the points as unasked sweep frames until the end frame, and
// the close after every announcement. A stop sends the module's sweep stop first.
class IvSweep
{
public:
    enum class Outcome
    {
        Done,
        Failed,
        Interrupted
    };

    IvSweep(SisBiasSourceDriverM0* driver, lcTcpSocketIOInterface* link, CtlInterrupt* interrupt);

    // Called with every point (voltage in V, current in A) as it arrives.
    std::function<void(QPointF const& point)> pointMeasured;

    Outcome run(SweepPlan const& plan);
    QString error() const { return m_error; }
    // In the order the window's plot keeps them.
    QVector<QPointF> points() const { return m_points; }

private:
    bool setUp(SweepPlan const& plan);
    void frame(quint8 command, quint8 length, quint8 const* data);
    void sendToAll(quint8 command);
    void stopModuleSweep();

    SisBiasSourceDriverM0* m_driver;
    lcTcpSocketIOInterface* m_link;
    CtlInterrupt* m_interrupt;
    QVector<QPointF> m_points;
    QString m_error;
    bool m_frameSeen = false;
    bool m_done = false;
};

#endif // IVSWEEP_H
