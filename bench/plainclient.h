#ifndef PLAINCLIENT_H
#define PLAINCLIENT_H

#include <QByteArray>

// The reference point for round trips: a blocking POSIX socket, no event loop.
class PlainClient
{
public:
    PlainClient() = default;
    ~PlainClient();
    PlainClient(const PlainClient&) = delete;
    PlainClient& operator=(const PlainClient&) = delete;

    bool connectTo(quint16 port);
    // Sends `frame` and reads one complete answer frame; false on a socket error.
    bool roundTrip(const QByteArray& frame);

private:
    bool readExactly(char* buffer, size_t size);

    int m_fd = -1;
};

#endif // PLAINCLIENT_H
