#include "lciodeviceimpl.h"

#include "lciointerface.h"

void lcIODeviceImpl::setIOInterface(lcIOInterface* link)
{
    if (!link)
        return;
    m_link = link;
    connect(link, &lcIOInterface::msgReceived, this, &lcIODeviceImpl::msgReceived,
            Qt::DirectConnection);
    // A link deleted before its endpoints must not leave a dangling pointer behind.
    connect(link, &QObject::destroyed, this, [this, link] {
        if (m_link == link)
            m_link = nullptr;
    });
}

void lcIODeviceImpl::sendMsg(quint8 command, quint8 dataLength, quint8* data)
{
    if (m_link)
        m_link->sendMsg(m_devAddress, command, dataLength, data);
}

void lcIODeviceImpl::msgReceived(quint8 address, quint8 command, quint8 dataLength, quint8* data)
{
    pMsgReceived(address, command, dataLength, data);
}
