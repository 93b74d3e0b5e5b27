#ifndef SIMSERVER_H
#define SIMSERVER_H

#include "simserverconfig.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

#include <optional>
#include <random>

class SimConnection;
class SimCrate;
struct lcFrame;

// Accepts connections and decides what the unit answers to each frame. The crate
// must outlive the server.
class SimServer : public QObject
{
    Q_OBJECT
public:
    SimServer(SimCrate* crate, const SimServerConfig& config, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    const SimServerConfig& config() const { return m_config; }
    int connectionCount() const { return m_connectionCount; }

    // The bytes to send back for one received frame, or nothing.
    std::optional<QByteArray> answer(SimConnection* from, const lcFrame& frame);

    void log(const QString& line) const;
    static void error(const QString& line);

private slots:
    void acceptConnections();
    void sendUnsolicited(quint8 address, quint8 command, const QByteArray& payload);

private:
    bool dropAnswer();
    // Every Nth of the answers counted by `count`; 0 is never.
    static bool isNth(int every, quint64* count);

    QTcpServer m_server;
    SimCrate* m_crate;
    SimServerConfig m_config;
    quint64 m_answers = 0;
    quint64 m_truncateCount = 0;
    quint64 m_garbageCount = 0;
    std::mt19937 m_garbage{9876}; // fixed seed: a fault run can be repeated
    int m_nextConnectionId = 1;
    int m_connectionCount = 0;
    // Frames a module sends on its own go to whoever talked to it last.
    QHash<int, QPointer<SimConnection>> m_lastRequester;
};

#endif // SIMSERVER_H
