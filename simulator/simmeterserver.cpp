#include "simmeterserver.h"

#include "simcrate.h"
#include "simmeter.h"
#include "simmeterchannel.h"
#include "simmeterpty.h"
#include "simmodule.h"

#include <QTcpServer>
#include <QTcpSocket>

SimMeterServer::SimMeterServer(QObject* parent) : QObject(parent) {}

SimMeterServer::~SimMeterServer() = default;

bool SimMeterServer::start(const SimMeterConfig& config, SimCrate* crate,
                           const QHostAddress& address, QString* error)
{
    SimModule* module = crate->module(config.wiring.address);
    if (!module) {
        *error =
            QStringLiteral("meter: there is no module at address %1").arg(config.wiring.address);
        return false;
    }
    if (!module->output(config.wiring.output)) {
        *error = QStringLiteral("meter: %1 at address %2 has no output \"%3\" (it has: %4)")
                     .arg(module->model())
                     .arg(config.wiring.address)
                     .arg(config.wiring.output, module->outputNames().join(QStringLiteral(", ")));
        return false;
    }
    m_config = config;
    m_meter = new SimMeter(config, module, this);
    m_server = new QTcpServer(this);
    if (!m_server->listen(address, quint16(config.port))) {
        *error = QStringLiteral("meter: cannot listen on port %1: %2")
                     .arg(config.port)
                     .arg(m_server->errorString());
        return false;
    }
    connect(m_server, &QTcpServer::newConnection, this, &SimMeterServer::acceptConnections);
    if (!config.ptyLink.isEmpty()) {
        m_pty = new SimMeterPty(this);
        if (!m_pty->open(config.ptyLink, error))
            return false;
        auto* channel = new SimMeterChannel(
            m_meter, [pty = m_pty](const QByteArray& bytes) { pty->send(bytes); }, m_pty);
        connect(m_pty, &SimMeterPty::received, channel, &SimMeterChannel::receive);
    }
    return true;
}

void SimMeterServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* channel = new SimMeterChannel(
            m_meter, [socket](const QByteArray& bytes) { socket->write(bytes); }, socket);
        connect(socket, &QTcpSocket::readyRead, channel,
                [socket, channel] { channel->receive(socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

quint16 SimMeterServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QStringList SimMeterServer::summary() const
{
    QStringList lines;
    const SimMeterWiring& wiring = m_config.wiring;
    lines << QStringLiteral("  reference meter on TCP port %1, measuring \"%2\" of address %3%4")
                 .arg(port())
                 .arg(wiring.output)
                 .arg(wiring.address)
                 .arg(wiring.shunt > 0 ? QStringLiteral(" across a %1 ohm shunt").arg(wiring.shunt)
                                       : QString());
    if (m_pty) {
        lines << QStringLiteral("  reference meter serial port: %1 (linked from %2)")
                     .arg(m_pty->terminalPath(), m_pty->linkPath());
    }
    QStringList faults;
    if (m_config.silent)
        faults << QStringLiteral("silent");
    if (m_config.garbage)
        faults << QStringLiteral("garbage readings");
    if (m_config.delayMs > 0)
        faults << QStringLiteral("answers %1 ms late").arg(m_config.delayMs);
    if (!faults.isEmpty())
        lines << QStringLiteral("  reference meter faults: %1")
                     .arg(faults.join(QStringLiteral(", ")));
    return lines;
}
