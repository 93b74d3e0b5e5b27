#ifndef RECOVERYSUPPORT_H
#define RECOVERYSUPPORT_H

#include "benchsupport.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <functional>

#include <signal.h>
#include <sys/types.h>

// lc-simulator as a process of its own at one loopback port: killed by its
// process id like a unit that loses power, and started again at the same port
// with the same crate.
class SimulatorProcess
{
public:
    explicit SimulatorProcess(QStringList arguments = {}) : m_arguments(std::move(arguments)) {}
    ~SimulatorProcess() { stopProcess(m_process); }
    SimulatorProcess(SimulatorProcess const&) = delete;
    SimulatorProcess& operator=(SimulatorProcess const&) = delete;

    // The first start takes a free port, every later one the same port again.
    bool start(QString* error)
    {
        QString const path = QStringLiteral(LC_SIMULATOR_BINARY);
        bool const started =
            m_port == 0
                ? startSimulator(m_process, path, &m_port, nullptr, error, m_arguments)
                : startSimulatorOnPort(m_process, path, m_port, nullptr, error, m_arguments);
        // From the moment the unit listens again.
        m_started.start();
        return started;
    }
    void kill()
    {
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_killed.start();
        m_process.waitForFinished(2000);
    }
    quint16 port() const { return m_port; }
    qint64 msSinceKill() const { return m_killed.elapsed(); }
    qint64 msSinceStarted() const { return m_started.elapsed(); }

private:
    QStringList m_arguments;
    QProcess m_process;
    quint16 m_port = 0;
    QElapsedTimer m_killed;
    QElapsedTimer m_started;
};

// Runs the event loop for ms milliseconds, sleeping between events.
inline void sleepInEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Sleeps in the event loop until `done` holds, looking every 5 ms; false once
// boundMs have passed.
inline bool waitUntil(std::function<bool()> const& done, int boundMs)
{
    QDeadlineTimer const deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        sleepInEventLoop(5);
    }
    return true;
}

// A 20 ms timer that notes the longest gap between its ticks: while the program
// under test waits for a unit that is gone, its event loop must keep running.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_since.start();
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = qMax(m_longest, m_since.restart()); });
        m_timer.start(20);
    }
    qint64 longestGapMs() const { return qMax(m_longest, m_since.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

// Generous against a loaded machine, far below any blocking wait.
constexpr qint64 responsiveGapMs = 1000;

// kept and measured are points; activities that measure none pass -1.
inline void reportRecovery(char const* activity, qint64 toStatusMs, qint64 toSuccessMs, int kept,
                           int measured, qint64 longestGapMs)
{
    QByteArray const points = measured < 0 ? QByteArray("no points")
                                           : QByteArray::number(kept) + " of " +
                                                 QByteArray::number(measured) + " points kept";
    qInfo("recovery %s: status %lld ms after the kill, first success %lld ms after the restart, "
          "%s, longest event-loop gap %lld ms",
          activity, toStatusMs, toSuccessMs, points.constData(), longestGapMs);
}

// Lines of a saved file that follow its "Graph <index>" line up to the next graph.
inline int savedPoints(QString const& path, int index)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    QList<QByteArray> const lines = file.readAll().split('\n');
    int const start = lines.indexOf("Graph " + QByteArray::number(index) + '\r');
    if (start < 0)
        return -1;
    int count = 0;
    for (int i = start + 1;
         i < lines.size() && !lines.at(i).startsWith("Graph") && !lines.at(i).trimmed().isEmpty();
         ++i)
        ++count;
    return count;
}

#endif // RECOVERYSUPPORT_H
