// Every wire value and record decoder takes any bytes at any offset: a plain
// value is the byte image of the bytes present, zero-filled where they run out
// (all zero at a negative offset),
// and encoding what was decoded gives that image back. Special codecs keep
// their own rules, and decode(encode(x)) gives x for all of them.
#include "driverproperty.h"
#include "heaterdriverm0.h"
#include "sisbiassourcedriverm0.h"
#include "siscontrollinedriverm0.h"
#include "sspddriverm0.h"
#include "sspddriverm1.h"
#include "tempdriverm0.h"
#include "tempdriverm1.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The offsets worth trying for a value of `size` bytes in `n`: both ends, just
// outside them, and one picked by the input. Encodings are checked at the
// picked offset and at 0 only, so that a run costs few allocations.
template <typename F> void forOffsets(int n, int size, int picked, F f)
{
    const int offsets[] = {picked, 0, -1, n - size, n - size + 1, n};
    for (int offset : offsets)
        f(offset, offset == picked || offset == 0);
}

template <typename T> void plain(const QByteArray& bytes, int picked)
{
    using Codec = DriverValueCodec<T>;
    static_assert(Codec::size == int(sizeof(T)), "a plain value is its byte image");
    forOffsets(bytes.size(), Codec::size, picked, [&](int offset, bool full) {
        char expected[sizeof(T)] = {};
        for (int i = 0; offset >= 0 && i < Codec::size && offset + i < bytes.size(); ++i)
            expected[i] = bytes.at(offset + i);
        const T value = Codec::decode(bytes, offset);
        check(std::memcmp(&value, expected, sizeof(T)) == 0);
        if (!full)
            return;
        const QByteArray encoded = Codec::encode(value);
        check(encoded.size() == Codec::size &&
              std::memcmp(encoded.constData(), expected, sizeof(T)) == 0);
        const T again = Codec::decode(encoded);
        check(std::memcmp(&again, &value, sizeof(T)) == 0);
    });
}

void special(const QByteArray& bytes, int picked)
{
    const int n = bytes.size();
    forOffsets(n, 1, picked, [&](int offset, bool full) {
        const bool inside = offset >= 0 && offset < n;
        const char byte = inside ? bytes.at(offset) : '\0';

        const bool flag = DriverValueCodec<bool>::decode(bytes, offset);
        check(flag == (byte != 0));
        check(DriverValueCodec<bool>::encode(flag) == QByteArray(1, flag ? '\1' : '\0'));
        check(DriverValueCodec<bool>::decode(DriverValueCodec<bool>::encode(flag)) == flag);

        const cRelaysStatus relays = DriverValueCodec<cRelaysStatus>::decode(bytes, offset);
        check(relays.status() == quint8(byte));
        const QByteArray relayBytes = DriverValueCodec<cRelaysStatus>::encode(relays);
        check(relayBytes == QByteArray(1, byte));

        using SwitcherCodec = DriverValueCodec<cmd::enum_LC4TDM1_SwitcherMode>;
        const auto mode = SwitcherCodec::decode(bytes, offset);
        check(int(mode) == int(qint8(byte)));
        check(SwitcherCodec::encode(mode) == QByteArray(1, byte));
        check(SwitcherCodec::decode(SwitcherCodec::encode(mode)) == mode);
        if (!full)
            return;

        // A text ends at its first zero byte; what it decodes to survives a round trip.
        using TextCodec = DriverValueCodec<QString>;
        const QString text = TextCodec::decode(bytes, offset);
        check(!text.contains(QChar(0)));
        const QByteArray tail = bytes.mid(qMax(0, offset));
        const int zero = tail.indexOf('\0');
        check(text == QString::fromUtf8(zero < 0 ? tail : tail.left(zero)));
        check(TextCodec::decode(TextCodec::encode(text)) == text);
    });
}

// Temperature table chunks: all `count` items or nothing, and back to the same bytes.
void tableChunks(const QByteArray& bytes, int picked)
{
    constexpr int itemBytes = int(sizeof(LC4TDM0V1_Temp_Table_Item_t));
    static LC4TDM0V1_Temp_Table_Item_t items[tempTableItems + 1];
    const int counts[] = {0,
                          1,
                          bytes.size() / itemBytes,
                          bytes.size() / itemBytes + 1,
                          qAbs(picked) % (tempTableItems + 1),
                          -1};
    for (int count : counts) {
        if (count > tempTableItems + 1)
            continue;
        std::memset(items, 0x5A, sizeof(items));
        const bool ok = readTempTableChunk(bytes, items, count);
        check(ok == (count >= 0 && bytes.size() >= count * itemBytes));
        if (!ok) {
            // A refused chunk leaves the items as they were.
            for (const auto& item : items)
                check(std::memcmp(&item, "\x5A\x5A\x5A\x5A\x5A\x5A\x5A\x5A", itemBytes) == 0);
            continue;
        }
        check(std::memcmp(items, bytes.constData(), size_t(count * itemBytes)) == 0);
        check(tempTableChunkBytes(items, count) == bytes.left(count * itemBytes));
    }
}

using Check = void (*)(const QByteArray&, int);
const Check checks[] = {
    plain<float>,
    plain<unsigned int>,
    plain<char>,
    plain<cUDID>,
    plain<pair_t<float>>,
    plain<LC4SDM0_Status_t>,
    plain<LC4SDM0V1_Data_t>,
    plain<LC4SDM0V1_Param_t>,
    plain<LC4SDM0V1_EEPROM_Const_t>,
    plain<LC4SDM1_Status_t>,
    plain<LC4SDM1_Data_t>,
    plain<LC4SDM1_EEPROM_Const_t>,
    plain<LC4BSM0_Data_t>,
    plain<LC4BSM0_SWEEP_PARAMS_t>,
    plain<LC4BSM0V0_EEPROM_Const_t>,
    plain<LC4CLM0V0_Data_t>,
    plain<LC4CLM0V0_EEPROM_Const_t>,
    plain<LC4HTM0V0_Data_t>,
    plain<LC4HT0V0_EEPROM_Const_t>,
    plain<LC4TDM0V1_Data_t>,
    plain<LC4TDM0V1_EEPROM_Const_t>,
    plain<LC4TDM0V1_Temp_Table_Item_t>,
    plain<TDM1_EepromCoeff>,
    special,
    tableChunks,
};
constexpr int checkCount = int(sizeof(checks) / sizeof(checks[0]));

} // namespace

// The first byte picks the codec, the second one more offset; the rest is the
// payload, of any size from none up.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray payload =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data) + 2, int(size) - 2);
    checks[data[0] % checkCount](payload, int(qint8(data[1])));
    return 0;
}
