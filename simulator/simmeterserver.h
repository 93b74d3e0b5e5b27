#ifndef SIMMETERSERVER_H
#define SIMMETERSERVER_H

#include "simmeterconfig.h"

#include <QHostAddress>
#include <QObject>
#include <QStringList>

class QTcpServer;
class SimCrate;
class SimMeter;
class SimMeterPty;

// The simulated reference meter on its SCPI socket and, when asked, on a
// pseudo-terminal standing for its serial port.
class SimMeterServer : public QObject
{
    Q_OBJECT
public:
    explicit SimMeterServer(QObject* parent = nullptr);
    ~SimMeterServer() override;

    // Refuses a wiring to a module or output the crate does not have.
    bool start(const SimMeterConfig& config, SimCrate* crate, const QHostAddress& address,
               QString* error);
    quint16 port() const;
    // What the meter serves, for the start-up banner.
    QStringList summary() const;

private:
    void acceptConnections();

    SimMeterConfig m_config;
    SimMeter* m_meter = nullptr;
    QTcpServer* m_server = nullptr;
    SimMeterPty* m_pty = nullptr;
};

#endif // SIMMETERSERVER_H
