#ifndef COUNTSSWEEP_H
#define COUNTSSWEEP_H

#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>

class CommonDriver;
class CtlInterrupt;

// The measurer window's counts sweep on an SSPD driver of either modification:
// short the detector, set the first value, settle, release, read the counter's
// time constant, switch the sweep's status bits on, then per point set the value,
// wait two counter periods and read the data record, until STOP or until the
// detector voltage passes the trigger. X is the measured current in uA (bias
// sweep) or the comparator level in V; Y the counts per second.
class CountsSweep
{
public:
    struct Settings
    {
        bool comparator = false;
        double start = 0;
        double stop = 0;
        double step = 0;
        double trigger = 0;
        int settlingMs = 0;
    };
    enum class Outcome
    {
        Done,
        Failed,
        Interrupted
    };

    CountsSweep(CommonDriver* driver, CtlInterrupt* interrupt);

    // Called with every point as it is measured.
    std::function<void(QPointF const& point)> pointMeasured;

    Outcome run(Settings const& settings);
    QString error() const { return m_error; }
    // In the order the window's plot keeps them.
    QVector<QPointF> points() const { return m_points; }

private:
    template <typename Driver> Outcome runOn(Driver* d, Settings const& settings);
    Outcome fail(QString const& what);

    CommonDriver* m_driver;
    CtlInterrupt* m_interrupt;
    QVector<QPointF> m_points;
    QString m_error;
};

#endif // COUNTSSWEEP_H
