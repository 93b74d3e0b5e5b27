#ifndef LCIOINTERFACEIMPL_H
#define LCIOINTERFACEIMPL_H

#include "lciointerface.h"

// Routes the public link operations to the hooks a transport implements.
class lcIOInterfaceImpl : public lcIOInterface
{
    Q_OBJECT
public:
    explicit lcIOInterfaceImpl(QObject* parent = nullptr) : lcIOInterface(parent) {}

public slots:
    bool initialize() override;
    bool sendMsg(quint8 address, quint8 command, quint8 dataLength, quint8* data) override;

protected:
    virtual bool pInitialize() = 0;
    virtual bool pSendMsg(quint8 address, quint8 command, quint8 dataLength, quint8* data) = 0;
};

#endif // LCIOINTERFACEIMPL_H
