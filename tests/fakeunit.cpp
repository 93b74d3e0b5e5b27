#include "fakeunit.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

FakeUnit::FakeUnit(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &FakeUnit::onNewConnection);
    m_server->listen(QHostAddress::LocalHost, 0);
}

FakeUnit::~FakeUnit()
{
    for (const Connection& c : qAsConst(m_connections))
        if (c.socket)
            c.socket->abort();
}

QByteArray FakeUnit::frame(quint8 address, quint8 command, QByteArray const& payload)
{
    QByteArray bytes;
    bytes.append(char(address));
    bytes.append(char(command));
    bytes.append(char(payload.size()));
    return bytes + payload;
}

quint16 FakeUnit::port() const
{
    return m_server->serverPort();
}

void FakeUnit::answer(quint8 address, quint8 command, QByteArray const& reply, int delayMs,
                      int onlyAttempt)
{
    m_rules.append({address, command, reply, delayMs, onlyAttempt, 0});
}

int FakeUnit::resolve(int connection) const
{
    return connection < 0 ? m_connections.size() - 1 : connection;
}

void FakeUnit::send(QByteArray const& bytes, int delayMs, int connection)
{
    const int index = resolve(connection);
    if (index < 0 || index >= m_connections.size())
        return;
    QPointer<QTcpSocket> socket = m_connections[index].socket;
    auto write = [socket, bytes] {
        if (socket && socket->state() == QAbstractSocket::ConnectedState) {
            socket->write(bytes);
            socket->flush();
        }
    };
    if (delayMs <= 0)
        write();
    else
        QTimer::singleShot(delayMs, this, write);
}

void FakeUnit::sendPieces(QList<QByteArray> const& pieces, int delayMs, int connection)
{
    if (pieces.isEmpty())
        return;
    const int index = resolve(connection);
    // Chained, so that each piece leaves in its own write after its own pause.
    QTimer::singleShot(delayMs, this, [this, pieces, delayMs, index] {
        send(pieces.first(), 0, index);
        sendPieces(pieces.mid(1), delayMs, index);
    });
}

void FakeUnit::closeConnection(int connection)
{
    const int index = resolve(connection);
    if (index >= 0 && index < m_connections.size() && m_connections[index].socket)
        m_connections[index].socket->disconnectFromHost();
}

QByteArray FakeUnit::received(int connection) const
{
    const int index = resolve(connection);
    return index >= 0 && index < m_connections.size() ? m_connections[index].received
                                                      : QByteArray();
}

void FakeUnit::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        const int index = m_connections.size();
        m_connections.append({socket, {}, {}});
        connect(socket, &QTcpSocket::readyRead, this, [this, index] { onReadyRead(index); });
        connect(socket, &QTcpSocket::disconnected, this, [this, index, socket] {
            socket->deleteLater();
            emit connectionClosed(index);
        });
        emit connectionAccepted(index);
    }
}

void FakeUnit::answerText(QByteArray const& query, QByteArray const& reply, int delayMs)
{
    m_textRules.append({query, reply, delayMs});
}

void FakeUnit::onReadyRead(int index)
{
    Connection& c = m_connections[index];
    const QByteArray bytes = c.socket->readAll();
    c.received += bytes;
    c.unparsed += bytes;
    emit bytesReceived(index);

    for (const TextRule& rule : qAsConst(m_textRules)) {
        if (c.unparsed.startsWith(rule.query)) {
            c.unparsed.remove(0, rule.query.size());
            send(rule.reply, rule.delayMs, index);
        }
    }
    while (c.unparsed.size() >= 3) {
        const int length = quint8(c.unparsed.at(2));
        if (c.unparsed.size() < 3 + length)
            break;
        FakeFrame f{index, quint8(c.unparsed.at(0)), quint8(c.unparsed.at(1)),
                    c.unparsed.mid(3, length)};
        c.unparsed.remove(0, 3 + length);
        m_frames.append(f);
        for (Rule& rule : m_rules) {
            if (rule.address != f.address || rule.command != f.command)
                continue;
            ++rule.seen;
            if (rule.onlyAttempt <= 0 || rule.onlyAttempt == rule.seen)
                send(rule.reply, rule.delayMs, index);
        }
        emit frameReceived(f);
    }
}

QString describe(FakeFrame const& frame)
{
    return QStringLiteral("%1 %2 [%3]")
        .arg(frame.address, 2, 16, QLatin1Char('0'))
        .arg(frame.command, 2, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(frame.payload.toHex()));
}

QStringList describe(QList<FakeFrame> const& frames)
{
    QStringList out;
    for (const FakeFrame& frame : frames)
        out << describe(frame);
    return out;
}
