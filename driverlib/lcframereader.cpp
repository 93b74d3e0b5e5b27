#include "lcframereader.h"

void lcFrameReader::append(const QByteArray& bytes)
{
    if (m_head > 0) {
        m_buffer.remove(0, m_head);
        m_head = 0;
    }
    m_buffer.append(bytes);
}

bool lcFrameReader::next(lcFrame& frame)
{
    const int available = m_buffer.size() - m_head;
    if (available < headerSize)
        return false;
    const auto* bytes = reinterpret_cast<const quint8*>(m_buffer.constData()) + m_head;
    const int length = bytes[2];
    if (available < headerSize + length)
        return false;
    frame.address = bytes[0];
    frame.command = bytes[1];
    frame.length = quint8(length);
    frame.data = bytes + headerSize;
    m_head += headerSize + length;
    return true;
}

void lcFrameReader::clear()
{
    m_buffer.clear();
    m_head = 0;
}

QByteArray lcFrameReader::pending() const
{
    return m_buffer.mid(m_head);
}

QByteArray lcEncodeFrame(quint8 address, quint8 command, quint8 dataLength, const quint8* data)
{
    QByteArray frame;
    frame.reserve(lcFrameReader::headerSize + dataLength);
    frame.append(char(address));
    frame.append(char(command));
    frame.append(char(dataLength));
    if (dataLength > 0)
        frame.append(reinterpret_cast<const char*>(data), dataLength);
    return frame;
}
