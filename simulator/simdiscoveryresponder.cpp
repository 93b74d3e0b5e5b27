#include "simdiscoveryresponder.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

namespace {
const QByteArray discoveryDatagram = QByteArrayLiteral("lc-software");

bool isAnyAddress(QHostAddress const& address)
{
    return address.isNull() || address == QHostAddress(QHostAddress::Any) ||
           address == QHostAddress(QHostAddress::AnyIPv4) ||
           address == QHostAddress(QHostAddress::AnyIPv6);
}
} // namespace

SimDiscoveryResponder::SimDiscoveryResponder(QObject* parent) : QObject(parent) {}

SimDiscoveryResponder::~SimDiscoveryResponder()
{
    stop();
    // Call-backs still in flight must not report back into a half-destroyed object.
    for (QTcpSocket* socket : findChildren<QTcpSocket*>(QString(), Qt::FindDirectChildrenOnly)) {
        socket->disconnect();
        delete socket;
    }
}

void SimDiscoveryResponder::setIdentification(QByteArray const& identification)
{
    if (!identification.isEmpty())
        m_identification = identification;
}

bool SimDiscoveryResponder::start(quint16 port, QHostAddress const& address)
{
    stop();
    m_socket = new QUdpSocket(this);
    m_socket->setProxy(QNetworkProxy::NoProxy);
    if (!m_socket->bind(address, port,
                        QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        m_error = m_socket->errorString();
        delete m_socket;
        m_socket = nullptr;
        return false;
    }
    m_bindAddress = address;
    m_error.clear();
    connect(m_socket, &QUdpSocket::readyRead, this, &SimDiscoveryResponder::readDatagrams);
    return true;
}

void SimDiscoveryResponder::stop()
{
    delete m_socket;
    m_socket = nullptr;
}

bool SimDiscoveryResponder::isListening() const
{
    return m_socket && m_socket->state() == QAbstractSocket::BoundState;
}

quint16 SimDiscoveryResponder::port() const
{
    return m_socket ? m_socket->localPort() : 0;
}

void SimDiscoveryResponder::readDatagrams()
{
    while (m_socket && m_socket->hasPendingDatagrams()) {
        QNetworkDatagram const datagram = m_socket->receiveDatagram();
        if (!datagram.isValid() || datagram.data() != discoveryDatagram)
            continue;
        QHostAddress sender = datagram.senderAddress();
        bool isIPv4 = false;
        quint32 const ipv4 = sender.toIPv4Address(&isIPv4);
        if (isIPv4)
            sender = QHostAddress(ipv4);
        if (sender.isNull() || m_pending >= maxPendingCallBacks)
            continue;
        callBack(sender);
    }
}

void SimDiscoveryResponder::callBack(QHostAddress host)
{
    quint16 const port = m_callbackPort;
    auto* socket = new QTcpSocket(this);
    socket->setProxy(QNetworkProxy::NoProxy);
    // A loopback address reaches no other address; such a host is this one, which
    // sees any of its own addresses as loopback.
    const QHostAddress from = isAnyAddress(m_replyAddress) ? m_bindAddress : m_replyAddress;
    const bool reachable = !from.isLoopback() || host.isLoopback();
    if (!isAnyAddress(from) && reachable && !socket->bind(from)) {
        emit callBackFailed(host.toString(), port, socket->errorString());
        delete socket;
        return;
    }
    ++m_pending;
    // Every path ends here exactly once, whichever of the signals comes first.
    auto finished = std::make_shared<bool>(false);
    auto finish = [this, socket, host, port, finished](bool ok, QString const& error) {
        if (*finished)
            return;
        *finished = true;
        --m_pending;
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->abort();
        socket->deleteLater();
        if (ok)
            emit calledBack(host.toString(), port);
        else
            emit callBackFailed(host.toString(), port, error);
    };

    QByteArray const identification = m_identification;
    connect(socket, &QTcpSocket::connected, socket, [socket, identification] {
        socket->write(identification);
        socket->disconnectFromHost();
    });
    // Only reached after connected(), so the identification went out.
    connect(socket, &QTcpSocket::disconnected, socket, [finish] { finish(true, QString()); });
    connect(socket, &QAbstractSocket::errorOccurred, socket,
            [socket, finish](QAbstractSocket::SocketError error) {
                // The host closing first after reading is a normal end.
                if (error == QAbstractSocket::RemoteHostClosedError)
                    finish(true, QString());
                else
                    finish(false, socket->errorString());
            });
    QTimer::singleShot(callBackTimeoutMs, socket,
                       [finish] { finish(false, QStringLiteral("call-back timed out")); });
    socket->connectToHost(host, port);
}
