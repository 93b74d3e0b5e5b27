#ifndef FAKELINK_H
#define FAKELINK_H

#include "lciointerfaceimpl.h"

#include <QByteArray>
#include <QList>
#include <functional>

// An in-process link: records every frame sent and delivers scripted answers
// through the event loop, as a socket would, without any network.
class FakeLink : public lcIOInterfaceImpl
{
    Q_OBJECT
public:
    struct Frame
    {
        quint8 address;
        quint8 command;
        QByteArray payload;
    };
    // Answers a request; an empty optional-like result (ok false) sends nothing.
    using Responder = std::function<bool(const Frame& request, Frame& answer)>;

    explicit FakeLink(QObject* parent = nullptr) : lcIOInterfaceImpl(parent) {}

    QList<Frame> sent;
    Responder responder;

    // Delivers one frame to every endpoint now, as a received frame.
    void deliver(quint8 address, quint8 command, QByteArray payload);

protected:
    bool pInitialize() override { return true; }
    bool pSendMsg(quint8 address, quint8 command, quint8 dataLength, quint8* data) override;
};

// A responder that echoes the request's command with `payload` for getters
// listed in `answers`, and confirms every other request with an empty payload.
FakeLink::Responder answering(QMap<quint8, QByteArray> answers);

// Little-endian bytes of plain values, for building payloads.
QByteArray leBytes(float value);
QByteArray leBytes(quint32 value);

// The byte image of a record, as it travels in a payload.
template <typename T> QByteArray image(const T& record)
{
    return QByteArray(reinterpret_cast<const char*>(&record), sizeof(T));
}

// Puts a driver on the link at a device address.
template <typename Driver> void attach(Driver& driver, FakeLink& link, quint8 address)
{
    driver.setIOInterface(&link);
    driver.setDevAddress(address);
}

#endif // FAKELINK_H
