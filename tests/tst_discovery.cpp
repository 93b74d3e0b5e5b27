#include "qcustomlib.h"
#include "simdiscoveryresponder.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <ctime>
#include <functional>
#include <memory>

namespace {

QHostAddress const loopback2(QStringLiteral("127.0.0.2"));
QHostAddress const loopback3(QStringLiteral("127.0.0.3"));
QHostAddress const loopback4(QStringLiteral("127.0.0.4"));
QHostAddress const vethAddress(QStringLiteral("10.250.0.1"));
QHostAddress const vethBroadcast(QStringLiteral("10.250.0.255"));

quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    return probe.localPort();
}

bool broadcastUnavailable()
{
    return qEnvironmentVariableIsSet("LC_NO_BROADCAST");
}

// Only inside the private namespace is v0 the single interface that can broadcast.
bool insidePrivateNamespace()
{
    return !broadcastUnavailable() && lcBroadcastAddresses() == QList<QHostAddress>{vethBroadcast};
}

// Fake units run on their own thread: each call-back blocks the discovering thread
// for up to 100 ms, so a unit sharing that thread could never send in time.
class UnitThread
{
public:
    UnitThread()
    {
        m_thread.start();
        m_context->moveToThread(&m_thread);
    }
    ~UnitThread()
    {
        run([this] { qDeleteAll(m_context->children()); });
        m_thread.quit();
        m_thread.wait();
    }

    void run(std::function<void()> const& job)
    {
        QMetaObject::invokeMethod(m_context.get(), job, Qt::BlockingQueuedConnection);
    }

    // Connects to 127.0.0.1:`port` (or `target`) after `delayMs`, from `source`, and
    // sends one byte `sendAfterMs` after connecting; negative: sends nothing.
    void callBack(int delayMs, QHostAddress source, quint16 port, int sendAfterMs = 0,
                  QHostAddress target = QHostAddress(QHostAddress::LocalHost))
    {
        QObject* context = m_context.get();
        run([=] {
            QTimer::singleShot(delayMs, context, [=] {
                auto* socket = new QTcpSocket(context);
                if (!source.isNull() && !socket->bind(source))
                    qWarning() << "cannot bind" << source << socket->errorString();
                QObject::connect(socket, &QTcpSocket::connected, socket, [socket, sendAfterMs] {
                    if (sendAfterMs >= 0)
                        QTimer::singleShot(sendAfterMs, socket, [socket] { socket->write("!"); });
                });
                socket->connectToHost(target, port);
            });
        });
    }

    QObject* context() const { return m_context.get(); }

private:
    QThread m_thread;
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};

lcDiscoveryOptions loopbackOptions(quint16 callbackPort, QList<QHostAddress> targets = {})
{
    lcDiscoveryOptions options;
    options.discoveryPort = freeUdpPort();
    options.callbackPort = callbackPort;
    options.targets = targets;
    return options;
}

} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void convertToHostAddress_data();
    void convertToHostAddress();
    void normaliseUnitAddress_data();
    void normaliseUnitAddress();

    void callBacksListedOnceInOrderOfFirstCallBack();
    void silentAndLateCallBacksAreDropped();
    void ownAddressesBecomeLoopback();
    void datagramOnlyWhenTheCallbackPortIsFree();
    void windowSleepsInTheEventLoop();
    void callbackPortIsFreeOnReturn();
    void respondersAnswerThroughTheDatagramPath();

    void responderAnswersOnlyTheExactDatagram();
    void responderSurvivesRefusedCallBack();

    void availableLumicratesFindsLocalSimulators();
};

void TestDiscovery::convertToHostAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: null address
    auto row = [](char const* name, QString const& text, QString const& expected) {
        QTest::newRow(name) << text << expected;
    };

    row("zero-padded", "192.168.001.010", "192.168.1.10");
    row("zero-padded loopback", "127.000.000.001", "127.0.0.1");
    row("extremes", "255.255.255.255", "255.255.255.255");
    // Whatever the library parser makes of it.
    row("three parts", "10.0.0", "10.0.0");
    row("ipv6", "fe80::1", "fe80::1");
    row("ipv4-mapped ipv6", "::ffff:10.1.2.3", "::ffff:10.1.2.3");

    row("out of range does not wrap", "192.168.1.300", "");
    row("huge part", "1.2.3.99999999999", "");
    row("negative", "-1.0.0.0", "");
    row("plus sign", "+1.0.0.0", "");
    row("empty part", "1..2.3", "");
    row("host name", "lumicrate.lab", "");
    row("picker entry", "Manual...", "");
}

void TestDiscovery::convertToHostAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QHostAddress const got = ::convertToHostAddress(text);
    QCOMPARE(got.isNull(), expected.isEmpty());
    if (!expected.isEmpty())
        QCOMPARE(got, QHostAddress(expected));
}

