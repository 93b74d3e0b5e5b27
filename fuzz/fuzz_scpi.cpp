// The multimeter's reply text: a reading is a finite number below the overload
// value, the same with or without the line end and whatever follows a zero
// byte, and a failed reply leaves the value untouched.
#include "cagilent34401a.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {
// The parser is the instrument classes' own; only its name is made reachable.
struct Reply : cAgilent34401A
{
    using cAgilent34401A::readingFromReply;
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char*>(data), int(size));
    constexpr double untouched = -12345.0;
    double value = untouched;
    const bool ok = Reply::readingFromReply(reply, &value);
    if (!ok) {
        check(value == untouched);
    } else {
        check(std::isfinite(value) && std::abs(value) < 9.9e37);
        // The instrument's own format reads back as the same reading, to its digits.
        double again = untouched;
        const QByteArray formatted = QByteArray::number(value, 'E', 8) + '\n';
        check(Reply::readingFromReply(formatted, &again));
        check(std::abs(again - value) <= 1e-8 * std::abs(value));
    }
    const int zero = reply.indexOf('\0');
    const QByteArray text = zero < 0 ? reply : reply.left(zero);
    for (const QByteArray& variant : {text + "\n", text + "\r\n", text + '\0' + "+1.0E+00\n"}) {
        double other = untouched;
        const bool otherOk = Reply::readingFromReply(variant, &other);
        check(otherOk == ok && (!ok || other == value));
    }
    return 0;
}
