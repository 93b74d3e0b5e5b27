// lc-bench: measures the driver library against lc-simulator and a local burst
// server, and prints each figure next to its goal. It always exits 0 once the
// figures could be taken; 1 means something could not be measured at all.

#include "benchdrivers.h"
#include "benchsupport.h"
#include "burstserver.h"
#include "lcframereader.h"
#include "lctcpsocketiointerface.h"
#include "plainclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#ifndef LC_SIMULATOR_PATH
#define LC_SIMULATOR_PATH ""
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr double roundTripGoal = 1.5;
constexpr double cpuShareGoal = 0.05;
constexpr double linearityGoal = 12.0;

constexpr quint8 moduleAddress = 1;
constexpr quint8 silentAddress = 20;
constexpr int warmUpCalls = 200;
constexpr int blocks = 4;
constexpr int callsPerBlock = 500;
constexpr int silentAttempts = 5;

constexpr quint8 burstAddress = 3;
constexpr quint8 burstCode = 0x20;
constexpr int burstPayload = 8;
constexpr int burstTimeOutMs = 20000;
// A slow link gets fewer runs, so that a fault does not stretch the run for minutes.
constexpr int burstSeriesBudgetMs = 5000;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

const char* verdict(bool measured, bool met)
{
    return !measured ? "n/a" : (met ? "PASS" : "MISS");
}

bool connectLink(lcTcpSocketIOInterface& link, quint16 port)
{
    link.setAddress(QHostAddress::LocalHost);
    link.setPort(port);
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (link.initialize())
            return true;
    }
    return false;
}

struct RoundTrips
{
    bool measured = false;
    double plainUs = NAN;
    double driverUs = NAN;
    int driverFailures = 0;
    double ratio() const { return driverUs / plainUs; }
};

// Blocks of both clients alternate so that drift of the machine hits both alike.
RoundTrips measureRoundTrips(quint16 port, FloatProbeDriver& driver, QProcess& simulator)
{
    RoundTrips result;
    PlainClient plain;
    if (!plain.connectTo(port)) {
        std::printf("  plain client cannot connect to the simulator\n");
        return result;
    }
    const QByteArray frame = lcEncodeFrame(moduleAddress, FloatProbeDriver::probeCode, 0, nullptr);
    bool ok = false;
    driver.value()->getValueSync(&ok, 1);
    if (!ok || !plain.roundTrip(frame)) {
        std::printf("  no answer from address %d to command 0x%02X\n", moduleAddress,
                    FloatProbeDriver::probeCode);
        return result;
    }
    for (int i = 0; i < warmUpCalls; ++i) {
        plain.roundTrip(frame);
        driver.value()->getValueSync(&ok, 1);
    }

    std::vector<double> plainSamples;
    std::vector<double> driverSamples;
    for (int block = 0; block < blocks; ++block) {
        for (int i = 0; i < callsPerBlock; ++i) {
            const auto start = Clock::now();
            const bool answered = plain.roundTrip(frame);
            const auto end = Clock::now();
            if (!answered) {
                std::printf("  plain client lost the connection\n");
                return result;
            }
            plainSamples.push_back(microseconds(end - start));
        }
        for (int i = 0; i < callsPerBlock; ++i) {
            const auto start = Clock::now();
            driver.value()->getValueSync(&ok, 1);
            const auto end = Clock::now();
            if (!ok)
                ++result.driverFailures;
            driverSamples.push_back(microseconds(end - start));
        }
        // Drops whatever the simulator printed meanwhile.
        simulator.readAll();
    }
    result.measured = true;
    result.plainUs = median(plainSamples);
    result.driverUs = median(driverSamples);
    return result;
}

struct SilentWait
{
    bool measured = false;
    bool answered = false;
    double cpuMs = NAN;
    double wallMs = NAN;
    double share() const { return cpuMs / wallMs; }
};

SilentWait measureSilentWait(lcTcpSocketIOInterface& link)
{
    FloatProbeDriver driver;
    driver.setDevAddress(silentAddress);
    driver.setIOInterface(&link);
    SilentWait result;
    const double cpuStart = processCpuMs();
    const auto start = Clock::now();
    driver.value()->getValueSync(&result.answered, silentAttempts);
    const auto end = Clock::now();
    result.cpuMs = processCpuMs() - cpuStart;
    result.wallMs = microseconds(end - start) / 1e3;
    result.measured = true;
    return result;
}