void TestDiscovery::normaliseUnitAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("padded") << "192.168.001.010"
                            << "192.168.1.10";
    QTest::newRow("zero part") << "192.168.000.010"
                               << "192.168.0.10";
    QTest::newRow("trailing zeros kept") << "10.0.0.0"
                                         << "10.0.0.0";
    QTest::newRow("last part zero") << "192.168.1.0"
                                    << "192.168.1.0";
    QTest::newRow("first part untouched") << "010.1.2.3"
                                          << "010.1.2.3";
    QTest::newRow("not a quad") << "Manual..."
                                << "Manual...";
    QTest::newRow("padded loopback") << "127.000.000.001"
                                     << "127.0.0.1";
    QTest::newRow("zero last octet") << "10.0.1.0"
                                     << "10.0.1.0";
    QTest::newRow("all zero after first") << "1.0.0.0"
                                          << "1.0.0.0";
    QTest::newRow("not a quad") << "10.0.0"
                                << "10.0.0";
}

void TestDiscovery::normaliseUnitAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::normaliseUnitAddress(text), expected);
}

void TestDiscovery::callBacksListedOnceInOrderOfFirstCallBack()
{
    quint16 const port = freeTcpPort();
    UnitThread units;
    // 127.0.0.3 first, so that a sorted list would not pass.
    units.callBack(40, loopback3, port);
    units.callBack(150, loopback2, port);
    units.callBack(260, loopback3, port);
    units.callBack(340, loopback2, port);

    QStringList const found = lcDiscoverLumicrates(loopbackOptions(port));
    QCOMPARE(found, (QStringList{"127.0.0.3", "127.0.0.2"}));
}

void TestDiscovery::silentAndLateCallBacksAreDropped()
{
    quint16 const port = freeTcpPort();
    UnitThread units;
    units.callBack(30, loopback2, port, -1);
    units.callBack(180, loopback3, port, 250);
    // An IPv6 peer has no IPv4 text; it must not show up as "0.0.0.0".
    QTcpServer ipv6Probe;
    if (ipv6Probe.listen(QHostAddress::LocalHostIPv6, 0))
        units.callBack(300, QHostAddress(), port, 0, QHostAddress::LocalHostIPv6);
    units.callBack(380, loopback4, port);

    QStringList const found = lcDiscoverLumicrates(loopbackOptions(port));
    QCOMPARE(found, QStringList{"127.0.0.4"});
}

void TestDiscovery::ownAddressesBecomeLoopback()
{
    if (broadcastUnavailable())
        QSKIP("needs the private network namespace");
    QVERIFY(QNetworkInterface::allAddresses().contains(vethAddress));

    quint16 const port = freeTcpPort();
    UnitThread units;
    units.callBack(30, loopback2, port);
    units.callBack(120, vethAddress, port, 0, vethAddress);
    // A call-back over loopback itself is dropped; the own LAN address is what counts.
    units.callBack(210, QHostAddress(), port);
    units.callBack(300, vethAddress, port, 0, vethAddress);

    QStringList const found = lcDiscoverLumicrates(loopbackOptions(port));
    QCOMPARE(found, (QStringList{"127.0.0.2", "127.0.0.1"}));
}

void TestDiscovery::datagramOnlyWhenTheCallbackPortIsFree()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::Any, 0));
    QUdpSocket unit;
    QVERIFY(unit.bind(loopback2, 0));
    lcDiscoveryOptions options = loopbackOptions(holder.serverPort(), {loopback2, loopback2});
    options.discoveryPort = unit.localPort();

    QElapsedTimer clock;
    clock.start();
    QVERIFY(lcDiscoverLumicrates(options).isEmpty());
    QVERIFY2(clock.elapsed() < 250, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(100);
    QVERIFY(!unit.hasPendingDatagrams());

    holder.close();
    options.windowMs = 50;
    QVERIFY(lcDiscoverLumicrates(options).isEmpty());
    QList<QByteArray> received;
    while (unit.hasPendingDatagrams())
        received.append(unit.receiveDatagram().data());
    QCOMPARE(received, (QList<QByteArray>{"lc-software", "lc-software"}));
}

void TestDiscovery::windowSleepsInTheEventLoop()
{
    bool timerRan = false;
    QTimer::singleShot(100, this, [&timerRan] { timerRan = true; });

    QElapsedTimer clock;
    clock.start();
    std::clock_t const cpuStart = std::clock();
    QVERIFY(lcDiscoverLumicrates(loopbackOptions(freeTcpPort())).isEmpty());
    double const cpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    qint64 const wallMs = clock.elapsed();

    QVERIFY(timerRan);
    QVERIFY2(wallMs >= 500 && wallMs < 1000, qPrintable(QString::number(wallMs)));
    QVERIFY2(cpuMs < 150, qPrintable(QString::number(cpuMs)));
}

