#include "visasocketsession.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool setOption(int fd, int level, int option, bool on)
{
    const int value = on ? 1 : 0;
    return ::setsockopt(fd, level, option, &value, sizeof value) == 0;
}

// A non-blocking connect that gives up at the time-out.
ViStatus connectTo(const addrinfo& address, int timeoutMs, int* connected)
{
    const int fd =
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno == ENOMEM || errno == ENOBUFS ? VI_ERROR_ALLOC : VI_ERROR_SYSTEM_ERROR;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            ::close(fd);
            return VI_ERROR_RSRC_NFOUND;
        }
        pollfd entry{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&entry, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
            error != 0) {
            ::close(fd);
            return ready == 0 ? VI_ERROR_TMO : VI_ERROR_RSRC_NFOUND;
        }
    }
    *connected = fd;
    return VI_SUCCESS;
}

std::string numericAddress(const addrinfo& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    ::getnameinfo(address.ai_addr, address.ai_addrlen, text, sizeof text, nullptr, 0,
                  NI_NUMERICHOST);
    return text;
}

} // namespace

VisaSocketSession::VisaSocketSession(const VisaResourceName& name, ViSession resourceManager,
                                     int fd, std::string address)
    : VisaSession(name, resourceManager, fd), m_host(name.host()), m_address(std::move(address)),
      m_port(name.port())
{
}

ViStatus VisaSocketSession::open(const VisaResourceName& name, ViSession resourceManager,
                                 std::unique_ptr<VisaSession>* session)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.host().c_str(), std::to_string(name.port()).c_str(), &hints, &found) !=
        0)
        return VI_ERROR_RSRC_NFOUND;
    ViStatus status = VI_ERROR_RSRC_NFOUND;
    int fd = -1;
    const addrinfo* used = nullptr;
    for (const addrinfo* address = found; address && fd < 0; address = address->ai_next) {
        status = connectTo(*address, int(defaultTimeoutMs), &fd);
        used = address;
    }
    const std::string text = fd >= 0 ? numericAddress(*used) : std::string();
    ::freeaddrinfo(found);
    if (fd < 0)
        return status;
    setOption(fd, IPPROTO_TCP, TCP_NODELAY, true);
    session->reset(new VisaSocketSession(name, resourceManager, fd, text));
    return VI_SUCCESS;
}

ssize_t VisaSocketSession::sendSome(const ViByte* data, size_t size)
{
    // A peer that went away must give an error code, not a SIGPIPE.
    return ::send(fd(), data, size, MSG_NOSIGNAL);
}

ViStatus VisaSocketSession::ioError(int error) const
{
    if (error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ETIMEDOUT)
        return VI_ERROR_CONN_LOST;
    return VisaSession::ioError(error);
}

ViStatus VisaSocketSession::setKindAttribute(ViAttr attribute, ViAttrState value)
{
    switch (attribute) {
    case VI_ATTR_TCPIP_NODELAY:
    case VI_ATTR_TCPIP_KEEPALIVE: {
        if (value != VI_TRUE && value != VI_FALSE)
            return VI_ERROR_NSUP_ATTR_STATE;
        const bool noDelay = attribute == VI_ATTR_TCPIP_NODELAY;
        if (!setOption(fd(), noDelay ? IPPROTO_TCP : SOL_SOCKET,
                       noDelay ? TCP_NODELAY : SO_KEEPALIVE, value == VI_TRUE))
            return VI_ERROR_NSUP_ATTR_STATE;
        (noDelay ? m_noDelay : m_keepAlive) = value == VI_TRUE;
        return VI_SUCCESS;
    }
    case VI_ATTR_TCPIP_ADDR:
    case VI_ATTR_TCPIP_HOSTNAME:
    case VI_ATTR_TCPIP_PORT:
        return VI_ERROR_ATTR_READONLY;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus VisaSocketSession::getKindAttribute(ViAttr attribute, void* value)
{
    switch (attribute) {
    case VI_ATTR_TCPIP_NODELAY:
        *static_cast<ViBoolean*>(value) = m_noDelay;
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_KEEPALIVE:
        *static_cast<ViBoolean*>(value) = m_keepAlive;
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_ADDR:
        copyText(m_address, value);
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_HOSTNAME:
        copyText(m_host, value);
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_PORT:
        *static_cast<ViUInt16*>(value) = m_port;
        return VI_SUCCESS;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}
