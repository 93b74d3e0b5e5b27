// lcFrameReader cuts the same byte stream into the same frames however the
// stream is chunked and however lazily frames are taken; every frame is the
// stream's own bytes, and re-encoded frames decode back to themselves.
#include "lcframereader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Frame
{
    int at; // offset of its header in the stream
    quint8 address;
    quint8 command;
    quint8 length;
};

// Chunk sizes and take counts come from the first bytes of the input.
struct Rng
{
    quint64 state;
    quint32 next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return quint32(state);
    }
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The frames of a stream by the wire rule alone: header, then `length` bytes.
int walk(const uint8_t* data, int size, std::vector<Frame>* frames)
{
    int at = 0;
    while (size - at >= lcFrameReader::headerSize && size - at >= 3 + data[at + 2]) {
        frames->push_back({at, data[at], data[at + 1], data[at + 2]});
        at += lcFrameReader::headerSize + data[at + 2];
    }
    return at;
}

void take(lcFrameReader& reader, const uint8_t* stream, const std::vector<Frame>& expected,
          size_t* taken, quint32 most)
{
    lcFrame frame;
    while (most-- > 0 && reader.next(frame)) {
        check(*taken < expected.size());
        const Frame& want = expected[(*taken)++];
        check(frame.address == want.address && frame.command == want.command &&
              frame.length == want.length);
        check(frame.length == 0 ||
              std::memcmp(frame.data, stream + want.at + lcFrameReader::headerSize, frame.length) ==
                  0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t seedBytes = 4;
    Rng rng{0x9E3779B97F4A7C15ull};
    if (size >= seedBytes) {
        quint32 seed;
        std::memcpy(&seed, data, seedBytes);
        rng.state ^= seed;
        data += seedBytes;
        size -= seedBytes;
    }
    const int streamSize = int(size);
    static std::vector<Frame> expected;
    expected.clear();
    const int consumed = walk(data, streamSize, &expected);

    // In one piece, all at once.
    lcFrameReader whole;
    whole.append(QByteArray::fromRawData(reinterpret_cast<const char*>(data), streamSize));
    size_t taken = 0;
    take(whole, data, expected, &taken, ~0u);
    check(taken == expected.size());
    check(whole.pending() ==
          QByteArray(reinterpret_cast<const char*>(data) + consumed, streamSize - consumed));
    check(whole.isEmpty() == (consumed == streamSize));

    // In random chunks (empty ones too), taking a random number of frames after each.
    lcFrameReader chunked;
    taken = 0;
    for (int at = 0; at < streamSize;) {
        const quint32 r = rng.next();
        // Mostly small chunks, where the header and payload boundaries fall.
        const int limit = (r & 3) == 0 ? 300 : 8;
        const int chunk = qMin(streamSize - at, int((r >> 2) % quint32(limit + 1)));
        chunked.append(QByteArray(reinterpret_cast<const char*>(data) + at, chunk));
        at += chunk;
        take(chunked, data, expected, &taken, (r >> 16) % 4 == 0 ? 0 : (r >> 20) % 4);
    }
    take(chunked, data, expected, &taken, ~0u);
    check(taken == expected.size());
    check(chunked.pending() == whole.pending());
    check(chunked.isEmpty() == whole.isEmpty());

    // The frames re-encoded back to back are exactly the consumed bytes.
    QByteArray encoded;
    lcFrameReader again;
    lcFrame frame;
    whole.clear();
    check(whole.isEmpty() && !whole.next(frame));
    for (const Frame& f : expected)
        encoded +=
            lcEncodeFrame(f.address, f.command, f.length, data + f.at + lcFrameReader::headerSize);
    check(encoded == QByteArray::fromRawData(reinterpret_cast<const char*>(data), consumed));
    again.append(encoded);
    taken = 0;
    take(again, data, expected, &taken, ~0u);
    check(taken == expected.size() && again.isEmpty());
    return 0;
}
