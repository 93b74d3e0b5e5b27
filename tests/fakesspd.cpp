#include "fakesspd.h"

#include "sspddriverm1.h"

#include <cstring>

namespace {

template <typename T> QByteArray bytesOf(T const& value)
{
    return QByteArray(reinterpret_cast<char const*>(&value), sizeof(T));
}

template <typename T> T valueOf(QByteArray const& payload)
{
    T value{};
    std::memcpy(&value, payload.constData(), qMin(size_t(payload.size()), sizeof(T)));
    return value;
}

} // namespace

float payloadFloat(QByteArray const& payload)
{
    return valueOf<float>(payload);
}

FakeSspd::FakeSspd(QString type_, quint8 address_) : type(std::move(type_)), address(address_)
{
    params.timeConst = 1;
    m_clock.start();
    connect(&unit, &FakeUnit::frameReceived, this, &FakeSspd::onFrame);
}

QList<FakeFrame> FakeSspd::received(quint8 command) const
{
    QList<FakeFrame> out;
    for (FakeFrame const& frame : unit.frames())
        if (frame.address == address && frame.command == command)
            out.append(frame);
    return out;
}

void FakeSspd::onFrame(FakeFrame const& frame)
{
    if (frame.address != address)
        return;
    qint64 const now = m_clock.elapsed();
    if (now < m_pendingUntil)
        ++overlaps;
    if (silent.contains(frame.command))
        return;
    bool known = false;
    QByteArray const payload = answerFor(frame, &known);
    if (!known)
        return;
    int const delay = delayMs.value(frame.command, 0);
    m_pendingUntil = now + delay;
    unit.send(FakeUnit::frame(address, frame.command, payload), delay, frame.connection);
}

QByteArray FakeSspd::answerFor(FakeFrame const& frame, bool* known)
{
    *known = true;
    QByteArray const& in = frame.payload;
    switch (frame.command) {
    case 0x00:
        return {};
    case 0x05: {
        QByteArray udid;
        for (int i = 0; i < 12; ++i)
            udid.append(char(0xA0 + i));
        return udid;
    }
    case 0x06:
        return type.toUtf8();
    case 0x07:
        return "mod 1";
    case 0x08:
        return "hw 2";
    case 0x09:
        return "fw 3";
    case 0x0A:
        return "fake <detector>";
    default:
        break;
    }
    if (!isSspd()) {
        *known = false;
        return {};
    }
    switch (frame.command) {
    case 0x10:
        if (beforeData)
            beforeData(*this);
        if (isM1()) {
            LC4SDM1_Data_t data{};
            data.current = current;
            data.currentMonitor = monitor;
            data.voltage = voltage;
            data.counts = counts;
            data.status.byte = status;
            return bytesOf(data);
        } else {
            LC4SDM0V1_Data_t data{};
            data.current = current;
            data.voltage = voltage;
            data.counts = counts;
            data.status.byte = status;
            return bytesOf(data);
        }
    case 0x11:
        return bytesOf(current);
    case 0x12:
        current = valueOf<float>(in);
        if (afterCurrentSet)
            afterCurrentSet(*this);
        return {};
    case 0x13:
        return bytesOf(voltage);
    case 0x14:
        return bytesOf(counts);
    case 0x15:
        return QByteArray(1, char(status));
    case 0x16:
        status = in.isEmpty() ? status : quint8(in.at(0));
        return {};
    case 0x17:
    case 0x18:
    case 0x19:
    case 0x1A:
    case 0x1B:
    case 0x1C:
    case 0x38: {
        int const bit = frame.command == 0x38 ? 3 : frame.command - 0x16;
        bool const on = !in.isEmpty() && in.at(0) != 0;
        status = on ? quint8(status | (1u << bit)) : quint8(status & ~(1u << bit));
        return {};
    }
    case 0x1D:
        return bytesOf(params);
    case 0x1E:
        params = valueOf<LC4SDM0V1_Param_t>(in);
        return {};
    case 0x1F:
        return bytesOf(params.cmpReferenceLevel);
    case 0x20:
        params.cmpReferenceLevel = valueOf<float>(in);
        return {};
    case 0x21:
        return bytesOf(params.timeConst);
    case 0x22:
        params.timeConst = valueOf<float>(in);
        return {};
    case 0x33:
        return QByteArray(1, pid ? '\1' : '\0');
    case 0x34:
        pid = !in.isEmpty() && in.at(0) != 0;
        return {};
    default:
        *known = false;
        return {};
    }
}
