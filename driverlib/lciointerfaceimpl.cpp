#include "lciointerfaceimpl.h"

bool lcIOInterfaceImpl::initialize()
{
    return pInitialize();
}

bool lcIOInterfaceImpl::sendMsg(quint8 address, quint8 command, quint8 dataLength, quint8* data)
{
    return pSendMsg(address, command, dataLength, data);
}
