#ifndef LCIODEVICE_H
#define LCIODEVICE_H

#include <QObject>

class lcIOInterface;

// One module of a unit as seen from the host: a device address on a link.
class lcIODevice : public QObject
{
    Q_OBJECT
public:
    explicit lcIODevice(QObject* parent = nullptr) : QObject(parent) {}

    virtual lcIOInterface* iOInterface() const = 0;
    virtual void setIOInterface(lcIOInterface* link) = 0;
    virtual quint8 devAddress() const = 0;
    virtual void setDevAddress(quint8 const& address) = 0;

public slots:
    virtual void sendMsg(quint8 command, quint8 dataLength, quint8* data) = 0;
    virtual void msgReceived(quint8 address, quint8 command, quint8 dataLength, quint8* data) = 0;
};

#endif // LCIODEVICE_H
