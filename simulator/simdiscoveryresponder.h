#ifndef SIMDISCOVERYRESPONDER_H
#define SIMDISCOVERYRESPONDER_H

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

class QUdpSocket;

// The unit's side of discovery: every datagram that is exactly "lc-software" makes it
// connect back to the sender's TCP call-back port, send its identification and close.
class SimDiscoveryResponder : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 defaultDiscoveryPort = 9877;
    static constexpr quint16 defaultCallbackPort = 9878;
    // Bounds the call-backs in flight, so a flood of datagrams cannot pile up sockets.
    static constexpr int maxPendingCallBacks = 32;
    static constexpr int callBackTimeoutMs = 2000;

    explicit SimDiscoveryResponder(QObject* parent = nullptr);
    ~SimDiscoveryResponder() override;

    void setCallbackPort(quint16 port) { m_callbackPort = port; }
    quint16 callbackPort() const { return m_callbackPort; }
    // Must not be empty: the host drops call-backs that send nothing.
    void setIdentification(QByteArray const& identification);
    QByteArray identification() const { return m_identification; }

    // The address call-backs leave from, so that the host sees the unit there; by
    // default the address start() binds to, when that is a specific one. A
    // loopback address answers hosts on other addresses from any address.
    void setReplyAddress(QHostAddress const& address) { m_replyAddress = address; }

    // Shares the port with other responders so that several simulators on one machine
    // all answer a broadcast. Bound to a specific address, call-backs also leave from it.
    bool start(quint16 port = defaultDiscoveryPort,
               QHostAddress const& address = QHostAddress(QHostAddress::AnyIPv4));
    void stop();
    bool isListening() const;
    // The bound port (useful after start(0)).
    quint16 port() const;
    QString errorString() const { return m_error; }

    int pendingCallBacks() const { return m_pending; }

signals:
    // After the identification was written and the call-back closed. Hosts are given
    // as text so that the signals queue across threads without registration.
    void calledBack(QString const& host, quint16 port);
    void callBackFailed(QString const& host, quint16 port, QString const& error);

private slots:
    void readDatagrams();

private:
    void callBack(QHostAddress host);

    QUdpSocket* m_socket = nullptr;
    QHostAddress m_bindAddress;
    QHostAddress m_replyAddress;
    quint16 m_callbackPort = defaultCallbackPort;
    QByteArray m_identification = "Velmora Lumicrate LC4 simulator";
    QString m_error;
    int m_pending = 0;
};

#endif // SIMDISCOVERYRESPONDER_H
