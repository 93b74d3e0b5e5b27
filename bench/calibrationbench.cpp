// lc-calibration-bench: one calibration run of an SSPD driver M0 in I mode with
// its waits at full length, against lc-simulator in its own process and its
// reference meter through libvisa32.
// (a) the run's wall time against the sum of the waits it prescribes plus the
//     meter's integration time for every reading (goal: ratio <= 1.05);
// (b) the CPU share of this process, which runs the calibrator, over the run
//     (goal <= 5 %).
// It exits 0 once the figures could be taken; 1 means the run could not be made.

#include "benchsupport.h"
#include "cagilent34401avisainterface.h"
#include "lc4sdm0calibrator.h"
#include "lctcpsocketiointerface.h"
#include "sspddriverm0.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cmath>
#include <cstdio>

#ifndef LC_SIMULATOR_PATH
#define LC_SIMULATOR_PATH ""
#endif
#ifndef LC_VISA_LIBRARY
#define LC_VISA_LIBRARY "visa32"
#endif

namespace {

constexpr double ratioGoal = 1.05;
constexpr double cpuShareGoal = 0.05;
constexpr int verificationPoints = CalibrationBounds::verificationPoints;

// The waits a run prescribes, in ms: five short pauses and the settling at 0
// before the sweep; per point the settling, the pause after the readings and the
// one after plotting; then the pause before the outlier search, one per point
// replotted and one after, the pause before the check, the settling at the
// default value and one pause per checking reading; the settling at each set-point
// of the verification, as found and as left.
double prescribedWaitMs(int points, int checks)
{
    const int kept = points > 9 ? points - points / 10 : points;
    return 5 * 10 + 2000 + 10 + points * (500.0 + 20 + 10) + 10 + kept * 1 + 1 + 10 + 2000 +
           checks * 10 + 2 * verificationPoints * double(CommonCalibrator::verificationSettleMs);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Times one calibration run against the simulator.");
    parser.addHelpOption();
    parser.addOption({"simulator", "lc-simulator to start.", "PATH", LC_SIMULATOR_PATH});
    parser.addOption({"visa", "VISA library to load.", "PATH", LC_VISA_LIBRARY});
    parser.addOption({"points", "Points of the sweep.", "N", "200"});
    parser.addOption(
        {"meter-integration", "The meter's integration time per reading.", "MS", "20"});
    parser.process(app);
    const int points = qMax(1, parser.value("points").toInt());
    const int integrationMs = qMax(1, parser.value("meter-integration").toInt());
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    QProcess simulator;
    quint16 port = 0;
    quint16 meterPort = 0;
    QString error;
    if (!startSimulatorWithMeter(simulator, parser.value("simulator"),
                                 {"--module", "1:LC4SDM0", "--meter", "1:current",
                                  "--meter-integration", QString::number(integrationMs)},
                                 &port, &meterPort, &error)) {
        std::printf("not measured: %s\n", qPrintable(error));
        return 1;
    }
    lcTcpSocketIOInterface link;
    link.setAddress(QHostAddress(QHostAddress::LocalHost));
    link.setPort(port);
    SspdDriverM0 driver;
    driver.setIOInterface(&link);
    driver.setDevAddress(1);
    cAgilent34401aVisaInterface meter(QStringList{parser.value("visa")});
    meter.setVisaDeviceName(QString("TCPIP0::127.0.0.1::%1::SOCKET").arg(meterPort));
    LC4SDM0Calibrator calibrator;
    calibrator.setDriver(&driver);
    calibrator.setAgilent(&meter);
    calibrator.setModeIndex(1);
    calibrator.setPointCount(points);
    QString last;
    QObject::connect(&calibrator, &CommonCalibrator::message,
                     [&last](QString const& text) { last = text; });

    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = processCpuMs();
    calibrator.start();
    const double cpuMs = processCpuMs() - cpuBefore;
    const double wallMs = double(clock.nsecsElapsed()) / 1e6;
    stopProcess(simulator);
    if (last != QLatin1String("Calibration completed")) {
        std::printf("not measured: the run ended with \"%s\"\n", qPrintable(last));
        return 1;
    }

    const int checks = calibrator.checkingPointCount();
    const double waitsMs = prescribedWaitMs(points, checks);
    const int reads =
        points + checks + 2 * verificationPoints * CommonCalibrator::verificationReadings;
    const double integrationTotalMs = double(reads) * integrationMs;
    const double ratio = wallMs / (waitsMs + integrationTotalMs);
    const double share = cpuMs / wallMs;
    std::printf("(a) a run of %d points, the meter integrating %d ms per reading\n", points,
                integrationMs);
    std::printf("  prescribed waits              %10.1f ms\n", waitsMs);
    std::printf("  meter integration, %3d reads  %10.1f ms\n", reads, integrationTotalMs);
    std::printf("  wall time of the run          %10.1f ms\n", wallMs);
    std::printf("  ratio                         %10.4f     goal <= %.2f\n", ratio, ratioGoal);
    std::printf("\n(b) CPU of this process during the run\n");
    std::printf("  process CPU                   %10.1f ms\n", cpuMs);
    std::printf("  CPU share                     %10.3f %%   goal <= %.0f %%\n", 100 * share,
                100 * cpuShareGoal);
    std::printf("\nsummary\n");
    std::printf("  (a) wall time ratio           %8.4f  <= %4.2f   %s\n", ratio, ratioGoal,
                ratio <= ratioGoal ? "PASS" : "MISS");
    std::printf("  (b) CPU share                 %7.3f%%  <= %3.0f%%   %s\n", 100 * share,
                100 * cpuShareGoal, share <= cpuShareGoal ? "PASS" : "MISS");
    return 0;
}
