#ifndef LCFRAMEREADER_H
#define LCFRAMEREADER_H

#include <QByteArray>

// One wire frame: [address][command][length][payload]. `data` points into the
// reader's buffer and is valid until the next append() or clear().
struct lcFrame
{
    quint8 address = 0;
    quint8 command = 0;
    quint8 length = 0;
    const quint8* data = nullptr;
};

// Cuts a byte stream into frames. Consumed bytes are dropped once per append(),
// never once per frame, so a burst of many frames costs time linear in its size.
class lcFrameReader
{
public:
    void append(const QByteArray& bytes);
    // Takes the next complete frame off the front; false when none is complete yet.
    bool next(lcFrame& frame);
    void clear();
    // The bytes not yet consumed as frames.
    QByteArray pending() const;
    bool isEmpty() const { return m_buffer.size() == m_head; }

    static constexpr int headerSize = 3;
    static constexpr int maxFrameSize = headerSize + 255;

private:
    QByteArray m_buffer;
    int m_head = 0;
};

// The bytes of one frame as they go on the wire.
QByteArray lcEncodeFrame(quint8 address, quint8 command, quint8 dataLength, const quint8* data);

#endif // LCFRAMEREADER_H
