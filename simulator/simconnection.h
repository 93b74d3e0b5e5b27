#ifndef SIMCONNECTION_H
#define SIMCONNECTION_H

#include "lcframereader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

class QTcpSocket;
class SimServer;

// One host connection: cuts its stream into frames and text queries, asks the
// server for the answers and sends them, late when a delay is configured.
// Deletes itself when the connection ends.
class SimConnection : public QObject
{
    Q_OBJECT
public:
    SimConnection(QTcpSocket* socket, int id, SimServer* server);
    ~SimConnection() override;

    int id() const { return m_id; }
    // Sends bytes after the configured delay, in the order given.
    void send(const QByteArray& bytes);

private slots:
    void readFromSocket();
    void sendDue();
    void onDisconnected();

private:
    void processPending();
    int consumeText(const QByteArray& unread, int offset);
    void handleFrame(const lcFrame& frame);
    void write(const QByteArray& bytes);
    void close();
    bool backedUp() const;

    struct Outgoing
    {
        qint64 due;
        QByteArray bytes;
    };

    QTcpSocket* m_socket;
    int m_id;
    SimServer* m_server;
    lcFrameReader m_reader;
    int m_framesReceived = 0;
    bool m_closing = false;
    std::deque<Outgoing> m_queue;
    qint64 m_queuedBytes = 0;
    QTimer m_sendTimer;
    QElapsedTimer m_clock;
};

#endif // SIMCONNECTION_H
