#ifndef VISARESOURCENAME_H
#define VISARESOURCENAME_H

#include "visa.h"

#include <string>

// A parsed resource name of a kind the library serves:
//   TCPIP[board]::host::port::SOCKET
//   ASRL<number or device path>[::INSTR]
class VisaResourceName
{
public:
    enum class Kind
    {
        Socket,
        Serial
    };

    // VI_SUCCESS, VI_ERROR_INV_RSRC_NAME for text that is no resource name, or
    // VI_ERROR_RSRC_NFOUND for a well-formed name of an interface not served here.
    static ViStatus parse(const char* text, VisaResourceName* name);

    Kind kind() const { return m_kind; }
    ViUInt16 interfaceType() const;
    ViUInt16 board() const { return m_board; }
    const char* resourceClass() const;
    // The name in its full form, e.g. "TCPIP0::127.0.0.1::5025::SOCKET".
    const std::string& canonical() const { return m_canonical; }
    const std::string& host() const { return m_host; }
    ViUInt16 port() const { return m_port; }
    // The serial device: the path given, or /dev/ttyS<n-1> for ASRL<n>.
    const std::string& device() const { return m_device; }

private:
    static ViStatus parseSocket(const std::string& board, const std::string* parts, size_t count,
                                VisaResourceName* name);
    static ViStatus parseSerial(const std::string& board, const std::string* parts, size_t count,
                                VisaResourceName* name);

    Kind m_kind = Kind::Socket;
    ViUInt16 m_board = 0;
    std::string m_canonical;
    std::string m_host;
    ViUInt16 m_port = 0;
    std::string m_device;
};

#endif // VISARESOURCENAME_H
