#ifndef BURSTSERVER_H
#define BURSTSERVER_H

#include <QByteArray>

#include <atomic>
#include <thread>

// Serves one connection on 127.0.0.1 from its own thread with blocking sockets:
// it reads one request frame and answers with the whole burst in a single send,
// so that the receiving side's cost is all that the event loop thread pays for.
class BurstServer
{
public:
    explicit BurstServer(QByteArray burst);
    ~BurstServer();
    BurstServer(const BurstServer&) = delete;
    BurstServer& operator=(const BurstServer&) = delete;

    // 0 when the server could not listen.
    quint16 port() const { return m_port; }

private:
    void serve();

    QByteArray m_burst;
    int m_listenFd = -1;
    std::atomic<int> m_connFd{-1};
    quint16 m_port = 0;
    std::thread m_thread;
};

#endif // BURSTSERVER_H
