// lc-sismeasurer-bench: whether the IV measurer's plot keeps up with a fast module
// sweep. Drives the real window through one voltage sweep against a module in a
// process of its own and reports the sweep's wall time, the points plotted and the
// longest stall of the GUI event loop. It runs twice: against lc-simulator, and
// against a minimal bias source (this program with --paced-module) that sends its
// points on an absolute schedule, so that the window's own share can be told
// apart from a module that falls behind. A measurement, not a test; run it inside
// scripts/netns.sh.
#include "benchsupport.h"
#include "lctcpsocketiointerface.h"
#include "mainwindow.h"
#include "sisbiassourcedriverm0.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <qcustomplot.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

constexpr quint8 biasAddress = 3;

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitListening(quint16 port, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        if (socket.waitForConnected(200))
            return true;
        pause(50);
    }
    return false;
}

QByteArray frame(quint8 address, quint8 command, QByteArray const& payload = {})
{
    return QByteArray(1, char(address)) + char(command) + char(payload.size()) + payload;
}

// A bias source that answers what the window asks and, once started, sends every
// point that is due by the clock, however late its timer fires.
class PacedModule : public QObject
{
public:
    explicit PacedModule(quint16 port)
    {
        m_server.listen(QHostAddress(QHostAddress::LocalHost), port);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_socket = m_server.nextPendingConnection();
            connect(m_socket, &QTcpSocket::readyRead, this, &PacedModule::read);
        });
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &PacedModule::tick);
    }

private:
    void read()
    {
        m_buffer += m_socket->readAll();
        while (m_buffer.size() >= 3 && m_buffer.size() >= 3 + quint8(m_buffer.at(2))) {
            const quint8 address = quint8(m_buffer.at(0));
            const quint8 command = quint8(m_buffer.at(1));
            const QByteArray payload = m_buffer.mid(3, quint8(m_buffer.at(2)));
            m_buffer.remove(0, 3 + payload.size());
            answer(address, command, payload);
        }
    }

    void answer(quint8 address, quint8 command, QByteArray const& payload)
    {
        if (address == 255) {
            m_socket->write(frame(address, command));
            return;
        }
        if (address != biasAddress)
            return;
        switch (command) {
        case 5:
            m_socket->write(frame(address, command, QByteArray(12, '\x11')));
            break;
        case 6:
            m_socket->write(frame(address, command, QByteArray("LC4BSM0 paced", 14)));
            break;
        case 7:
        case 8:
        case 9:
        case 10:
            m_socket->write(frame(address, command, QByteArray("1", 2)));
            break;
        case 48:
            std::memcpy(&m_params, payload.constData(), qMin<size_t>(payload.size(), 20));
            m_socket->write(frame(address, command));
            break;
        case 49:
            m_socket->write(frame(address, command));
            m_points =
                qint64(std::floor((m_params.stop - m_params.start) / m_params.step + 1e-6)) + 1;
            m_sent = 0;
            m_clock.start();
            m_timer.start(1);
            break;
        case 50:
            m_socket->write(frame(address, command));
            m_points = m_sent;
            tick();
            break;
        default:
            m_socket->write(frame(address, command));
        }
    }

    void tick()
    {
        const qint64 due = qMin(m_points, m_clock.elapsed() / qMax<qint64>(1, m_params.timeStep));
        QByteArray out;
        for (; m_sent < due; ++m_sent) {
            LC4BSM0_Data_t point{};
            point.voltage = m_params.start + float(m_sent) * m_params.step;
            const double v = point.voltage;
            point.current = float(std::abs(v) < 2.8e-3 ? v / 400 : v / 20);
            point.mode = 1;
            out += frame(biasAddress, SisBiasSourceDriverM0::sweepFrameCommand,
                         QByteArray(reinterpret_cast<const char*>(&point), sizeof point));
        }
        if (m_sent >= m_points) {
            m_timer.stop();
            const quint32 count = quint32(m_sent);
            out += frame(biasAddress, SisBiasSourceDriverM0::sweepFrameCommand,
                         QByteArray(reinterpret_cast<const char*>(&count), 4));
        }
        if (!out.isEmpty() && m_socket)
            m_socket->write(out);
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_buffer;
    LC4BSM0_SWEEP_PARAMS_t m_params{};
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_points = 0;
    qint64 m_sent = 0;
};

