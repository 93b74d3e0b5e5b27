#ifndef SIMCONNECTION_H
#define SIMCONNECTION_H

#include "lcframereader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

class QTcpSocket;
class SimServer;

// Cuts a host's byte stream into frames and text lines. '*' starts text, never a
// frame: no module sits at address 42.
class SimHostStream
{
public:
    enum class Item
    {
        Incomplete,    // nothing whole yet
        Frame,         // valid until the next append()
        IdentityQuery, // "*IDN?" in any case, with the line end that has arrived
        IgnoredText    // any other text, up to its line end or all there is
    };

    void append(const QByteArray& bytes);
    // The next item; `text` gets the bytes of a text item.
    Item next(lcFrame* frame, QByteArray* text);

private:
    lcFrameReader m_reader;
    // The reader's unconsumed bytes as of the last append or text; frames taken
    // since then end at m_offset.
    QByteArray m_unread;
    int m_offset = 0;
    bool m_stale = false;
};

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
    SimHostStream m_stream;
    int m_framesReceived = 0;
    bool m_closing = false;
    std::deque<Outgoing> m_queue;
    qint64 m_queuedBytes = 0;
    QTimer m_sendTimer;
    QElapsedTimer m_clock;
};

#endif // SIMCONNECTION_H
