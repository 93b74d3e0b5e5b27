// lc-visa-bench: the reference multimeter path against the simulated meter.
// (a) one singleRead() through libvisa32 against the same query over a plain
//     blocking socket, medians taken in the same run (goal: ratio <= 1.2);
// (b) CPU share of the process while it waits for a slow reading (goal <= 2 %).
// It exits 0 once the figures could be taken; 1 means something could not be
// measured at all.

#include "benchsupport.h"
#include "cagilent34401avisainterface.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#ifndef LC_SIMULATOR_PATH
#define LC_SIMULATOR_PATH ""
#endif
#ifndef LC_VISA_LIBRARY
#define LC_VISA_LIBRARY "visa32"
#endif

namespace {

constexpr double ratioGoal = 1.2;
constexpr double cpuShareGoal = 0.02;
constexpr int warmUp = 20;
constexpr int readings = 300;
constexpr int slowDelayMs = 3000;
const char command[] = "MEAS:VOLT:DC? DEF,DEF\r\n";

// Starts the simulator with the meter on the sensor voltage of a temperature
// driver and returns the meter's port, 0 on failure.
quint16 startMeter(QProcess& process, const QString& path, const QStringList& extra)
{
    if (!QFileInfo(path).isExecutable())
        return 0;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(path,
                  QStringList{"--listen", "127.0.0.1", "--port", "0", "--no-discovery", "--module",
                              "6:LC4TDM0", "--meter", "6:voltage", "--meter-port", "0"} +
                      extra);
    if (!process.waitForStarted(3000))
        return 0;
    const QRegularExpression line("reference meter on TCP port (\\d+)");
    QByteArray output;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000 && process.state() == QProcess::Running) {
        const QRegularExpressionMatch match = line.match(QString::fromLocal8Bit(output));
        if (match.hasMatch())
            return quint16(match.captured(1).toUInt());
        process.waitForReadyRead(100);
        output += process.readAll();
    }
    return 0;
}

// The least a client can do: one blocking socket, one send, receive up to the
// line feed, convert.
class PlainMeterClient
{
public:
    explicit PlainMeterClient(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~PlainMeterClient() { ::close(m_fd); }
    bool connected() const { return m_connected; }
    bool read(double* value)
    {
        if (::send(m_fd, command, sizeof command - 1, MSG_NOSIGNAL) != ssize_t(sizeof command - 1))
            return false;
        char reply[256];
        size_t got = 0;
        while (got < sizeof reply - 1) {
            const ssize_t n = ::recv(m_fd, reply + got, sizeof reply - 1 - got, 0);
            if (n <= 0)
                return false;
            got += size_t(n);
            if (reply[got - 1] == '\n')
                break;
        }
        reply[got] = '\0';
        *value = std::strtod(reply, nullptr);
        return true;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

double microseconds(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e3;
}

const char* verdict(bool measured, bool met)
{
    return !measured ? "n/a" : (met ? "PASS" : "MISS");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Times the reference multimeter path through libvisa32.");
    parser.addHelpOption();
    parser.addOption({"simulator", "lc-simulator to start.", "PATH", LC_SIMULATOR_PATH});
    parser.addOption({"visa", "VISA library to load.", "PATH", LC_VISA_LIBRARY});
    parser.process(app);
    const QString simulatorPath = parser.value("simulator");
    const QStringList library{parser.value("visa")};

    // (a) Readings at the shortest integration, so that the transport shows.
    double visaUs = NAN, plainUs = NAN;
    {
        QProcess simulator;
        const quint16 port = startMeter(simulator, simulatorPath, {"--meter-integration", "1"});
        cAgilent34401aVisaInterface meter(library);
        meter.setVisaDeviceName(QString("TCPIP0::127.0.0.1::%1::SOCKET").arg(port));
        PlainMeterClient plain(port);
        std::vector<double> visaTimes, plainTimes;
        bool ok = port != 0 && meter.isVisaInited() && plain.connected();
        for (int i = 0; ok && i < warmUp + readings; ++i) {
            // Alternate the two, so that drifts of the machine hit both alike.
            QElapsedTimer clock;
            clock.start();
            meter.singleRead(&ok);
            const double visa = microseconds(clock);
            double value = 0;
            clock.restart();
            ok = ok && plain.read(&value);
            const double bare = microseconds(clock);
            if (i >= warmUp) {
                visaTimes.push_back(visa);
                plainTimes.push_back(bare);
            }
        }
        if (ok) {
            visaUs = median(visaTimes);
            plainUs = median(plainTimes);
        } else {
            std::printf("(a) not measured: simulator, library or readings failed\n");
        }
        stopProcess(simulator);
    }
    const double ratio = visaUs / plainUs;
    std::printf("(a) one reading, median of %d\n", readings);
    std::printf("  singleRead through libvisa32  %8.1f us\n", visaUs);
    std::printf("  plain blocking socket         %8.1f us\n", plainUs);
    std::printf("  ratio                         %8.3f     goal <= %.1f\n", ratio, ratioGoal);

    // (b) A reading the meter answers late: the wait must sleep.
    double share = NAN, wallMs = NAN, cpuMs = NAN;
    {
        QProcess simulator;
        const quint16 port =
            startMeter(simulator, simulatorPath, {"--meter-delay", QString::number(slowDelayMs)});
        cAgilent34401aVisaInterface meter(library);
        meter.setVisaDeviceName(QString("TCPIP0::127.0.0.1::%1::SOCKET").arg(port));
        bool ok = port != 0 && meter.isVisaInited() && meter.initialize();
        if (ok) {
            QElapsedTimer clock;
            clock.start();
            const double cpuBefore = processCpuMs();
            meter.singleRead(&ok);
            cpuMs = processCpuMs() - cpuBefore;
            wallMs = double(clock.nsecsElapsed()) / 1e6;
            share = cpuMs / wallMs;
        }
        if (!ok)
            std::printf("(b) not measured: the slow reading failed\n");
        stopProcess(simulator);
    }
    std::printf("\n(b) waiting for a reading answered %d ms late\n", slowDelayMs);
    std::printf("  process CPU                   %8.2f ms\n", cpuMs);
    std::printf("  wall                          %8.1f ms\n", wallMs);
    std::printf("  CPU share                     %8.3f %%   goal <= %.0f %%\n", 100 * share,
                100 * cpuShareGoal);

    std::printf("\nsummary\n");
    std::printf("  (a) reading ratio             %8.3f  <= %4.1f   %s\n", ratio, ratioGoal,
                verdict(!std::isnan(ratio), ratio <= ratioGoal));
    std::printf("  (b) CPU share while waiting   %7.3f%%  <= %3.0f%%   %s\n", 100 * share,
                100 * cpuShareGoal, verdict(!std::isnan(share), share <= cpuShareGoal));
    return std::isnan(ratio) && std::isnan(share) ? 1 : 0;
}
