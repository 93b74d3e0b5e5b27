#include "ctlinterrupt.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int writeEnd = -1;

void onSignal(int number)
{
    // Only async-signal-safe calls here; errno is the interrupted code's.
    const int saved = errno;
    const char byte = char(number);
    if (writeEnd >= 0 && ::write(writeEnd, &byte, 1) < 0) {
        // A full pipe already holds a signal: nothing is lost.
    }
    errno = saved;
}

} // namespace

CtlInterrupt::CtlInterrupt(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, m_pipe) != 0)
        return;
    for (int fd : m_pipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    writeEnd = m_pipe[0];
    m_notifier = new QSocketNotifier(m_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CtlInterrupt::readPipe);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

CtlInterrupt::~CtlInterrupt()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    writeEnd = -1;
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void CtlInterrupt::readPipe()
{
    char bytes[16];
    const ssize_t count = ::read(m_pipe[1], bytes, sizeof(bytes));
    if (count <= 0)
        return;
    const bool first = m_signal == 0;
    if (first)
        m_signal = bytes[0];
    wake();
    if (first)
        emit arrived(m_signal);
}

CtlInterrupt::WaitEnd CtlInterrupt::waitFor(std::function<bool()> const& done, int ms,
                                            Signals signalRule)
{
    const bool endOnSignal = signalRule == Signals::EndTheWait;
    if (done && done())
        return WaitEnd::Done;
    if (endOnSignal && interrupted())
        return WaitEnd::Interrupted;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; a settling time is a lower bound.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(qMax(0, ms));
    QEventLoop* const outer = m_loop;
    m_loop = &loop;
    WaitEnd end = WaitEnd::Expired;
    for (;;) {
        if (done && done()) {
            end = WaitEnd::Done;
            break;
        }
        if (endOnSignal && interrupted()) {
            end = WaitEnd::Interrupted;
            break;
        }
        if (!timer.isActive())
            break;
        if (loop.exec() < 0) {
            end = WaitEnd::Interrupted;
            break;
        }
    }
    m_loop = outer;
    return end;
}

void CtlInterrupt::wake()
{
    if (m_loop)
        m_loop->quit();
}
