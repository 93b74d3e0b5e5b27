#ifndef FAKEUNIT_H
#define FAKEUNIT_H

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A frame as the unit saw it.
struct FakeFrame
{
    int connection = 0;
    quint8 address = 0;
    quint8 command = 0;
    QByteArray payload;
};

// A scriptable stand-in for a unit on 127.0.0.1. It records everything it
// receives per connection and answers frames by the rules a test gives it.
// Frames without a rule get no answer. Raw text (a text query) is recorded but
// stays in that connection's frame parser, so frames after it on the same
// connection are not recognised.
class FakeUnit : public QObject
{
    Q_OBJECT
public:
    explicit FakeUnit(QObject* parent = nullptr);
    ~FakeUnit() override;

    static QByteArray frame(quint8 address, quint8 command, QByteArray const& payload = {});

    QHostAddress address() const { return QHostAddress(QHostAddress::LocalHost); }
    quint16 port() const;

    // Every frame with this address and command gets `reply` (raw bytes, so it may
    // hold several frames, a partial one or junk) after `delayMs`. With `onlyAttempt`
    // N > 0 only the Nth such frame is answered.
    void answer(quint8 address, quint8 command, QByteArray const& reply, int delayMs = 0,
                int onlyAttempt = 0);
    // Raw text equal to `query` at the start of a connection's unparsed bytes is
    // taken out of the frame parser and answered with `reply`.
    void answerText(QByteArray const& query, QByteArray const& reply, int delayMs = 0);
    void clearRules()
    {
        m_rules.clear();
        m_textRules.clear();
    }

    // Writes raw bytes to a connection (-1: the latest) after `delayMs`;
    // with several pieces, `delayMs` lies before each of them.
    void send(QByteArray const& bytes, int delayMs = 0, int connection = -1);
    void sendPieces(QList<QByteArray> const& pieces, int delayMs, int connection = -1);
    void closeConnection(int connection = -1);

    int connectionCount() const { return m_connections.size(); }
    QByteArray received(int connection = -1) const;
    QList<FakeFrame> frames() const { return m_frames; }
    int frameCount() const { return m_frames.size(); }

signals:
    void frameReceived(FakeFrame const& frame);
    void bytesReceived(int connection);
    void connectionAccepted(int connection);
    void connectionClosed(int connection);

private:
    struct Rule
    {
        quint8 address;
        quint8 command;
        QByteArray reply;
        int delayMs;
        int onlyAttempt;
        int seen;
    };
    struct TextRule
    {
        QByteArray query;
        QByteArray reply;
        int delayMs;
    };
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QByteArray received;
        QByteArray unparsed;
    };

    void onNewConnection();
    void onReadyRead(int connection);
    int resolve(int connection) const;

    QTcpServer* m_server;
    QList<Connection> m_connections;
    QList<FakeFrame> m_frames;
    QList<Rule> m_rules;
    QList<TextRule> m_textRules;
};

// "05 06 [6869]": address, command and payload in hex, for readable comparisons.
QString describe(FakeFrame const& frame);
QStringList describe(QList<FakeFrame> const& frames);

#endif // FAKEUNIT_H
