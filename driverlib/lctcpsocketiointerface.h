#ifndef LCTCPSOCKETIOINTERFACE_H
#define LCTCPSOCKETIOINTERFACE_H

#include "lcframereader.h"
#include "lciointerfaceimpl.h"

#include <QHostAddress>

class QTcpSocket;

// The TCP link to a unit. Frames are delivered synchronously from dataReady(),
// which runs from the event loop; a receiver may run a synchronous driver call
// inside that delivery and may delete drivers or the link itself.
class lcTcpSocketIOInterface : public lcIOInterfaceImpl
{
    Q_OBJECT
public:
    static constexpr quint16 defaultPort = 9876;
    static constexpr int connectTimeoutMs = 1000;

    explicit lcTcpSocketIOInterface(QObject* parent = nullptr);
    ~lcTcpSocketIOInterface() override;

    QHostAddress address() const { return m_address; }
    void setAddress(QHostAddress const& address);
    quint16 port() const { return m_port; }
    void setPort(quint16 const& port);

    // Sends raw text (no frame, no terminator), waits `timeout` ms in full while
    // events run, and returns the reply up to its first zero byte. `ok` is false
    // only when the link cannot be opened.
    QString tcpIpQuery(QString query, int timeout, bool* ok);

    bool isSocketReady() const;
    bool isUnitLost() const override { return m_unitLost; }

protected:
    bool pInitialize() override;
    bool pSendMsg(quint8 address, quint8 command, quint8 dataLength, quint8* data) override;

private slots:
    void dataReady();

private:
    void attachReadyRead();
    void clearReceived();
    void socketStateChanged(int state);
    // Drops the connection for a new target, which is not known to be lost.
    void retarget();

    QTcpSocket* m_socket;
    QHostAddress m_address;
    quint16 m_port = defaultPort;
    lcFrameReader m_buffer;
    bool m_textQuery = false;
    bool m_unitLost = false;
    bool m_retargeting = false;
};

#endif // LCTCPSOCKETIOINTERFACE_H