struct Burst
{
    bool started = false;
    bool complete = false;
    qint64 frames = 0;
    qint64 received = 0;
    qint64 reads = 0;
    qint64 bytes = 0;
    double seconds = NAN;
};

QByteArray burstBytes(qint64 frames)
{
    const QByteArray payload(burstPayload, char(0x5A));
    const quint8* data = reinterpret_cast<const quint8*>(payload.constData());
    return lcEncodeFrame(burstAddress, burstCode, burstPayload, data).repeated(int(frames));
}

// One trigger frame, answered by the whole burst; timed until the driver has it all.
Burst runBurst(qint64 frames, const QByteArray& bytes)
{
    Burst result;
    result.frames = frames;
    result.bytes = bytes.size();
    BurstServer server(bytes);
    if (server.port() == 0)
        return result;
    lcTcpSocketIOInterface link;
    if (!connectLink(link, server.port()))
        return result;
    CountingDriver driver(burstCode);
    driver.setDevAddress(burstAddress);
    driver.setIOInterface(&link);

    // Counts the socket's reads from the kernel, to show the burst came in large chunks.
    if (auto* socket = link.findChild<QTcpSocket*>())
        QObject::connect(socket, &QTcpSocket::readyRead, [&result] { ++result.reads; });

    QEventLoop loop;
    driver.expect(frames, &loop);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(burstTimeOutMs);

    const auto start = Clock::now();
    driver.value()->getValue();
    result.started = true;
    loop.exec();
    const auto end = Clock::now();

    result.received = driver.received();
    result.complete = result.received == frames;
    result.seconds = std::chrono::duration<double>(end - start).count();
    return result;
}

struct BurstSeries
{
    bool complete = false;
    // The link took longer than the guard: a measured failure, not a missing figure.
    bool timedOut = false;
    qint64 frames = 0;
    int runs = 0;
    double medianSeconds = NAN;
    double fastestSeconds = NAN;
    double readsPerRun = 0;
    double bytesPerRead = 0;
};

