#include "simconnection.h"

#include "simserver.h"

#include <QTcpSocket>

namespace {

const QByteArray textQuery = "*IDN?";
// Read in slices, so a text query never costs more than a slice to resynchronise.
constexpr qint64 readSlice = 4096;
// Beyond this much unsent output we stop reading until the peer catches up.
constexpr qint64 maxBacklog = 1 << 20;

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

} // namespace

SimConnection::SimConnection(QTcpSocket* socket, int id, SimServer* server)
    : QObject(server), m_socket(socket), m_id(id), m_server(server)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(readSlice);
    m_sendTimer.setSingleShot(true);
    m_clock.start();
    connect(&m_sendTimer, &QTimer::timeout, this, &SimConnection::sendDue);
    connect(m_socket, &QTcpSocket::readyRead, this, &SimConnection::readFromSocket);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &SimConnection::readFromSocket);
    connect(m_socket, &QTcpSocket::disconnected, this, &SimConnection::onDisconnected);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this] {
        m_server->log(QStringLiteral("connection %1: %2").arg(m_id).arg(m_socket->errorString()));
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            onDisconnected();
    });
    // Bytes may have arrived before the signals were connected.
    QTimer::singleShot(0, this, &SimConnection::readFromSocket);
}

SimConnection::~SimConnection()
{
    m_socket->disconnect(this);
}

void SimConnection::send(const QByteArray& bytes)
{
    if (m_closing)
        return;
    const int delay = m_server->config().delayMs;
    if (delay <= 0 && m_queue.empty()) {
        write(bytes);
        return;
    }
    m_queue.push_back({m_clock.elapsed() + delay, bytes});
    m_queuedBytes += bytes.size();
    if (!m_sendTimer.isActive())
        m_sendTimer.start(int(qMax<qint64>(0, m_queue.front().due - m_clock.elapsed())));
}

void SimConnection::sendDue()
{
    while (!m_queue.empty() && m_queue.front().due <= m_clock.elapsed()) {
        const QByteArray bytes = std::move(m_queue.front().bytes);
        m_queue.pop_front();
        m_queuedBytes -= bytes.size();
        write(bytes);
    }
    if (!m_queue.empty())
        m_sendTimer.start(int(qMax<qint64>(0, m_queue.front().due - m_clock.elapsed())));
}

void SimConnection::write(const QByteArray& bytes)
{
    if (m_closing || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_server->log(QStringLiteral("connection %1 sent: %2").arg(m_id).arg(hex(bytes)));
    if (m_socket->write(bytes) != bytes.size()) {
        m_server->log(QStringLiteral("connection %1: write failed: %2")
                          .arg(m_id)
                          .arg(m_socket->errorString()));
        m_closing = true;
        m_socket->abort();
        deleteLater();
    }
}

bool SimConnection::backedUp() const
{
    return m_socket->bytesToWrite() + m_queuedBytes > maxBacklog;
}

void SimConnection::readFromSocket()
{
    processPending();
    while (!m_closing && !backedUp() && m_socket->bytesAvailable() > 0) {
        m_reader.append(m_socket->read(readSlice));
        processPending();
    }
}

void SimConnection::processPending()
{
    QByteArray unread = m_reader.pending();
    int offset = 0;
    while (!m_closing && !backedUp()) {
        if (offset < unread.size() && unread.at(offset) == textQuery.at(0)) {
            // No module sits at address 42, so '*' starts text, never a frame.
            if (unread.size() - offset < textQuery.size())
                return;
            unread = unread.mid(offset + consumeText(unread, offset));
            offset = 0;
            m_reader.clear();
            m_reader.append(unread);
            continue;
        }
        lcFrame frame;
        if (!m_reader.next(frame))
            return;
        offset += lcFrameReader::headerSize + frame.length;
        handleFrame(frame);
    }
}

int SimConnection::consumeText(const QByteArray& unread, int offset)
{
    int used = textQuery.size();
    if (unread.mid(offset, used).toUpper() == textQuery) {
        m_server->log(QStringLiteral("connection %1 received text query").arg(m_id));
        send(m_server->config().identification);
        // Tolerate a line end from a terminal, as far as it has arrived already.
        while (offset + used < unread.size() &&
               (unread.at(offset + used) == '\r' || unread.at(offset + used) == '\n'))
            ++used;
        return used;
    }
    // Unknown text: skip its line, or all we have when the line end is not here yet.
    const int lineEnd = unread.indexOf('\n', offset);
    used = lineEnd < 0 ? unread.size() - offset : lineEnd + 1 - offset;
    m_server->log(QStringLiteral("connection %1 ignored text: %2")
                      .arg(m_id)
                      .arg(hex(unread.mid(offset, used))));
    return used;
}

void SimConnection::handleFrame(const lcFrame& frame)
{
    ++m_framesReceived;
    m_server->log(
        QStringLiteral("connection %1 received: %2")
            .arg(m_id)
            .arg(hex(lcEncodeFrame(frame.address, frame.command, frame.length, frame.data))));
    const int closeAfter = m_server->config().closeAfter;
    if (closeAfter > 0 && m_framesReceived >= closeAfter) {
        m_server->log(QStringLiteral("connection %1: closing after %2 frames")
                          .arg(m_id)
                          .arg(m_framesReceived));
        close();
        return;
    }
    if (const std::optional<QByteArray> answer = m_server->answer(this, frame))
        send(*answer);
}

void SimConnection::close()
{
    m_closing = true;
    m_queue.clear();
    m_queuedBytes = 0;
    m_sendTimer.stop();
    // Lets answers already handed to the socket go out first; disconnected() follows.
    m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        deleteLater();
}

void SimConnection::onDisconnected()
{
    m_closing = true;
    m_sendTimer.stop();
    deleteLater();
}
