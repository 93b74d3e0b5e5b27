#include "visasession.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr size_t receiveChunk = 4096;
constexpr ViVersion implementationVersion = 0x00100000; // 1.0
constexpr const char* manufacturer = "Lumicrate host software";

long long nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

bool isBoolean(ViAttrState value)
{
    return value == VI_TRUE || value == VI_FALSE;
}

} // namespace

VisaSession::VisaSession(const VisaResourceName& name, ViSession resourceManager, int fd)
    : m_name(name), m_resourceManager(resourceManager), m_fd(fd)
{
}

VisaSession::~VisaSession()
{
    ::close(m_fd);
}

long long VisaSession::deadline() const
{
    return m_timeoutMs == VI_TMO_INFINITE ? -1 : nowMs() + m_timeoutMs;
}

bool VisaSession::waitFor(short events, long long deadlineMs, ViStatus* failure) const
{
    for (;;) {
        int wait = -1;
        if (deadlineMs >= 0) {
            const long long left = deadlineMs - nowMs();
            wait = left > 0 ? int(left) : 0;
        }
        pollfd entry{m_fd, events, 0};
        const int ready = ::poll(&entry, 1, wait);
        if (ready > 0) {
            if ((entry.revents & POLLNVAL) != 0) {
                *failure = VI_ERROR_IO;
                return false;
            }
            return true; // errors and hang-ups show in the next call on the descriptor
        }
        if (ready < 0 && errno != EINTR) {
            *failure = ioError(errno);
            return false;
        }
        if (ready == 0 && wait >= 0 && nowMs() >= deadlineMs) {
            *failure = VI_ERROR_TMO;
            return false;
        }
    }
}

VisaSession::Ending VisaSession::ending(ViByte byte) const
{
    if (m_termCharEnabled && byte == m_termChar)
        return Ending::TermChar;
    if (!m_suppressEnd && carriesEnd(byte))
        return Ending::End;
    return Ending::None;
}

ViStatus VisaSession::ioError(int error) const
{
    return error == EAGAIN || error == EINTR ? VI_SUCCESS : VI_ERROR_IO;
}

ViStatus VisaSession::read(ViBuf buffer, ViUInt32 count, ViUInt32* returned)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ViUInt32 taken = 0;
    if (returned)
        *returned = 0;
    if (!buffer)
        return VI_ERROR_USER_BUF;
    const long long until = deadline();
    for (;;) {
        while (taken < count && m_pendingStart < m_pending.size()) {
            const ViByte byte = ViByte(m_pending[m_pendingStart++]);
            buffer[taken++] = byte;
            const Ending end = ending(byte);
            if (end != Ending::None) {
                if (returned)
                    *returned = taken;
                return end == Ending::TermChar ? VI_SUCCESS_TERM_CHAR : VI_SUCCESS;
            }
        }
        if (m_pendingStart == m_pending.size()) {
            m_pending.clear();
            m_pendingStart = 0;
        }
        if (returned)
            *returned = taken;
        if (taken == count)
            return VI_SUCCESS_MAX_CNT;

        ViStatus failure = VI_SUCCESS;
        if (!waitFor(POLLIN, until, &failure))
            return failure;
        char chunk[receiveChunk];
        const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
        if (got > 0) {
            m_pending.append(chunk, size_t(got));
        } else if (got == 0) {
            return VI_ERROR_CONN_LOST;
        } else {
            const ViStatus status = ioError(errno);
            if (status != VI_SUCCESS)
                return status;
        }
    }
}

ViStatus VisaSession::write(ViConstBuf buffer, ViUInt32 count, ViUInt32* returned)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (returned)
        *returned = 0;
    if (!buffer && count > 0)
        return VI_ERROR_USER_BUF;
    std::string data(reinterpret_cast<const char*>(buffer), count);
    data += endOfWrite();
    const long long until = deadline();
    size_t sent = 0;
    while (sent < data.size()) {
        ViStatus failure = VI_SUCCESS;
        if (!waitFor(POLLOUT, until, &failure))
            return failure;
        const ssize_t done =
            sendSome(reinterpret_cast<const ViByte*>(data.data()) + sent, data.size() - sent);
        if (done >= 0) {
            sent += size_t(done);
            if (returned)
                *returned = ViUInt32(std::min<size_t>(sent, count));
        } else {
            const ViStatus status = ioError(errno);
            if (status != VI_SUCCESS)
                return status;
        }
    }
    return VI_SUCCESS;
}