void TestDiscovery::callbackPortIsFreeOnReturn()
{
    quint16 const port = freeTcpPort();
    UnitThread units;
    units.callBack(30, loopback2, port);
    QCOMPARE(lcDiscoverLumicrates(loopbackOptions(port)), QStringList{"127.0.0.2"});

    // No event processing in between: the port must already be released.
    QTcpServer next;
    QVERIFY2(next.listen(QHostAddress::Any, port), qPrintable(next.errorString()));
}

void TestDiscovery::respondersAnswerThroughTheDatagramPath()
{
    quint16 const callbackPort = freeTcpPort();
    quint16 const discoveryPort = freeUdpPort();
    UnitThread units;
    bool started = true;
    units.run([&] {
        for (QHostAddress const& address : {loopback2, loopback3}) {
            auto* responder = new SimDiscoveryResponder(units.context());
            responder->setCallbackPort(callbackPort);
            started = started && responder->start(discoveryPort, address);
        }
    });
    QVERIFY(started);

    lcDiscoveryOptions options = loopbackOptions(callbackPort, {loopback3, loopback3, loopback2});
    options.discoveryPort = discoveryPort;
    QStringList found = lcDiscoverLumicrates(options);
    found.sort();
    QCOMPARE(found, (QStringList{"127.0.0.2", "127.0.0.3"}));
}

void TestDiscovery::responderAnswersOnlyTheExactDatagram()
{
    QTcpServer host;
    QVERIFY(host.listen(QHostAddress::LocalHost, 0));
    SimDiscoveryResponder responder;
    responder.setCallbackPort(host.serverPort());
    responder.setIdentification("unit-7");
    QVERIFY(responder.start(0, loopback2));
    QVERIFY(responder.isListening());

    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QList<QByteArray> const garbage{QByteArray(),
                                    "lc-softwar",
                                    "lc-software\n",
                                    "LC-SOFTWARE",
                                    QByteArray("lc-software\0", 12),
                                    QByteArray(4000, '\xff'),
                                    " lc-software"};
    for (QByteArray const& datagram : garbage)
        sender.writeDatagram(datagram, loopback2, responder.port());
    QTest::qWait(200);
    QVERIFY(!host.hasPendingConnections());

    // The peer address is gone once the unit's close is seen, so take it on accept.
    QHostAddress peer;
    QTcpSocket* callBack = nullptr;
    connect(&host, &QTcpServer::newConnection, this, [&] {
        callBack = host.nextPendingConnection();
        peer = callBack->peerAddress();
    });
    sender.writeDatagram("lc-software", loopback2, responder.port());
    QTRY_VERIFY(callBack);
    QCOMPARE(peer, loopback2);
    QByteArray identification;
    QTRY_COMPARE((identification += callBack->readAll()), QByteArray("unit-7"));
}

void TestDiscovery::responderSurvivesRefusedCallBack()
{
    quint16 const port = freeTcpPort();
    SimDiscoveryResponder responder;
    responder.setCallbackPort(port);
    QVERIFY(responder.start(0, loopback2));
    QSignalSpy failed(&responder, &SimDiscoveryResponder::callBackFailed);
    QSignalSpy answered(&responder, &SimDiscoveryResponder::calledBack);

    QUdpSocket sender;
    sender.writeDatagram("lc-software", loopback2, responder.port());
    QVERIFY(failed.wait(2000));
    QCOMPARE(responder.pendingCallBacks(), 0);

    QTcpServer host;
    QVERIFY(host.listen(QHostAddress::Any, port));
    sender.writeDatagram("lc-software", loopback2, responder.port());
    QVERIFY(answered.wait(2000));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(responder.pendingCallBacks(), 0);

    // A second responder shares the port, as a second simulator on this machine would.
    SimDiscoveryResponder other;
    QVERIFY2(other.start(responder.port(), loopback2), qPrintable(other.errorString()));
}

void TestDiscovery::availableLumicratesFindsLocalSimulators()
{
    if (!insidePrivateNamespace())
        QSKIP("broadcasts only inside the private network namespace");

    UnitThread units;
    std::atomic<int> answers{0};
    bool started = true;
    units.run([&] {
        for (int i = 0; i < 2; ++i) {
            auto* responder = new SimDiscoveryResponder(units.context());
            QObject::connect(responder, &SimDiscoveryResponder::calledBack, responder,
                             [&answers] { ++answers; });
            started = started && responder->start();
        }
    });
    QVERIFY(started);

    // Both answer the broadcast from 10.250.0.1, this machine's own address.
    QCOMPARE(availableLumicrates(), QStringList{"127.0.0.1"});
    QTRY_COMPARE(answers.load(), 2);
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
