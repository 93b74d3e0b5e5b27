#include "simserver.h"

#include "lcframereader.h"
#include "lclogging.h"
#include "simconnection.h"
#include "simcrate.h"
#include "simmodule.h"

#include <QTcpSocket>

#include <cstdio>

namespace {

// Frames to this address mark the start and end of a bias sweep; the host waits
// for any frame back.
constexpr quint8 broadcastAddress = 255;
constexpr quint8 sweepAnnounce = 4;
constexpr quint8 sweepClose = 5;

} // namespace

SimServer::SimServer(SimCrate* crate, const SimServerConfig& config, QObject* parent)
    : QObject(parent), m_crate(crate), m_config(config)
{
    connect(&m_server, &QTcpServer::newConnection, this, &SimServer::acceptConnections);
    for (SimModule* module : m_crate->modules())
        connect(module, &SimModule::unsolicitedFrame, this, &SimServer::sendUnsolicited);
}

bool SimServer::listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (!m_server.listen(address, port)) {
        *error = QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(address.toString())
                     .arg(port)
                     .arg(m_server.errorString());
        return false;
    }
    return true;
}

void SimServer::log(const QString& line) const
{
    qCDebug(lcSimulator).noquote() << line;
}

void SimServer::error(const QString& line)
{
    std::fprintf(stderr, "lc-simulator: %s\n", qUtf8Printable(line));
}

void SimServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const int id = m_nextConnectionId++;
        bool isIPv4 = false;
        const quint32 ipv4 = socket->peerAddress().toIPv4Address(&isIPv4);
        log(QStringLiteral("connection %1 from %2 port %3")
                .arg(id)
                .arg(isIPv4 ? QHostAddress(ipv4).toString() : socket->peerAddress().toString())
                .arg(socket->peerPort()));
        auto* connection = new SimConnection(socket, id, this);
        ++m_connectionCount;
        connect(connection, &QObject::destroyed, this, [this, id] {
            --m_connectionCount;
            log(QStringLiteral("connection %1 closed").arg(id));
        });
    }
}

bool SimServer::dropAnswer()
{
    return m_config.dropEvery > 0 && ++m_answers % quint64(m_config.dropEvery) == 0;
}

bool SimServer::isNth(int every, quint64* count)
{
    return every > 0 && ++*count % quint64(every) == 0;
}

std::optional<QByteArray> SimServer::answer(SimConnection* from, const lcFrame& frame)
{
    const QString prefix = QStringLiteral("connection %1: ").arg(from->id());
    std::optional<QByteArray> payload;
    if (frame.address == broadcastAddress) {
        if (frame.command == sweepAnnounce || frame.command == sweepClose)
            payload = QByteArray();
    } else if (SimModule* module = m_crate->module(frame.address)) {
        m_lastRequester.insert(frame.address, from);
        if (m_config.silent.contains(frame.address)) {
            log(prefix + QStringLiteral("address %1 is silent").arg(frame.address));
            return std::nullopt;
        }
        if (!module->hasCommand(frame.command)) {
            log(prefix + QStringLiteral("%1 at address %2 has no command 0x%3")
                             .arg(module->model())
                             .arg(frame.address)
                             .arg(frame.command, 2, 16, QLatin1Char('0')));
            return std::nullopt;
        }
        payload = module->handle(
            frame.command, QByteArray(reinterpret_cast<const char*>(frame.data), frame.length));
    } else {
        log(prefix + QStringLiteral("no module at address %1").arg(frame.address));
    }
    if (!payload)
        return std::nullopt;
    if (payload->size() > 255) {
        error(QStringLiteral("answer to command 0x%1 at address %2 has %3 bytes, more than a "
                             "frame carries; not sent")
                  .arg(frame.command, 2, 16, QLatin1Char('0'))
                  .arg(frame.address)
                  .arg(payload->size()));
        return std::nullopt;
    }
    if (dropAnswer()) {
        log(prefix +
            QStringLiteral("dropping the answer to %1 %2").arg(frame.address).arg(frame.command));
        return std::nullopt;
    }
    if (isNth(m_config.truncateEvery, &m_truncateCount) && !payload->isEmpty()) {
        log(prefix +
            QStringLiteral("truncating the answer to %1 %2").arg(frame.address).arg(frame.command));
        payload->chop(1);
    }
    QByteArray bytes = lcEncodeFrame(frame.address, frame.command, quint8(payload->size()),
                                     reinterpret_cast<const quint8*>(payload->constData()));
    if (isNth(m_config.garbageEvery, &m_garbageCount)) {
        QByteArray garbage(int(std::uniform_int_distribution<int>(1, 4)(m_garbage)), '\0');
        for (char& byte : garbage)
            byte = char(std::uniform_int_distribution<int>(0, 255)(m_garbage));
        log(prefix + QStringLiteral("garbage before the answer to %1 %2")
                         .arg(frame.address)
                         .arg(frame.command));
        bytes.prepend(garbage);
    }
    return bytes;
}

void SimServer::sendUnsolicited(quint8 address, quint8 command, const QByteArray& payload)
{
    SimConnection* target = m_lastRequester.value(address);
    if (!target || payload.size() > 255 || m_config.silent.contains(address)) {
        log(QStringLiteral("frame %1 %2 from the module is not sent").arg(address).arg(command));
        return;
    }
    target->send(lcEncodeFrame(address, command, quint8(payload.size()),
                               reinterpret_cast<const quint8*>(payload.constData())));
}
