#ifndef DRIVERPROPERTY_H
#define DRIVERPROPERTY_H

#include "abstractdriver.h"
#include "crelaysstatus.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <functional>
#include <type_traits>

// Callbacks run in the order they were added when an answer arrives.
class cCallbackList
{
public:
    using Callback = std::function<void()>;

    int append(Callback callback);
    // Runs every callback; stops early when `owner` is deleted by one of them.
    void run(QObject* owner) const;
    int size() const { return m_callbacks.size(); }

private:
    QMap<int, Callback> m_callbacks;
    int m_lastKey = 0;
};

// One module value or command seen as raw payload bytes.
class DriverProperty_p
{
public:
    DriverProperty_p(AbstractDriver* driver, quint8 cmdGetter, quint8 cmdSetter);
    virtual ~DriverProperty_p() = default;
    DriverProperty_p(const DriverProperty_p&) = delete;
    DriverProperty_p& operator=(const DriverProperty_p&) = delete;

    virtual cCallbackList& gettedSignal() { return m_gettedCallbacks; }
    virtual cCallbackList& settedSignal() { return m_settedCallbacks; }

    void readWrite(quint8 command, QByteArray data);
    // Sends and waits, resending up to `attempts` times. Returns the current data
    // whatever the outcome: after a failure it is what was received earlier.
    // With `minAnswerSize`, a getter answer with fewer payload bytes counts as no
    // answer at all: it is neither stored nor announced, and the attempt times out.
    QByteArray readWriteSync(quint8 command, QByteArray data, bool* ok, int attempts,
                             int minAnswerSize = 0);
    int minAnswerSize() const { return m_minAnswerSize; }

    QByteArray data() const { return m_data; }
    void setBufferData(QByteArray const& data) { m_data = data; }
    QByteArray lastSettedData() const { return m_lastSettedData; }
    quint8 cmdGetter() const { return m_cmdGetter; }
    void setCmdGetter(quint8 const& code) { m_cmdGetter = code; }
    quint8 cmdSetter() const { return m_cmdSetter; }
    void setCmdSetter(quint8 const& code) { m_cmdSetter = code; }

private:
    AbstractDriver* m_driver;
    quint8 m_cmdGetter;
    quint8 m_cmdSetter;
    QByteArray m_data;
    QByteArray m_lastSettedData;
    int m_minAnswerSize = 0;
    cCallbackList m_gettedCallbacks;
    cCallbackList m_settedCallbacks;
};

// A parameterless module command: setter code only, empty payload.
class DriverCommand : protected DriverProperty_p
{
public:
    DriverCommand(AbstractDriver* driver, quint8 cmdSetter)
        : DriverProperty_p(driver, noCommand, cmdSetter)
    {
    }

    void execute();
    void executeSync(bool* ok, int attempts);

    using DriverProperty_p::cmdSetter;
    using DriverProperty_p::settedSignal;
};

// Two values in order; calibration lines are slope first and offset second,
// limits lower first and upper second.
template <typename T> struct pair_t
{
    T first;
    T second;
};

// The 12-byte module identifier, kept as the module sends it.
struct cUDID
{
    quint8 bytes[12];
};
static_assert(sizeof(cUDID) == 12, "cUDID is 12 bytes on the wire");

// 24 upper-case hexadecimal digits in six groups of four joined by "-".
QString udidToString(cUDID const& udid);

// Wire encoding of a value type. Numbers are little-endian whatever the host;
// a record is its byte image, so record types must be laid out exactly as the
// module does (their headers check sizes and offsets at compile time). A read of
// fewer bytes than the type needs zero-fills the rest; a longer one is cut. A
// negative offset, like one past the end, reads no byte at all.
template <typename T, typename = void> struct DriverValueCodec
{
    static_assert(std::is_trivially_copyable<T>::value, "wire values are plain bytes");
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN || std::is_arithmetic<T>::value,
                  "record byte images assume a little-endian host: give this type its own codec");
    static constexpr int size = int(sizeof(T));

    static QByteArray encode(T const& value)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        std::memcpy(bytes.data(), &value, sizeof(T));
        toLittleEndianInPlace(bytes.data());
        return bytes;
    }
    static T decode(QByteArray const& bytes, int offset = 0)
    {
        char raw[sizeof(T)] = {};
        if (offset >= 0 && offset < bytes.size())
            std::memcpy(raw, bytes.constData() + offset, size_t(qMin(bytes.size() - offset, size)));
        toLittleEndianInPlace(raw);
        T value;
        std::memcpy(&value, raw, sizeof(T));
        return value;
    }

private:
    // Reversing the bytes of a number is its own inverse, so one helper serves both ways.
    static void toLittleEndianInPlace(char* bytes)
    {
        if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN && std::is_arithmetic<T>::value)
            std::reverse(bytes, bytes + sizeof(T));
        else
            Q_UNUSED(bytes);
    }
};

template <typename T> struct DriverValueCodec<pair_t<T>>
{
    static constexpr int size = 2 * DriverValueCodec<T>::size;
    static QByteArray encode(pair_t<T> const& value)
    {
        return DriverValueCodec<T>::encode(value.first) + DriverValueCodec<T>::encode(value.second);
    }
    static pair_t<T> decode(QByteArray const& bytes, int offset = 0)
    {
        // Not even the second value is read from before the start.
        if (offset < 0)
            return {};
        return {DriverValueCodec<T>::decode(bytes, offset),
                DriverValueCodec<T>::decode(bytes, offset + DriverValueCodec<T>::size)};
    }
};

