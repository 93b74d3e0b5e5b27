#include "visaserialsession.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool baudConstant(ViUInt32 baud, speed_t* speed)
{
    static const struct
    {
        ViUInt32 baud;
        speed_t speed;
    } table[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                 {150, B150},       {200, B200},       {300, B300},       {600, B600},
                 {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
                 {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
                 {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& entry : table) {
        if (entry.baud == baud) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

} // namespace

VisaSerialSession::VisaSerialSession(const VisaResourceName& name, ViSession resourceManager,
                                     int fd)
    : VisaSession(name, resourceManager, fd)
{
}

ViStatus VisaSerialSession::open(const VisaResourceName& name, ViSession resourceManager,
                                 std::unique_ptr<VisaSession>* session)
{
    const int fd = ::open(name.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            return VI_ERROR_NPERMISSION;
        return errno == EBUSY ? VI_ERROR_RSRC_BUSY : VI_ERROR_RSRC_NFOUND;
    }
    if (!::isatty(fd) || !apply(fd, Settings())) {
        ::close(fd);
        return VI_ERROR_RSRC_NFOUND;
    }
    session->reset(new VisaSerialSession(name, resourceManager, fd));
    return VI_SUCCESS;
}

bool VisaSerialSession::apply(int fd, const Settings& settings)
{
    termios line{};
    speed_t speed{};
    if (::tcgetattr(fd, &line) != 0 || !baudConstant(settings.baud, &speed))
        return false;
    ::cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    line.c_cflag |= sizes[settings.dataBits - 5];
    switch (settings.parity) {
    case VI_ASRL_PAR_ODD:
        line.c_cflag |= PARENB | PARODD;
        break;
    case VI_ASRL_PAR_EVEN:
        line.c_cflag |= PARENB;
        break;
    case VI_ASRL_PAR_MARK:
        line.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case VI_ASRL_PAR_SPACE:
        line.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (settings.stopBits == VI_ASRL_STOP_TWO)
        line.c_cflag |= CSTOPB;
    if (settings.flowControl & VI_ASRL_FLOW_RTS_CTS)
        line.c_cflag |= CRTSCTS;
    if (settings.flowControl & VI_ASRL_FLOW_XON_XOFF)
        line.c_iflag |= IXON | IXOFF;
    // Reads return what is there; the session waits with poll.
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    return ::cfsetispeed(&line, speed) == 0 && ::cfsetospeed(&line, speed) == 0 &&
           ::tcsetattr(fd, TCSANOW, &line) == 0;
}

bool VisaSerialSession::carriesEnd(ViByte byte) const
{
    if (m_endIn == VI_ASRL_END_TERMCHAR)
        return byte == termChar();
    if (m_endIn == VI_ASRL_END_LAST_BIT)
        return (byte >> (m_settings.dataBits - 1)) & 1;
    return false;
}

std::string VisaSerialSession::endOfWrite() const
{
    if (sendEnd() && m_endOut == VI_ASRL_END_TERMCHAR)
        return std::string(1, char(termChar()));
    return std::string();
}

ssize_t VisaSerialSession::sendSome(const ViByte* data, size_t size)
{
    return ::write(fd(), data, size);
}

ViStatus VisaSerialSession::setKindAttribute(ViAttr attribute, ViAttrState value)
{
    Settings wanted = m_settings;
    switch (attribute) {
    case VI_ATTR_ASRL_BAUD:
        if (value > 0xFFFFFFFFu)
            return VI_ERROR_NSUP_ATTR_STATE;
        wanted.baud = ViUInt32(value);
        break;
    case VI_ATTR_ASRL_DATA_BITS:
        if (value < 5 || value > 8)
            return VI_ERROR_NSUP_ATTR_STATE;
        wanted.dataBits = ViUInt16(value);
        break;
    case VI_ATTR_ASRL_PARITY:
        if (value > VI_ASRL_PAR_SPACE)
            return VI_ERROR_NSUP_ATTR_STATE;
        wanted.parity = ViUInt16(value);
        break;
    case VI_ATTR_ASRL_STOP_BITS:
        if (value != VI_ASRL_STOP_ONE && value != VI_ASRL_STOP_TWO)
            return VI_ERROR_NSUP_ATTR_STATE;
        wanted.stopBits = ViUInt16(value);
        break;
    case VI_ATTR_ASRL_FLOW_CNTRL:
        // termios has no DTR/DSR handshake.
        if ((value & ~ViAttrState(VI_ASRL_FLOW_XON_XOFF | VI_ASRL_FLOW_RTS_CTS)) != 0)
            return VI_ERROR_NSUP_ATTR_STATE;
        wanted.flowControl = ViUInt16(value);
        break;
    case VI_ATTR_ASRL_END_IN:
    case VI_ATTR_ASRL_END_OUT:
        if (value > VI_ASRL_END_TERMCHAR ||
            (attribute == VI_ATTR_ASRL_END_OUT && value == VI_ASRL_END_LAST_BIT))
            return VI_ERROR_NSUP_ATTR_STATE;
        (attribute == VI_ATTR_ASRL_END_IN ? m_endIn : m_endOut) = ViUInt16(value);
        return VI_SUCCESS;
    case VI_ATTR_ASRL_AVAIL_NUM:
        return VI_ERROR_ATTR_READONLY;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
    if (!apply(fd(), wanted)) {
        apply(fd(), m_settings);
        return VI_ERROR_NSUP_ATTR_STATE;
    }
    m_settings = wanted;
    return VI_SUCCESS;
}

ViStatus VisaSerialSession::getKindAttribute(ViAttr attribute, void* value)
{
    switch (attribute) {
    case VI_ATTR_ASRL_BAUD:
        *static_cast<ViUInt32*>(value) = m_settings.baud;
        return VI_SUCCESS;
    case VI_ATTR_ASRL_DATA_BITS:
        *static_cast<ViUInt16*>(value) = m_settings.dataBits;
        return VI_SUCCESS;
    case VI_ATTR_ASRL_PARITY:
        *static_cast<ViUInt16*>(value) = m_settings.parity;
        return VI_SUCCESS;
    case VI_ATTR_ASRL_STOP_BITS:
        *static_cast<ViUInt16*>(value) = m_settings.stopBits;
        return VI_SUCCESS;
    case VI_ATTR_ASRL_FLOW_CNTRL:
        *static_cast<ViUInt16*>(value) = m_settings.flowControl;
        return VI_SUCCESS;
    case VI_ATTR_ASRL_END_IN:
        *static_cast<ViUInt16*>(value) = m_endIn;
        return VI_SUCCESS;
    case VI_ATTR_ASRL_END_OUT:
        *static_cast<ViUInt16*>(value) = m_endOut;
        return VI_SUCCESS;
    case VI_ATTR_ASRL_AVAIL_NUM: {
        int queued = 0;
        if (::ioctl(fd(), FIONREAD, &queued) != 0)
            queued = 0;
        *static_cast<ViUInt32*>(value) = ViUInt32(size_t(queued) + pendingBytes());
        return VI_SUCCESS;
    }
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}
