#include "lctcpsocketiointerface.h"

#include "lclogging.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

lcTcpSocketIOInterface::lcTcpSocketIOInterface(QObject* parent)
    : lcIOInterfaceImpl(parent), m_socket(new QTcpSocket(this))
{
    m_socket->setProxy(QNetworkProxy::NoProxy);
    attachReadyRead();
    // Direct: a connect refused inside pInitialize() must count before it returns.
    connect(m_socket, &QAbstractSocket::stateChanged, this,
            [this](QAbstractSocket::SocketState state) { socketStateChanged(state); });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        qCDebug(lcLink) << "connection to" << m_address.toString() << "port" << m_port << "closed";
    });
}

lcTcpSocketIOInterface::~lcTcpSocketIOInterface()
{
    // abort() closes an open connection and drops a pending one without waiting;
    // nobody hears of it as a lost unit.
    m_socket->disconnect(this);
    m_socket->abort();
}

void lcTcpSocketIOInterface::socketStateChanged(int state)
{
    if (state == QAbstractSocket::ConnectedState) {
        m_unitLost = false;
        return;
    }
    // A closed connection, a refused one and a connect that timed out all end here.
    if (state != QAbstractSocket::UnconnectedState || m_unitLost || m_retargeting)
        return;
    m_unitLost = true;
    emit unitLost();
}

void lcTcpSocketIOInterface::retarget()
{
    m_retargeting = true;
    if (m_socket->isOpen() || m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    m_retargeting = false;
    m_unitLost = false;
}

void lcTcpSocketIOInterface::attachReadyRead()
{
    // Queued, so that frames are delivered from the event loop and not from inside
    // the socket's own readyRead emission: the socket does not announce new data
    // while that emission runs, and a receiver that waits for an answer inside the
    // delivery would otherwise never see it.
    connect(m_socket, &QTcpSocket::readyRead, this, &lcTcpSocketIOInterface::dataReady,
            Qt::QueuedConnection);
}

void lcTcpSocketIOInterface::setAddress(QHostAddress const& address)
{
    m_address = address;
    retarget();
}

void lcTcpSocketIOInterface::setPort(quint16 const& port)
{
    m_port = port;
    retarget();
}

bool lcTcpSocketIOInterface::isSocketReady() const
{
    return m_socket->isOpen() && (int(m_socket->state()) & 3) != 0;
}

bool lcTcpSocketIOInterface::pInitialize()
{
    if (!isSocketReady()) {
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->abort();
        m_socket->connectToHost(m_address, m_port, QIODevice::ReadWrite);
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        m_socket->waitForConnected(connectTimeoutMs);
    const bool connected = m_socket->state() == QAbstractSocket::ConnectedState;
    if (!connected)
        qCDebug(lcLink) << "cannot connect to" << m_address.toString() << "port" << m_port << ":"
                        << m_socket->errorString();
    return connected;
}

void lcTcpSocketIOInterface::clearReceived()
{
    m_buffer.clear();
    // Bytes the socket holds but has not yet handed over belong to the old exchange too.
    m_socket->readAll();
}

bool lcTcpSocketIOInterface::pSendMsg(quint8 address, quint8 command, quint8 dataLength,
                                      quint8* data)
{
    if (!isSocketReady()) {
        initialize();
        if (!isSocketReady())
            return false;
    }
    clearReceived();
    m_socket->write(lcEncodeFrame(address, command, dataLength, data));
    // Hands the frame to the kernel now rather than on the next event loop pass:
    // one pass less in every synchronous call.
    m_socket->flush();
    return true;
}

void lcTcpSocketIOInterface::dataReady()
{
    if (m_textQuery)
        return;
    m_buffer.append(m_socket->readAll());

    QPointer<lcTcpSocketIOInterface> alive(this);
    lcFrame frame;
    while (m_buffer.next(frame)) {
        // Receivers get a private copy: one of them may send (which clears the
        // buffer) or delete the link before the others have run.
        quint8 payload[255];
        std::memcpy(payload, frame.data, frame.length);
        emit msgReceived(frame.address, frame.command, frame.length, payload);
        if (!alive)
            return;
    }
}

QString lcTcpSocketIOInterface::tcpIpQuery(QString query, int timeout, bool* ok)
{
    if (ok)
        *ok = true;
    if (!initialize()) {
        if (ok)
            *ok = false;
        return QString();
    }
    clearReceived();
    disconnect(m_socket, &QTcpSocket::readyRead, this, &lcTcpSocketIOInterface::dataReady);
    m_textQuery = true;
    m_socket->write(query.toLatin1());

    QPointer<lcTcpSocketIOInterface> alive(this);
    QEventLoop loop;
    QTimer::singleShot(qMax(0, timeout), &loop, &QEventLoop::quit);
    loop.exec();
    if (!alive) {
        // The link went away during the wait: there is no reply to give.
        if (ok)
            *ok = false;
        return QString();
    }

    m_textQuery = false;
    m_buffer.append(m_socket->readAll());
    attachReadyRead();

    const QByteArray reply = m_buffer.pending();
    const int zero = reply.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? reply : reply.left(zero));
}
