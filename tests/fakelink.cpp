#include "fakelink.h"

#include <QMap>
#include <QTimer>
#include <QtEndian>

#include <cstring>

void FakeLink::deliver(quint8 address, quint8 command, QByteArray payload)
{
    emit msgReceived(address, command, quint8(payload.size()),
                     reinterpret_cast<quint8*>(payload.data()));
}

bool FakeLink::pSendMsg(quint8 address, quint8 command, quint8 dataLength, quint8* data)
{
    const Frame request{address, command, QByteArray(reinterpret_cast<char*>(data), dataLength)};
    sent.append(request);
    Frame answer{address, command, QByteArray()};
    if (responder && responder(request, answer))
        QTimer::singleShot(
            0, this, [this, answer] { deliver(answer.address, answer.command, answer.payload); });
    return true;
}

FakeLink::Responder answering(QMap<quint8, QByteArray> answers)
{
    return [answers](const FakeLink::Frame& request, FakeLink::Frame& answer) {
        answer.payload = answers.value(request.command);
        return true;
    };
}

QByteArray leBytes(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, 4);
    return leBytes(bits);
}

QByteArray leBytes(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}
