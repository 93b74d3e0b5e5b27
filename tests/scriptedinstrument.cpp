#include "scriptedinstrument.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int listenOnLoopback(int backlog, quint16* port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener, backlog);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return listener;
}

ScriptedInstrument::ScriptedInstrument(QList<QByteArray> replies) : m_replies(std::move(replies))
{
    m_listener = listenOnLoopback(1, &m_port);
    if (::pipe(m_wake) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_thread = std::thread([this] { serve(); });
}

ScriptedInstrument::~ScriptedInstrument()
{
    const char byte = 0;
    if (::write(m_wake[1], &byte, 1) != 1)
        ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

QByteArray ScriptedInstrument::resource() const
{
    return "TCPIP0::127.0.0.1::" + QByteArray::number(m_port) + "::SOCKET";
}

QByteArray ScriptedInstrument::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

bool ScriptedInstrument::closedByClient() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

void ScriptedInstrument::serve()
{
    pollfd waitAccept[2] = {{m_listener, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(waitAccept, 2, -1) <= 0 || waitAccept[1].revents)
        return;
    const int connection = ::accept(m_listener, nullptr, nullptr);
    QByteArray line;
    for (;;) {
        pollfd entries[2] = {{connection, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) <= 0 || entries[1].revents)
            break;
        char buffer[512];
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
            break;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.append(buffer, int(got));
        }
        line.append(buffer, int(got));
        while (line.contains('\n')) {
            line.remove(0, line.indexOf('\n') + 1);
            const QByteArray reply = m_replies.isEmpty() ? QByteArray() : m_replies.takeFirst();
            if (!reply.isNull())
                ::send(connection, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        }
    }
    ::close(connection);
}
