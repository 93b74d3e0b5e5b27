// Command-line value text as lc-ctl reads it, for a float, a pair and every
// record: text that is taken gives a value whose printed text is taken again and
// gives the very same bytes; text that is refused says why.
#include "driverpropertytable.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

template <typename T> void roundTrip(QString const& text)
{
    T value{};
    QString error;
    if (!driverValueFromText(text, &value, &error)) {
        check(!error.isEmpty());
        return;
    }
    const QString printed = DriverValueText<T>::text(value);
    T again{};
    check(driverValueFromText(printed, &again, &error));
    check(DriverValueCodec<T>::encode(again) == DriverValueCodec<T>::encode(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    roundTrip<float>(text);
    roundTrip<quint32>(text);
    roundTrip<bool>(text);
    roundTrip<pair_t<float>>(text);
    roundTrip<LC4SDM0V1_Param_t>(text);
    roundTrip<LC4SDM0V1_EEPROM_Const_t>(text);
    roundTrip<LC4SDM1_EEPROM_Const_t>(text);
    roundTrip<LC4BSM0V0_EEPROM_Const_t>(text);
    roundTrip<LC4CLM0V0_EEPROM_Const_t>(text);
    roundTrip<LC4HT0V0_EEPROM_Const_t>(text);
    roundTrip<LC4TDM0V1_EEPROM_Const_t>(text);
    roundTrip<LC4BSM0_SWEEP_PARAMS_t>(text);
    return 0;
}