template <typename T> T* child(QWidget& window, char const* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

struct Result
{
    bool started = false;
    int plotted = 0;
    quint32 moduleCount = 0;
    double wallMs = -1;
    qint64 longestStall = 0;
    int replots = 0;
    qint64 longestReplot = 0;
    double cpuMs = 0;
    qint64 handlerMs = 0;
    QString status;
};

Result measure(QString const& program, QStringList arguments, int points, int timeStep)
{
    Result result;
    const quint16 port = freeLoopbackPort();
    QProcess module;
    module.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    module.start(program, arguments << "--port" << QString::number(port));
    if (!module.waitForStarted(5000) || !waitListening(port, 5000))
        return result;

    MainWindow window(nullptr, [] { return QStringList{"127.0.0.1"}; });
    window.setUnitPort(port);
    window.resize(1000, 700);
    window.show();
    pause(200);
    child<QSpinBox>(window, "sbDeviceAddress")->setValue(biasAddress);
    child<QPushButton>(window, "pbInitialize")->click();
    if (!(child<QListWidget>(window, "lwActions")->item(2)->flags() & Qt::ItemIsEnabled))
        return result;
    result.started = true;
    child<QListWidget>(window, "lwActions")->setCurrentRow(2);

    // Voltage sweep in 1 uV steps from 0: `points` points.
    child<QComboBox>(window, "cbSweepType")->setCurrentIndex(0);
    child<QLineEdit>(window, "leStartSweep")->setText("0");
    child<QLineEdit>(window, "leStopSweep")->setText(QString::number((points - 1) * 0.001, 'f', 3));
    child<QLineEdit>(window, "leStepSweep")->setText("0.001");
    child<QLineEdit>(window, "leTimeStepSweep")->setText(QString::number(timeStep));

    // The module's own count of points is in its end frame.
    QElapsedTimer clock;
    qint64 firstPoint = -1;
    qint64 endFrame = -1;
    QObject::connect(window.link(), &lcIOInterface::msgReceived,
                     [&](quint8, quint8 command, quint8 length, quint8* data) {
                         if (command != SisBiasSourceDriverM0::sweepFrameCommand)
                             return;
                         if (length == SisBiasSourceDriverM0::sweepPointLength && firstPoint < 0)
                             firstPoint = clock.elapsed();
                         if (length == 4) {
                             endFrame = clock.elapsed();
                             std::memcpy(&result.moduleCount, data, 4);
                         }
                     });

    // The longest gap between two ticks of a 1 ms timer while the points come in.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    qint64 lastTick = -1;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0 && firstPoint >= 0 && endFrame < 0)
            result.longestStall = qMax(result.longestStall, now - lastTick);
        lastTick = now;
    });
    qint64 replotStarted = 0;
    QCustomPlot* plot = child<QCustomPlot>(window, "wMeasurerPlot");
    QObject::connect(plot, &QCustomPlot::beforeReplot, [&] { replotStarted = clock.elapsed(); });
    QObject::connect(plot, &QCustomPlot::afterReplot, [&] {
        ++result.replots;
        result.longestReplot = qMax(result.longestReplot, clock.elapsed() - replotStarted);
    });

    const double cpuBefore = processCpuMs();
    clock.start();
    ticker.start();
    child<QPushButton>(window, "pbStart")->click();
    result.handlerMs = clock.elapsed();
    result.cpuMs = processCpuMs() - cpuBefore;
    ticker.stop();
    pause(100);

    result.plotted = plot->graphCount() > 0 ? plot->graph(0)->dataCount() : 0;
    // The first point comes one time step after the start, so the sweep spans it too.
    if (endFrame >= 0 && firstPoint >= 0)
        result.wallMs = double(endFrame - firstPoint + timeStep);
    result.status = child<QLabel>(window, "lbMeasurerStatus")->text();
    window.close();
    module.terminate();
    module.waitForFinished(3000);
    return result;
}

// Prints one run; true when the window kept up (and, if asked, the module's pace held).
bool report(char const* title, Result const& r, int points, int timeStep, bool judgePace)
{
    const double expected = double(points) * timeStep;
    std::printf("%s\n", title);
    if (!r.started) {
        std::printf("  the module did not start or is no bias source at address 3  FAIL\n");
        return false;
    }
    const bool complete = r.plotted == points;
    const bool onTime = r.wallMs >= 0 && std::abs(r.wallMs - expected) <= 0.1 * expected;
    const bool smooth = r.longestStall < 50;
    std::printf("  plotted points        %d (module sent %u)%s\n", r.plotted, r.moduleCount,
                complete ? "" : "  FAIL");
    std::printf("  sweep wall time       %.0f ms (expected %.0f ms, %+.1f%%)%s\n", r.wallMs,
                expected, 100.0 * (r.wallMs - expected) / expected,
                onTime ? "" : (judgePace ? "  FAIL" : "  (the module's pace)"));
    std::printf("  longest loop stall    %lld ms%s\n", static_cast<long long>(r.longestStall),
                smooth ? "" : "  FAIL");
    std::printf("  replots               %d, longest %lld ms\n", r.replots,
                static_cast<long long>(r.longestReplot));
    std::printf("  window CPU time       %.0f ms\n", r.cpuMs);
    std::printf("  Start handler         %lld ms (with set-up and 500 ms settling)\n",
                static_cast<long long>(r.handlerMs));
    std::printf("  status                %s\n", qPrintable(r.status));
    return complete && smooth && (onTime || !judgePace);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--paced-module") == 0 &&
        std::strcmp(argv[2], "--port") == 0) {
        QCoreApplication app(argc, argv);
        PacedModule module(quint16(std::atoi(argv[3])));
        return app.exec();
    }

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({
        {"simulator", "Path of lc-simulator.", "PATH",
#ifdef LC_SIMULATOR_PATH
         LC_SIMULATOR_PATH
#endif
        },
        {"points", "Points in the sweep (default 5000).", "N", "5000"},
        {"time-step", "Milliseconds per point (default 1).", "MS", "1"},
    });
    parser.process(app);
    const int points = parser.value("points").toInt();
    const int timeStep = parser.value("time-step").toInt();
    if (points < 2 || timeStep < 1 || parser.value("simulator").isEmpty()) {
        std::fprintf(stderr, "need --simulator, --points >= 2 and --time-step >= 1\n");
        return 2;
    }

    std::printf("lc-sismeasurer-bench: %d points at %d ms\n", points, timeStep);
    const Result simulated = measure(parser.value("simulator"),
                                     {"--listen", "127.0.0.1", "--no-discovery"}, points, timeStep);
    const bool simulatorOk = report("against lc-simulator", simulated, points, timeStep, true);
    const Result paced =
        measure(QCoreApplication::applicationFilePath(), {"--paced-module"}, points, timeStep);
    const bool pacedOk =
        report("against a module on an absolute schedule", paced, points, timeStep, true);
    return simulatorOk && pacedOk ? 0 : 1;
}
