#ifndef CTLTESTSUPPORT_H
#define CTLTESTSUPPORT_H

// lc-ctl against lc-simulator in its own process: the simulator logs every frame
// it receives into a file, so a test sees what reached the unit.
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

struct CtlResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;
};

// Noise off where a file must come out the same twice: the SSPD driver at 1 sees
// no photons (counts stay 0) and its readings have no ADC noise, as the bias
// source's at 3; the other kinds are the simulator's defaults.
inline QByteArray quietCrate()
{
    return R"({"modules":[
        {"address":1,"kind":"LC4SDM0","adcNoise":0,"photonRate":0,"darkCounts":0,
         "noiseCrossingRate":0},
        {"address":2,"kind":"LC4SDM1"},
        {"address":3,"kind":"LC4BSM0","adcNoise":0},
        {"address":4,"kind":"LC4CLM0"},
        {"address":5,"kind":"LC4HTM0"},
        {"address":6,"kind":"LC4TDM0"},
        {"address":7,"kind":"LC4TDM1"}]})";
}

class CtlSimulator
{
public:
    // With `discovery` the unit also answers broadcasts on the fixed port.
    bool start(bool discovery = false)
    {
        if (!m_dir.isValid())
            return false;
        QFile crate(m_dir.filePath("crate.json"));
        if (!crate.open(QIODevice::WriteOnly) || crate.write(quietCrate()) < 0)
            return false;
        crate.close();
        m_process.setStandardErrorFile(logPath());
        QStringList arguments{"--listen",  "127.0.0.1", "--port",        "0",
                              "--verbose", "--crate",   crate.fileName()};
        if (!discovery)
            arguments << "--no-discovery";
        m_process.start(LC_SIMULATOR_BINARY, arguments);
        if (!m_process.waitForStarted())
            return false;
        const QRegularExpression listening("listening on 127.0.0.1 port (\\d+)\\n");
        QByteArray banner;
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            m_process.waitForReadyRead(100);
            banner += m_process.readAllStandardOutput();
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(banner));
            if (match.hasMatch()) {
                m_port = quint16(match.captured(1).toUInt());
                return true;
            }
        }
        return false;
    }
    ~CtlSimulator()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

    quint16 port() const { return m_port; }
    QString logPath() const { return m_dir.filePath("simulator.log"); }
    QByteArray log() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Frames received since the log had `from` bytes.
    int framesSince(int from) const { return log().mid(from).count(" received: "); }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

// Runs lc-ctl to its end; the simulator runs on in its own process meanwhile.
inline CtlResult runCtl(QStringList const& arguments, int timeoutMs = 30000)
{
    CtlResult result;
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(LC_CTL_BINARY, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.elapsedMs = clock.elapsed();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// The command line's host and port of that simulator.
inline QStringList unitArguments(CtlSimulator const& simulator, QStringList const& command)
{
    QStringList arguments = command;
    arguments.insert(1, QStringLiteral("127.0.0.1"));
    return arguments + QStringList{"--port", QString::number(simulator.port())};
}

#endif // CTLTESTSUPPORT_H
