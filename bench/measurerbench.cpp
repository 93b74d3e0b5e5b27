// lc-measurer-bench: what the measurer's own handlers add to the module round trips,
// timed against lc-simulator on loopback. A measurement, not a test.
#include "benchsupport.h"
#include "commondriver.h"
#include "mainwindow.h"
#include "sspddriverm0.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QListWidget>
#include <QLoggingCategory>
#include <QProcess>
#include <QSpinBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <qcustomplot.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#ifndef LC_SIMULATOR_PATH
#define LC_SIMULATOR_PATH ""
#endif

namespace {

constexpr int calls = 300;
constexpr int warmUp = 30;
constexpr double tickGoalMs = 5;
constexpr double pointGoalMs = 10;
constexpr int sweepPoints = 20;
constexpr double sweepTimeConst = 0.05;

// Median milliseconds of `action`, each run followed by the queued events it left
// (the plot's coalesced redraw), after a few warm-up runs.
double medianMs(std::function<void()> const& action)
{
    std::vector<double> times;
    for (int i = 0; i < warmUp + calls; ++i) {
        QElapsedTimer clock;
        clock.start();
        action();
        QCoreApplication::processEvents();
        if (i >= warmUp)
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

// Sleeps in the event loop until `done` or the time-out; polls once a millisecond.
bool waitFor(std::function<bool()> const& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

void report(char const* what, double handlerMs, double roundTripMs, double goalMs)
{
    double const extra = handlerMs - roundTripMs;
    std::printf("  %-22s handler %7.3f ms  round trip %7.3f ms  extra %7.3f ms  ratio %5.2f  "
                "goal extra < %.0f ms: %s\n",
                what, handlerMs, roundTripMs, extra, handlerMs / roundTripMs, goalMs,
                extra < goalMs ? "met" : "MISSED");
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times lc-measurer's refresh, counter and sweep handlers."));
    parser.addHelpOption();
    QCommandLineOption const simulatorOption(
        QStringLiteral("simulator"), QStringLiteral("The lc-simulator executable."),
        QStringLiteral("path"), QStringLiteral(LC_SIMULATOR_PATH));
    parser.addOption(simulatorOption);
    parser.process(app);
    QLoggingCategory::setFilterRules(QStringLiteral("lc.measurer.debug=false"));

    // The window writes its settings; keep them out of the user's store.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    QProcess simulator;
    quint16 port = 0;
    QString error;
    if (!startSimulator(simulator, parser.value(simulatorOption), &port, nullptr, &error)) {
        std::printf("simulator not started: %s\n", qPrintable(error));
        return 1;
    }

    int status = 0;
    {
        // No broadcast: the picker gets the simulator's address directly.
        MainWindow window(nullptr, [] { return QStringList{QStringLiteral("127.0.0.1")}; });
        window.unitPort = port;
        // Shown, so that every redraw really paints.
        window.show();
        window.findChild<QSpinBox*>("sbDeviceAddress")->setValue(1);
        window.findChild<QAbstractButton*>("pbInitialize")->click();
        auto* driver = qobject_cast<SspdDriverM0*>(window.driver());
        auto* pages = window.findChild<QListWidget*>("lwActions");
        if (!driver || window.moduleKind() != MainWindow::SspdM0) {
            std::printf("no SSPD M0 at address 1 of the simulator\n");
            stopProcess(simulator);
            return 1;
        }
        std::printf("lc-measurer handlers against lc-simulator on 127.0.0.1:%d, SSPD M0 at 1,\n"
                    "median of %d calls after %d warm-up\n\n",
                    port, calls, warmUp);

        // (a) the control page's refresh tick against one data read.
        pages->setCurrentRow(1);
        double const dataTrip = medianMs([&] { driver->data()->getValueSync(nullptr, 5); });
        double const refresh = medianMs([&] { window.updateData(); });
        report("refresh tick", refresh, dataTrip, tickGoalMs);

        // (b) the counter tick with a full 30 s strip chart, against one counts read.
        pages->setCurrentRow(2);
        QCPGraph* strip = window.findChild<QCustomPlot*>("wCounterPlot")->graph(0);
        double const now = double(QDateTime::currentMSecsSinceEpoch()) / 1000;
        for (int i = 290; i > 0; --i)
            strip->addData(now - i * 0.1, 1000 + i);
        double const countsTrip = medianMs([&] { driver->counts()->getValueSync(nullptr, 5); });
        double const counter = medianMs([&] { window.updateCountsGraph(); });
        report("counter tick", counter, countsTrip, tickGoalMs);
        pages->setCurrentRow(0);

        // (c) a bias sweep: time per point beyond its two counter periods.
        driver->timeConst()->setValueSync(float(sweepTimeConst), nullptr, 5);
        driver->cmpReferenceLevel()->setValueSync(0.1f, nullptr, 5);
        pages->setCurrentRow(3);
        window.findChild<QDoubleSpinBox*>("sbStart")->setValue(1);
        window.findChild<QDoubleSpinBox*>("sbStep")->setValue(0.5);
        window.findChild<QDoubleSpinBox*>("sbStop")->setValue(1 + 0.5 * (sweepPoints - 1));
        window.findChild<QDoubleSpinBox*>("sbTrigger")->setValue(99);
        window.findChild<QAbstractButton*>("pbStart")
            ->click(); // returns with the first point armed
        QElapsedTimer sweep;
        sweep.start();
        if (!waitFor([&] { return !window.isSweepRunning(); }, 60000)) {
            std::printf("  sweep did not end\n");
            status = 1;
        } else {
            double const perPoint = double(sweep.nsecsElapsed()) / 1e6 / sweepPoints;
            double const periods = 2000 * sweepTimeConst;
            double const extra = perPoint - periods;
            int const plotted =
                window.findChild<QCustomPlot*>("wMeasurerPlot")->graph(0)->dataCount();
            std::printf("  sweep point            %7.3f ms  two counter periods %7.3f ms  extra "
                        "%7.3f ms  ratio %5.3f  goal extra < %.0f ms: %s  (%d points)\n",
                        perPoint, periods, extra, perPoint / periods, pointGoalMs,
                        extra < pointGoalMs ? "met" : "MISSED", plotted);
        }
    }
    stopProcess(simulator);
    return status;
}
