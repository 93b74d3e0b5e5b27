#include "burstserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace {

bool readExactly(int fd, char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(fd, buffer + done, size - done, 0);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

BurstServer::BurstServer(QByteArray burst) : m_burst(std::move(burst))
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listenFd, 1) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

BurstServer::~BurstServer()
{
    // shutdown() wakes a thread blocked in accept(), recv() or send().
    if (m_listenFd >= 0)
        ::shutdown(m_listenFd, SHUT_RDWR);
    const int conn = m_connFd.load();
    if (conn >= 0)
        ::shutdown(conn, SHUT_RDWR);
    if (m_thread.joinable())
        m_thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

void BurstServer::serve()
{
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    m_connFd.store(fd);

    char header[3];
    char payload[255];
    if (readExactly(fd, header, sizeof(header)) &&
        readExactly(fd, payload, size_t(quint8(header[2])))) {
        const char* bytes = m_burst.constData();
        size_t left = size_t(m_burst.size());
        while (left > 0) {
            const ssize_t n = ::send(fd, bytes, left, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            bytes += n;
            left -= size_t(n);
        }
        // Hold the connection until the client closes it, so no reset cuts the burst short.
        char sink[256];
        while (::recv(fd, sink, sizeof(sink), 0) > 0) {
        }
    }
    m_connFd.store(-1);
    ::close(fd);
}