// Any non-zero byte is true: a byte from the wire is never copied into a bool as it is.
template <> struct DriverValueCodec<bool>
{
    static constexpr int size = 1;
    static QByteArray encode(bool const& value) { return QByteArray(1, value ? '\1' : '\0'); }
    static bool decode(QByteArray const& bytes, int offset = 0)
    {
        return offset >= 0 && offset < bytes.size() && bytes.at(offset) != 0;
    }
};

template <> struct DriverValueCodec<QString>
{
    static QByteArray encode(QString const& value) { return value.toUtf8(); }
    static QString decode(QByteArray const& bytes, int offset = 0);
};

template <> struct DriverValueCodec<cRelaysStatus>
{
    static constexpr int size = 1;
    static QByteArray encode(cRelaysStatus const& value)
    {
        return QByteArray(1, char(value.status()));
    }
    static cRelaysStatus decode(QByteArray const& bytes, int offset = 0)
    {
        cRelaysStatus value;
        if (offset >= 0 && offset < bytes.size())
            value.setStatus(quint8(bytes.at(offset)));
        return value;
    }
};

// A typed module value. The value lives in the property's current data as
// payload bytes; only the typed operations are reachable from outside.
template <typename T> class DriverProperty : protected DriverProperty_p
{
public:
    using Codec = DriverValueCodec<T>;

    DriverProperty(AbstractDriver* driver, quint8 cmdGetter, quint8 cmdSetter)
        : DriverProperty_p(driver, cmdGetter, cmdSetter)
    {
    }

    using DriverProperty_p::gettedSignal;
    using DriverProperty_p::settedSignal;

    virtual void getValue() { readWrite(cmdGetter(), QByteArray()); }
    virtual T getValueSync(bool* ok, int const& attempts)
    {
        return Codec::decode(readWriteSync(cmdGetter(), QByteArray(), ok, attempts));
    }
    // Like getValueSync, but an answer shorter than the value fails instead of
    // being zero-filled, for values that must never be taken in part.
    T getValueSyncExact(bool* ok, int const& attempts)
    {
        return Codec::decode(readWriteSync(cmdGetter(), QByteArray(), ok, attempts, Codec::size));
    }
    virtual void setCurrentValue(T const& value) { setBufferData(Codec::encode(value)); }
    virtual T currentValue() { return Codec::decode(data()); }
    virtual void setValue(T const& value) { readWrite(cmdSetter(), Codec::encode(value)); }
    virtual void setValueSync(T const& value, bool* ok, int const& attempts)
    {
        readWriteSync(cmdSetter(), Codec::encode(value), ok, attempts);
    }
    virtual T lastSettedValue() const { return Codec::decode(lastSettedData()); }
};

// Read side only; drivers create it with setter code 0xFF.
template <typename T> class DriverPropertyReadOnly : protected DriverProperty<T>
{
public:
    DriverPropertyReadOnly(AbstractDriver* driver, quint8 cmdGetter, quint8 cmdSetter)
        : DriverProperty<T>(driver, cmdGetter, cmdSetter)
    {
    }

    using DriverProperty<T>::getValue;
    using DriverProperty<T>::getValueSync;
    using DriverProperty<T>::getValueSyncExact;
    using DriverProperty<T>::currentValue;
    using DriverProperty<T>::setCurrentValue;
    using DriverProperty<T>::gettedSignal;
};

// Write side only; drivers create it with getter code 0xFF.
template <typename T> class DriverPropertyWriteOnly : protected DriverProperty<T>
{
public:
    DriverPropertyWriteOnly(AbstractDriver* driver, quint8 cmdGetter, quint8 cmdSetter)
        : DriverProperty<T>(driver, cmdGetter, cmdSetter)
    {
    }

    using DriverProperty<T>::setValue;
    using DriverProperty<T>::setValueSync;
    using DriverProperty<T>::lastSettedValue;
    using DriverProperty<T>::settedSignal;
};

// Keeps one field of a cached record in step with a single-value property: when
// the property's getter is answered, the cached record with that field replaced
// by the property's value is handed to `update`.
template <typename Record, typename Value, typename Single, typename RecordProperty,
          typename Update>
void patchRecordOnGetted(Single* single, RecordProperty* record, Value Record::*field,
                         Update update)
{
    single->gettedSignal().append([=] {
        Record patched = record->currentValue();
        patched.*field = single->currentValue();
        update(patched);
    });
}

// The same for a confirmed set: the field takes the value that was sent.
template <typename Record, typename Value, typename Single, typename RecordProperty,
          typename Update>
void patchRecordOnSetted(Single* single, RecordProperty* record, Value Record::*field,
                         Update update)
{
    single->settedSignal().append([=] {
        Record patched = record->currentValue();
        patched.*field = single->lastSettedValue();
        update(patched);
    });
}

// Deletes a driver's properties in the order given.
template <typename... Properties> void deleteInOrder(Properties*... properties)
{
    (delete properties, ...);
}

#endif // DRIVERPROPERTY_H