ViStatus VisaSession::setAttribute(ViAttr attribute, ViAttrState value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        if (value > VI_TMO_INFINITE)
            return VI_ERROR_NSUP_ATTR_STATE;
        m_timeoutMs = ViUInt32(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        if (value > 0xFF)
            return VI_ERROR_NSUP_ATTR_STATE;
        m_termChar = ViByte(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
    case VI_ATTR_SEND_END_EN:
    case VI_ATTR_SUPPRESS_END_EN:
        if (!isBoolean(value))
            return VI_ERROR_NSUP_ATTR_STATE;
        (attribute == VI_ATTR_TERMCHAR_EN   ? m_termCharEnabled
         : attribute == VI_ATTR_SEND_END_EN ? m_sendEnd
                                            : m_suppressEnd) = value == VI_TRUE;
        return VI_SUCCESS;
    case VI_ATTR_IO_PROT:
        return value == VI_PROT_NORMAL ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
    case VI_ATTR_RSRC_CLASS:
    case VI_ATTR_RSRC_NAME:
    case VI_ATTR_RSRC_IMPL_VERSION:
    case VI_ATTR_RSRC_SPEC_VERSION:
    case VI_ATTR_RSRC_LOCK_STATE:
    case VI_ATTR_RSRC_MANF_NAME:
    case VI_ATTR_RSRC_MANF_ID:
    case VI_ATTR_INTF_TYPE:
    case VI_ATTR_INTF_NUM:
    case VI_ATTR_RM_SESSION:
        return VI_ERROR_ATTR_READONLY;
    default:
        return setKindAttribute(attribute, value);
    }
}

ViStatus VisaSession::getAttribute(ViAttr attribute, void* value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!value)
        return VI_ERROR_USER_BUF;
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        *static_cast<ViUInt32*>(value) = m_timeoutMs;
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        *static_cast<ViUInt8*>(value) = m_termChar;
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
        *static_cast<ViBoolean*>(value) = m_termCharEnabled;
        return VI_SUCCESS;
    case VI_ATTR_SEND_END_EN:
        *static_cast<ViBoolean*>(value) = m_sendEnd;
        return VI_SUCCESS;
    case VI_ATTR_SUPPRESS_END_EN:
        *static_cast<ViBoolean*>(value) = m_suppressEnd;
        return VI_SUCCESS;
    case VI_ATTR_IO_PROT:
        *static_cast<ViUInt16*>(value) = VI_PROT_NORMAL;
        return VI_SUCCESS;
    case VI_ATTR_RSRC_CLASS:
        copyText(m_name.resourceClass(), value);
        return VI_SUCCESS;
    case VI_ATTR_RSRC_NAME:
        copyText(m_name.canonical(), value);
        return VI_SUCCESS;
    case VI_ATTR_RSRC_IMPL_VERSION:
        *static_cast<ViVersion*>(value) = implementationVersion;
        return VI_SUCCESS;
    case VI_ATTR_RSRC_SPEC_VERSION:
        *static_cast<ViVersion*>(value) = VI_SPEC_VERSION;
        return VI_SUCCESS;
    case VI_ATTR_RSRC_LOCK_STATE:
        *static_cast<ViAccessMode*>(value) = VI_NO_LOCK;
        return VI_SUCCESS;
    case VI_ATTR_RSRC_MANF_NAME:
        copyText(manufacturer, value);
        return VI_SUCCESS;
    case VI_ATTR_RSRC_MANF_ID:
        *static_cast<ViUInt16*>(value) = 0x3FFF; // the standard's "no registered id"
        return VI_SUCCESS;
    case VI_ATTR_INTF_TYPE:
        *static_cast<ViUInt16*>(value) = m_name.interfaceType();
        return VI_SUCCESS;
    case VI_ATTR_INTF_NUM:
        *static_cast<ViUInt16*>(value) = m_name.board();
        return VI_SUCCESS;
    case VI_ATTR_RM_SESSION:
        *static_cast<ViSession*>(value) = m_resourceManager;
        return VI_SUCCESS;
    default:
        return getKindAttribute(attribute, value);
    }
}

void VisaSession::copyText(const std::string& text, void* value)
{
    char* out = static_cast<char*>(value);
    const size_t size = std::min<size_t>(text.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(out, text.data(), size);
    out[size] = '\0';
}
