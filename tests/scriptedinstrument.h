#ifndef SCRIPTEDINSTRUMENT_H
#define SCRIPTEDINSTRUMENT_H

#include <QByteArray>
#include <QList>

#include <mutex>
#include <thread>

// A socket listening on a free loopback port; its port in *port.
int listenOnLoopback(int backlog, quint16* port);

// An instrument on a loopback port, in a thread of its own so that it answers
// while the test blocks in a VISA call: it takes one connection, and for every
// command line it receives sends the next scripted reply (a reply of nullptr
// stays silent). It records every byte it received.
class ScriptedInstrument
{
public:
    explicit ScriptedInstrument(QList<QByteArray> replies);
    ~ScriptedInstrument();

    QByteArray resource() const;
    quint16 port() const { return m_port; }
    QByteArray received() const;
    // Whether the client closed its connection.
    bool closedByClient() const;

private:
    void serve();

    QList<QByteArray> m_replies;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    QByteArray m_received;
    bool m_closed = false;
    std::thread m_thread;
};

#endif // SCRIPTEDINSTRUMENT_H