// A burst of 10^5 frames takes only milliseconds, so single runs are at the mercy
// of the scheduler; the median of several is steady enough for a ratio.
BurstSeries burstSeries(qint64 frames, int runs)
{
    BurstSeries series;
    series.frames = frames;
    series.runs = runs;
    const QByteArray bytes = burstBytes(frames);
    std::vector<double> seconds;
    qint64 reads = 0;
    QElapsedTimer spent;
    spent.start();
    for (int run = 0; run < runs && (run == 0 || spent.elapsed() < burstSeriesBudgetMs); ++run) {
        const Burst burst = runBurst(frames, bytes);
        if (!burst.complete) {
            series.timedOut = burst.started;
            std::printf("  %lld frames: %s, %lld arrived\n", static_cast<long long>(frames),
                        burst.started ? "timed out" : "could not start",
                        static_cast<long long>(burst.received));
            return series;
        }
        seconds.push_back(burst.seconds);
        reads += burst.reads;
    }
    series.complete = true;
    series.runs = int(seconds.size());
    series.medianSeconds = median(seconds);
    series.fastestSeconds = *std::min_element(seconds.begin(), seconds.end());
    series.readsPerRun = double(reads) / series.runs;
    series.bytesPerRead = reads > 0 ? double(bytes.size()) * series.runs / double(reads) : 0.0;
    return series;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lc-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the driver library against lc-simulator on loopback."));
    parser.addHelpOption();
    const QCommandLineOption simulatorOption(
        QStringLiteral("simulator"), QStringLiteral("The lc-simulator executable."),
        QStringLiteral("path"), QStringLiteral(LC_SIMULATOR_PATH));
    parser.addOption(simulatorOption);
    parser.process(app);

    RoundTrips roundTrips;
    SilentWait silent;

    QProcess simulator;
    quint16 port = 0;
    QString banner;
    QString error;
    const QString path = parser.value(simulatorOption);
    if (startSimulator(simulator, path, &port, &banner, &error)) {
        std::printf("simulator %s on 127.0.0.1:%d\n", qPrintable(path), port);
        for (const QString& line : banner.split('\n'))
            std::printf("  | %s\n", qPrintable(line));
        lcTcpSocketIOInterface link;
        if (connectLink(link, port)) {
            FloatProbeDriver driver;
            driver.setDevAddress(moduleAddress);
            driver.setIOInterface(&link);

            std::printf("\n(a) round trip, address %d command 0x%02X, %d calls each after %d "
                        "warm-up\n",
                        moduleAddress, FloatProbeDriver::probeCode, blocks * callsPerBlock,
                        warmUpCalls);
            std::fflush(stdout);
            roundTrips = measureRoundTrips(port, driver, simulator);
            if (roundTrips.measured) {
                std::printf("  plain blocking socket       median %8.1f us\n", roundTrips.plainUs);
                std::printf("  getValueSync(&ok, 1)        median %8.1f us   (%d failed)\n",
                            roundTrips.driverUs, roundTrips.driverFailures);
                std::printf("  ratio                              %8.2f      goal <= %.2f\n",
                            roundTrips.ratio(), roundTripGoal);
            }

            std::printf("\n(b) getValueSync(&ok, %d) to silent address %d\n", silentAttempts,
                        silentAddress);
            std::fflush(stdout);
            silent = measureSilentWait(link);
            std::printf("  outcome                     %s\n",
                        silent.answered ? "answered (unexpected)" : "no answer, as expected");
            std::printf("  process CPU                 %8.1f ms\n", silent.cpuMs);
            std::printf("  wall                        %8.1f ms   (%.1f ms per attempt)\n",
                        silent.wallMs, silent.wallMs / silentAttempts);
            std::printf("  CPU share                   %8.2f %%    goal <= %.0f %%\n",
                        100 * silent.share(), 100 * cpuShareGoal);
        } else {
            std::printf("cannot connect to the simulator on port %d\n", port);
        }
        stopProcess(simulator);
    } else {
        std::printf("simulator not started: %s\n(a) and (b) skipped\n", qPrintable(error));
    }

    std::printf("\n(c) reassembly of one burst of %d-byte frames\n",
                burstPayload + lcFrameReader::headerSize);
    std::fflush(stdout);
    const BurstSeries small = burstSeries(100000, 25);
    const BurstSeries large = small.complete ? burstSeries(1000000, 7) : BurstSeries();
    for (const BurstSeries& series : {small, large}) {
        if (!series.complete)
            continue;
        std::printf("  %8lld frames  median of %2d %7.1f ms  %10.0f frames/s  (fastest %.1f ms, "
                    "%.0f reads of %.0f bytes)\n",
                    static_cast<long long>(series.frames), series.runs, series.medianSeconds * 1e3,
                    double(series.frames) / series.medianSeconds, series.fastestSeconds * 1e3,
                    series.readsPerRun, series.bytesPerRead);
    }
    const bool burstTimedOut = small.timedOut || large.timedOut;
    const bool burstsMeasured = (small.complete && large.complete) || burstTimedOut;
    const double linearity = large.medianSeconds / small.medianSeconds;
    if (small.complete && large.complete)
        std::printf("  time(10^6) / time(10^5)            %8.2f      goal <= %.0f\n", linearity,
                    linearityGoal);
    const bool everythingMeasured = roundTrips.measured && silent.measured && burstsMeasured;

    std::printf("\nsummary\n");
    std::printf("  (a) round-trip ratio        %8.2f  <= %5.2f   %s\n", roundTrips.ratio(),
                roundTripGoal, verdict(roundTrips.measured, roundTrips.ratio() <= roundTripGoal));
    std::printf("  (b) CPU share while waiting %7.2f%%  <= %4.0f%%   %s\n", 100 * silent.share(),
                100 * cpuShareGoal, verdict(silent.measured, silent.share() <= cpuShareGoal));
    std::printf("  (c) burst time ratio        %8.2f  <= %5.0f   %s\n", linearity, linearityGoal,
                verdict(burstsMeasured, !burstTimedOut && linearity <= linearityGoal));
    return everythingMeasured ? 0 : 1;
}
