#ifndef SIMPAYLOAD_H
#define SIMPAYLOAD_H

#include "driverproperty.h"

#include <QByteArray>

#include <optional>

// A setter's payload as a value; a payload of the wrong size is no value at all, so
// the module stays silent rather than act on a guess.
template <typename T> std::optional<T> simDecodeExact(const QByteArray& payload)
{
    if (payload.size() != DriverValueCodec<T>::size)
        return std::nullopt;
    return DriverValueCodec<T>::decode(payload);
}

template <typename T> QByteArray simEncode(const T& value)
{
    return DriverValueCodec<T>::encode(value);
}

#endif // SIMPAYLOAD_H
