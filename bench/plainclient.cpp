#include "plainclient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

PlainClient::~PlainClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PlainClient::connectTo(quint16 port)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool PlainClient::readExactly(char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::recv(m_fd, buffer + done, size - done, 0);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool PlainClient::roundTrip(const QByteArray& frame)
{
    if (m_fd < 0)
        return false;
    if (::send(m_fd, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL) != frame.size())
        return false;
    char header[3];
    char payload[255];
    return readExactly(header, sizeof(header)) && readExactly(payload, size_t(quint8(header[2])));
}
