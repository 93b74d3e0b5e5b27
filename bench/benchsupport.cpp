#include "benchsupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>

#include <algorithm>
#include <cmath>
#include <ctime>

double median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + long(mid), values.end());
    if (values.size() % 2 != 0)
        return values[mid];
    const double upper = values[mid];
    return (*std::max_element(values.begin(), values.begin() + long(mid)) + upper) / 2;
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

void stopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(2000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

// Starts the simulator on a free loopback port and waits for its startup line.
// The port can be taken between probing and binding, so a quick exit is retried.
bool startSimulator(QProcess& process, const QString& path, quint16* port, QString* banner,
                    QString* error, const QStringList& extraArguments)
{
    if (path.isEmpty() || !QFileInfo(path).isExecutable()) {
        *error =
            QStringLiteral("no simulator executable at \"%1\" (use --simulator PATH)").arg(path);
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        *port = freeLoopbackPort();
        if (startSimulatorOnPort(process, path, *port, banner, error, extraArguments))
            return true;
        if (process.error() == QProcess::FailedToStart)
            return false;
    }
    return false;
}

bool startSimulatorOnPort(QProcess& process, const QString& path, quint16 port, QString* banner,
                          QString* error, const QStringList& extraArguments)
{
    process.setProgram(path);
    process.setArguments(QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                                     QStringLiteral("--port"), QString::number(port),
                                     QStringLiteral("--no-discovery")} +
                         extraArguments);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted(3000)) {
        *error = process.errorString();
        return false;
    }
    QByteArray output;
    QElapsedTimer waited;
    waited.start();
    while (!output.contains('\n') && process.state() == QProcess::Running &&
           waited.elapsed() < 5000) {
        process.waitForReadyRead(int(qMax<qint64>(1, 5000 - waited.elapsed())));
        output += process.readAll();
    }
    if (output.contains('\n') && process.state() == QProcess::Running) {
        if (banner)
            *banner = QString::fromLocal8Bit(output).trimmed();
        return true;
    }
    *error = QStringLiteral("simulator gave no startup line: %1")
                 .arg(QString::fromLocal8Bit(output).trimmed());
    stopProcess(process);
    return false;
}

bool startSimulatorWithMeter(QProcess& process, const QString& path,
                             const QStringList& extraArguments, quint16* port, quint16* meterPort,
                             QString* error)
{
    QString output;
    if (!startSimulator(process, path, port, &output, error,
                        extraArguments +
                            QStringList{QStringLiteral("--meter-port"), QStringLiteral("0")}))
        return false;
    // The meter's line follows the startup line.
    const QRegularExpression line(QStringLiteral("reference meter on TCP port (\\d+)"));
    QElapsedTimer waited;
    waited.start();
    while (process.state() == QProcess::Running && waited.elapsed() < 5000) {
        const QRegularExpressionMatch match = line.match(output);
        if (match.hasMatch()) {
            *meterPort = quint16(match.captured(1).toUInt());
            return true;
        }
        process.waitForReadyRead(100);
        output += QString::fromLocal8Bit(process.readAll());
    }
    *error = QStringLiteral("simulator announced no meter: %1").arg(output);
    stopProcess(process);
    return false;
}
