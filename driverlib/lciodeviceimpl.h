#ifndef LCIODEVICEIMPL_H
#define LCIODEVICEIMPL_H

#include "lciodevice.h"

// Binds a device address to a link. Every endpoint on a link sees every frame;
// pMsgReceived decides which ones are its own. The link is never owned.
class lcIODeviceImpl : public lcIODevice
{
    Q_OBJECT
public:
    explicit lcIODeviceImpl(QObject* parent = nullptr) : lcIODevice(parent) {}

    lcIOInterface* iOInterface() const override { return m_link; }
    void setIOInterface(lcIOInterface* link) override;
    quint8 devAddress() const override { return m_devAddress; }
    void setDevAddress(quint8 const& address) override { m_devAddress = address; }

public slots:
    void sendMsg(quint8 command, quint8 dataLength, quint8* data) override;
    void msgReceived(quint8 address, quint8 command, quint8 dataLength, quint8* data) override;

protected:
    virtual bool pMsgReceived(quint8 address, quint8 command, quint8 dataLength, quint8* data) = 0;

private:
    lcIOInterface* m_link = nullptr;
    quint8 m_devAddress = 0;
};

#endif // LCIODEVICEIMPL_H
