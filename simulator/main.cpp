#include "simoptions.h"
#include "simunit.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    // Only async-signal-safe work here; the event loop picks the byte up.
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[0], &byte, 1);
    (void)written;
}

// SIGINT and SIGTERM end the event loop, so the unit shuts down cleanly.
bool quitOnTerminationSignals(QCoreApplication* app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [notifier] {
        notifier->setEnabled(false);
        char byte;
        const ssize_t got = ::read(signalPipe[1], &byte, 1);
        (void)got;
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lc-simulator"));
    std::signal(SIGPIPE, SIG_IGN);

    SimOptions options;
    QString error;
    if (!options.parse(QCoreApplication::arguments(), &error)) {
        std::fprintf(stderr, "lc-simulator: %s\n", qUtf8Printable(error));
        return 2;
    }
    if (options.helpRequested) {
        std::printf("%s", qUtf8Printable(options.helpText));
        return 0;
    }
    // A rule from QT_LOGGING_RULES still wins over this one.
    if (options.server.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("lc.simulator.debug=true"));
    SimUnit unit;
    if (!unit.start(options, &error)) {
        std::fprintf(stderr, "lc-simulator: %s\n", qUtf8Printable(error));
        return 1;
    }
    if (!quitOnTerminationSignals(&app))
        std::fprintf(stderr, "lc-simulator: cannot catch SIGINT/SIGTERM; stop with SIGKILL\n");
    for (const QString& line : unit.summary())
        std::printf("%s\n", qUtf8Printable(line));
    std::fflush(stdout);
    return app.exec();
}
