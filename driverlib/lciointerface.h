#ifndef LCIOINTERFACE_H
#define LCIOINTERFACE_H

#include <QObject>

// A link to a unit: opens the connection, sends frames and announces every
// complete frame received. `data` in msgReceived is valid only while the
// signal is being delivered; receivers that keep the payload copy it.
class lcIOInterface : public QObject
{
    Q_OBJECT
public:
    explicit lcIOInterface(QObject* parent = nullptr) : QObject(parent) {}

public slots:
    virtual bool initialize() = 0;
    virtual bool sendMsg(quint8 address, quint8 command, quint8 dataLength, quint8* data) = 0;

signals:
    void msgReceived(quint8 address, quint8 command, quint8 dataLength, quint8* data);
};

#endif // LCIOINTERFACE_H
