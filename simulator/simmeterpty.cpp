#include "simmeterpty.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

SimMeterPty::SimMeterPty(QObject* parent) : QObject(parent) {}

SimMeterPty::~SimMeterPty()
{
    if (!m_link.isEmpty())
        QFile::remove(m_link);
    if (m_terminal >= 0)
        ::close(m_terminal);
    if (m_master >= 0)
        ::close(m_master);
}

bool SimMeterPty::open(const QString& link, QString* error)
{
    const QFileInfo existing(link);
    if (existing.exists() && !existing.isSymLink()) {
        *error = QStringLiteral("--meter-pty %1: a file that is no symbolic link is in the way")
                     .arg(link);
        return false;
    }
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const char* name = m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0
                           ? ::ptsname(m_master)
                           : nullptr;
    if (name)
        m_terminal = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios line{};
    if (m_terminal < 0 || ::tcgetattr(m_terminal, &line) != 0) {
        *error = QStringLiteral("cannot open a pseudo-terminal: %1").arg(std::strerror(errno));
        return false;
    }
    // Raw until a client sets its own line: an echo would send answers back as commands.
    ::cfmakeraw(&line);
    ::tcsetattr(m_terminal, TCSANOW, &line);
    m_terminalPath = QString::fromLocal8Bit(name);
    QFile::remove(link);
    if (!QFile::link(m_terminalPath, link)) {
        *error = QStringLiteral("--meter-pty %1: cannot make the link").arg(link);
        return false;
    }
    m_link = link;
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimMeterPty::readAvailable);
    return true;
}

void SimMeterPty::readAvailable()
{
    char buffer[4096];
    const ssize_t got = ::read(m_master, buffer, sizeof buffer);
    if (got > 0)
        emit received(QByteArray(buffer, int(got)));
}

void SimMeterPty::send(const QByteArray& bytes)
{
    // Answers are short; a terminal side that nobody reads loses what does not fit.
    const ssize_t written = ::write(m_master, bytes.constData(), size_t(bytes.size()));
    (void)written;
}
