#include "simconnection.h"

#include "simserver.h"

#include <QTcpSocket>

namespace {

// The one text query a unit answers.
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

void SimHostStream::append(const QByteArray& bytes)
{
    m_reader.append(bytes);
    m_stale = true;
}

SimHostStream::Item SimHostStream::next(lcFrame* frame, QByteArray* text)
{
    if (m_stale) {
        m_unread = m_reader.pending();
        m_offset = 0;
        m_stale = false;
    }
    if (m_offset < m_unread.size() && m_unread.at(m_offset) == textQuery.at(0)) {
        if (m_unread.size() - m_offset < textQuery.size())
            return Item::Incomplete;
        int used = textQuery.size();
        const bool query = m_unread.mid(m_offset, used).toUpper() == textQuery;
        if (query) {
            // Tolerate a line end from a terminal, as far as it has arrived already.
            while (m_offset + used < m_unread.size() &&
                   (m_unread.at(m_offset + used) == '\r' || m_unread.at(m_offset + used) == '\n'))
                ++used;
        } else {
            // Unknown text: skip its line, or all we have when the line end is not here yet.
            const int lineEnd = m_unread.indexOf('\n', m_offset);
            used = lineEnd < 0 ? m_unread.size() - m_offset : lineEnd + 1 - m_offset;
        }
        *text = m_unread.mid(m_offset, used);
        m_unread = m_unread.mid(m_offset + used);
        m_offset = 0;
        m_reader.clear();
        m_reader.append(m_unread);
        return query ? Item::IdentityQuery : Item::IgnoredText;
    }
    if (!m_reader.next(*frame))
        return Item::Incomplete;
    m_offset += lcFrameReader::headerSize + frame->length;
    return Item::Frame;
}

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
        m_stream.append(m_socket->read(readSlice));
        processPending();
    }
}

void SimConnection::processPending()
{
    while (!m_closing && !backedUp()) {
        lcFrame frame;
        QByteArray text;
        switch (m_stream.next(&frame, &text)) {
        case SimHostStream::Item::Incomplete:
            return;
        case SimHostStream::Item::Frame:
            handleFrame(frame);
            break;
        case SimHostStream::Item::IdentityQuery:
            m_server->log(QStringLiteral("connection %1 received text query").arg(m_id));
            send(m_server->config().identification);
            break;
        case SimHostStream::Item::IgnoredText:
            m_server->log(
                QStringLiteral("connection %1 ignored text: %2").arg(m_id).arg(hex(text)));
            break;
        }
    }
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
