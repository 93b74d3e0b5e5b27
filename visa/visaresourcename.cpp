#include "visaresourcename.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

bool isNumber(const std::string& text)
{
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find("::", start);
        parts.push_back(
            text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 2;
    }
}

} // namespace

ViStatus VisaResourceName::parse(const char* text, VisaResourceName* name)
{
    // Every name must fit the fixed-size buffers the standard gives callers.
    if (!text || std::char_traits<char>::length(text) >= VI_FIND_BUFLEN)
        return VI_ERROR_INV_RSRC_NAME;
    const std::vector<std::string> parts = split(text);
    const std::string first = upper(parts.front());
    if (startsWith(first, "TCPIP"))
        return parseSocket(first.substr(5), parts.data() + 1, parts.size() - 1, name);
    if (startsWith(first, "ASRL"))
        return parseSerial(parts.front().substr(4), parts.data() + 1, parts.size() - 1, name);
    for (const char* other : {"GPIB", "VXI", "PXI", "USB"}) {
        if (startsWith(first, other))
            return VI_ERROR_RSRC_NFOUND;
    }
    return VI_ERROR_INV_RSRC_NAME;
}

ViStatus VisaResourceName::parseSocket(const std::string& board, const std::string* parts,
                                       size_t count, VisaResourceName* name)
{
    if (!board.empty() && !isNumber(board))
        return VI_ERROR_INV_RSRC_NAME;
    const unsigned long boardNumber = board.empty() ? 0 : std::stoul(board);
    if (boardNumber > 0xFFFF)
        return VI_ERROR_INV_RSRC_NAME;
    if (count >= 1 && count <= 3 && upper(parts[count - 1]) == "INSTR")
        return VI_ERROR_RSRC_NFOUND; // instrument protocols over LAN are not served here
    if (count != 3 || upper(parts[2]) != "SOCKET" || parts[0].empty() || !isNumber(parts[1]))
        return VI_ERROR_INV_RSRC_NAME;
    const unsigned long port = std::stoul(parts[1]);
    if (port == 0 || port > 0xFFFF)
        return VI_ERROR_INV_RSRC_NAME;
    name->m_kind = Kind::Socket;
    name->m_board = ViUInt16(boardNumber);
    name->m_host = parts[0];
    name->m_port = ViUInt16(port);
    name->m_device.clear();
    name->m_canonical = "TCPIP" + std::to_string(boardNumber) + "::" + parts[0] +
                        "::" + std::to_string(port) + "::SOCKET";
    return VI_SUCCESS;
}

ViStatus VisaResourceName::parseSerial(const std::string& board, const std::string* parts,
                                       size_t count, VisaResourceName* name)
{
    if (count > 1 || (count == 1 && upper(parts[0]) != "INSTR"))
        return VI_ERROR_INV_RSRC_NAME;
    ViUInt16 number = 0;
    std::string device;
    if (isNumber(board)) {
        const unsigned long n = std::stoul(board);
        // ASRL1 is the first serial port.
        if (n == 0 || n > 0xFFFF)
            return VI_ERROR_RSRC_NFOUND;
        number = ViUInt16(n);
        device = "/dev/ttyS" + std::to_string(n - 1);
    } else if (board.size() > 1 && board[0] == '/') {
        device = board;
    } else {
        return VI_ERROR_INV_RSRC_NAME;
    }
    name->m_kind = Kind::Serial;
    name->m_board = number;
    name->m_host.clear();
    name->m_port = 0;
    name->m_device = device;
    name->m_canonical = "ASRL" + board + "::INSTR";
    return VI_SUCCESS;
}

ViUInt16 VisaResourceName::interfaceType() const
{
    return m_kind == Kind::Socket ? VI_INTF_TCPIP : VI_INTF_ASRL;
}

const char* VisaResourceName::resourceClass() const
{
    return m_kind == Kind::Socket ? "SOCKET" : "INSTR";
}
