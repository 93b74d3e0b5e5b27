// lc-sismeasurer-bench: whether the IV measurer's plot keeps up with a fast module
// sweep. Runs lc-simulator as its own process, drives the real window through one
// voltage sweep and reports the sweep's wall time, the points plotted and the
// longest stall of the GUI event loop. A measurement, not a test; run it inside
// scripts/netns.sh.
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
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <qcustomplot.h>

#include <cstdio>
#include <cstring>

namespace {

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return probe.serverPort();
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

template <typename T> T* child(QWidget& window, char const* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

} // namespace

int main(int argc, char* argv[])
{
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

    const quint16 port = freePort();
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(parser.value("simulator"),
                    {"--listen", "127.0.0.1", "--port", QString::number(port), "--no-discovery"});
    if (!simulator.waitForStarted(5000) || !waitListening(port, 5000)) {
        std::fprintf(stderr, "lc-simulator did not start\n");
        return 2;
    }

    MainWindow window(nullptr, [] { return QStringList{"127.0.0.1"}; });
    window.setUnitPort(port);
    window.resize(1000, 700);
    window.show();
    pause(200);
    child<QSpinBox>(window, "sbDeviceAddress")->setValue(3);
    child<QPushButton>(window, "pbInitialize")->click();
    if (!(child<QListWidget>(window, "lwActions")->item(2)->flags() & Qt::ItemIsEnabled)) {
        std::fprintf(stderr, "no bias source at address 3\n");
        return 2;
    }
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
    quint32 moduleCount = 0;
    QObject::connect(window.link(), &lcIOInterface::msgReceived,
                     [&](quint8, quint8 command, quint8 length, quint8* data) {
                         if (command != SisBiasSourceDriverM0::sweepFrameCommand)
                             return;
                         if (length == SisBiasSourceDriverM0::sweepPointLength && firstPoint < 0)
                             firstPoint = clock.elapsed();
                         if (length == 4) {
                             endFrame = clock.elapsed();
                             std::memcpy(&moduleCount, data, 4);
                         }
                     });

    // The longest gap between two ticks of a 1 ms timer while the sweep runs.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    qint64 lastTick = -1;
    qint64 longestStall = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0 && firstPoint >= 0 && endFrame < 0)
            longestStall = qMax(longestStall, now - lastTick);
        lastTick = now;
    });
    int replots = 0;
    qint64 replotStarted = 0;
    qint64 longestReplot = 0;
    QCustomPlot* plot = child<QCustomPlot>(window, "wMeasurerPlot");
    QObject::connect(plot, &QCustomPlot::beforeReplot, [&] { replotStarted = clock.elapsed(); });
    QObject::connect(plot, &QCustomPlot::afterReplot, [&] {
        ++replots;
        longestReplot = qMax(longestReplot, clock.elapsed() - replotStarted);
    });

    clock.start();
    ticker.start();
    child<QPushButton>(window, "pbStart")->click();
    const qint64 handler = clock.elapsed();
    ticker.stop();

    const int plotted = plot->graphCount() > 0 ? plot->graph(0)->dataCount() : 0;
    const double expected = double(points) * timeStep;
    const qint64 sweepMs = endFrame >= 0 && firstPoint >= 0 ? endFrame - firstPoint : -1;
    // The first point comes one time step after the start, so the sweep spans it too.
    const double wall = double(sweepMs + timeStep);
    const bool complete = plotted == points;
    const bool onTime = sweepMs >= 0 && qAbs(wall - expected) <= 0.1 * expected;
    const bool smooth = longestStall < 50;

    std::printf("lc-sismeasurer-bench: %d points at %d ms\n", points, timeStep);
    std::printf("  plotted points        %d (module sent %u)%s\n", plotted, moduleCount,
                complete ? "" : "  FAIL");
    std::printf("  sweep wall time       %.0f ms (expected %.0f ms, %+.1f%%)%s\n", wall, expected,
                100.0 * (wall - expected) / expected, onTime ? "" : "  FAIL");
    std::printf("  longest loop stall    %lld ms%s\n", static_cast<long long>(longestStall),
                smooth ? "" : "  FAIL");
    std::printf("  replots               %d, longest %lld ms\n", replots,
                static_cast<long long>(longestReplot));
    std::printf("  Start handler         %lld ms (with set-up and 500 ms settling)\n",
                static_cast<long long>(handler));
    std::printf("  status                %s\n",
                qPrintable(child<QLabel>(window, "lbMeasurerStatus")->text()));

    window.close();
    simulator.terminate();
    simulator.waitForFinished(3000);
    return complete && onTime && smooth ? 0 : 1;
}
