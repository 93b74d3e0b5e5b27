#include "commondriver.h"
#include "fakeunit.h"
#include "lcframereader.h"
#include "lctcpsocketiointerface.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <functional>

namespace {

QList<FakeFrame> drain(lcFrameReader& reader)
{
    QList<FakeFrame> out;
    lcFrame f;
    while (reader.next(f))
        out.append(
            {0, f.address, f.command, QByteArray(reinterpret_cast<const char*>(f.data), f.length)});
    return out;
}

QByteArray pattern(int size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) & 0xFF);
    return bytes;
}

// Keeps copies of everything a link delivers; the payload pointer dies with the delivery.
struct Received
{
    QList<FakeFrame> frames;
    std::function<void(FakeFrame const&)> hook;

    void attach(lcIOInterface* link)
    {
        QObject::connect(link, &lcIOInterface::msgReceived, link,
                         [this](quint8 a, quint8 c, quint8 l, quint8* d) {
                             frames.append({0, a, c, QByteArray(reinterpret_cast<char*>(d), l)});
                             if (hook)
                                 hook(frames.last());
                         });
    }
};

// An endpoint that records what reaches it and can run code in the middle of a delivery.
class Probe : public CommonDriver
{
public:
    using CommonDriver::CommonDriver;
    QList<FakeFrame> seen;
    QList<bool> taken;
    std::function<void()> hook;

protected:
    bool pMsgReceived(quint8 a, quint8 c, quint8 l, quint8* d) override
    {
        seen.append({0, a, c, QByteArray(reinterpret_cast<char*>(d), l)});
        const bool took = CommonDriver::pMsgReceived(a, c, l, d);
        taken.append(took);
        if (hook)
            hook();
        return took;
    }
};

void aim(lcTcpSocketIOInterface& link, FakeUnit const& unit)
{
    link.setAddress(unit.address());
    link.setPort(unit.port());
}

quint16 deadPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

class tst_Link : public QObject
{
    Q_OBJECT
private slots:
    void readerCutsStream();
    void readerBurst();
    void splitAndCoalescedFrames();
    void sendDropsStaleBytes();
    void nullAddressThenConnects();
    void retargetAndReconnect();
    void lostUnitIsNotASilentModule();
    void textQuery();
    void textQueryCannotConnect();
    void receiverDeletesDuringDelivery();
    void endpoints();
};

void tst_Link::readerCutsStream()
{
    // Byte by byte: a frame is complete with its last byte, a zero-length one with 3 bytes.
    lcFrameReader reader;
    const QByteArray stream = FakeUnit::frame(1, 2, "abc") + FakeUnit::frame(3, 4);
    QList<int> completedAt;
    QList<FakeFrame> frames;
    for (int i = 0; i < stream.size(); ++i) {
        reader.append(stream.mid(i, 1));
        const QList<FakeFrame> got = drain(reader);
        for (int k = 0; k < got.size(); ++k)
            completedAt << i;
        frames += got;
    }
    QCOMPARE(completedAt, (QList<int>{5, 8}));
    QCOMPARE(describe(frames), (QStringList{"01 02 [616263]", "03 04 []"}));
    QVERIFY(reader.isEmpty());

    // A length byte of 128 or more is an unsigned count: exactly 3 + L bytes go.
    const QByteArray big = pattern(200);
    reader.append(FakeUnit::frame(9, 0x10, big).left(150));
    QVERIFY(drain(reader).isEmpty());
    reader.append(FakeUnit::frame(9, 0x10, big).mid(150) + "\x01\x02");
    frames = drain(reader);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].payload, big);
    QCOMPARE(reader.pending(), QByteArray("\x01\x02"));

    // The leftover is the start of the next frame.
    const QByteArray max = pattern(255, 3);
    reader.append(QByteArray(1, '\0') + FakeUnit::frame(7, 0x80, max));
    frames = drain(reader);
    QCOMPARE(frames.size(), 2);
    QCOMPARE(describe(frames[0]), QString("01 02 []"));
    QCOMPARE(frames[1].payload, max);
    QVERIFY(reader.isEmpty());
}

void tst_Link::readerBurst()
{
    // Many frames of every length, fed whole and in odd-sized pieces, come out the same.
    QByteArray stream;
    QList<FakeFrame> expected;
    for (int i = 0; i < 3000; ++i) {
        const FakeFrame f{0, quint8(i), quint8(i >> 8), pattern(i % 256, i)};
        expected << f;
        stream += FakeUnit::frame(f.address, f.command, f.payload);
    }
    lcFrameReader whole;
    whole.append(stream);
    QCOMPARE(describe(drain(whole)), describe(expected));

    lcFrameReader pieces;
    QList<FakeFrame> got;
    for (int i = 0; i < stream.size(); i += 997) {
        pieces.append(stream.mid(i, 997));
        got += drain(pieces);
    }
    QCOMPARE(describe(got), describe(expected));
    QVERIFY(pieces.isEmpty());

    // Cutting must not shift the buffer per frame: 200000 short frames take moments.
    lcFrameReader many;
    many.append(FakeUnit::frame(1, 2).repeated(200000));
    QElapsedTimer clock;
    clock.start();
    int count = 0;
    lcFrame f;
    while (many.next(f))
        ++count;
    QCOMPARE(count, 200000);
    QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
}

void tst_Link::splitAndCoalescedFrames()
{
    FakeUnit unit;
    lcTcpSocketIOInterface link;
    aim(link, unit);
    Received rx;
    rx.attach(&link);
    QVERIFY(link.initialize());
    QTRY_COMPARE_WITH_TIMEOUT(unit.connectionCount(), 1, 2000);

    const QByteArray big = pattern(200, 1);
    const QByteArray split = FakeUnit::frame(5, 0x10, big) + FakeUnit::frame(5, 0x11);
    unit.sendPieces({split.left(2), split.mid(2, 90), split.mid(92)}, 30);
    unit.send(FakeUnit::frame(6, 1, "x") + FakeUnit::frame(6, 2) + FakeUnit::frame(6, 3, "yz"),
              200);
    QTRY_COMPARE_WITH_TIMEOUT(rx.frames.size(), 5, 3000);
    QCOMPARE(rx.frames[0].payload, big);
    QCOMPARE(describe(rx.frames.mid(1)),
             (QStringList{"05 11 []", "06 01 [78]", "06 02 []", "06 03 [797a]"}));
}

void tst_Link::sendDropsStaleBytes()
{
    FakeUnit unit;
    unit.answer(1, 0x20, FakeUnit::frame(1, 0x20, "z"));
    lcTcpSocketIOInterface link;
    aim(link, unit);
    Received rx;
    rx.attach(&link);
    QVERIFY(link.initialize());
    QTRY_COMPARE_WITH_TIMEOUT(unit.connectionCount(), 1, 2000);

    // A partial frame left in the receive buffer is dropped by the next send.
    unit.send(FakeUnit::frame(1, 0x10) + QByteArray("\x01\x02\x05"
                                                    "ab",
                                                    5));
    QTRY_COMPARE_WITH_TIMEOUT(rx.frames.size(), 1, 2000);
    QVERIFY(link.sendMsg(1, 0x20, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(rx.frames.size(), 2, 2000);
    QCOMPARE(describe(rx.frames[1]), QString("01 20 [7a]"));

    // So are bytes the socket already holds but has not handed over yet.
    auto* socket = link.findChild<QTcpSocket*>();
    QVERIFY(socket);
    unit.send(FakeUnit::frame(1, 0x66, "old"));
    QVERIFY(socket->waitForReadyRead(2000));
    QVERIFY(link.sendMsg(1, 0x20, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(rx.frames.size(), 3, 2000);
    QCOMPARE(describe(rx.frames[2]), QString("01 20 [7a]"));
    QCOMPARE(unit.frameCount(), 2);
}

void tst_Link::nullAddressThenConnects()
{
    FakeUnit unit;
    lcTcpSocketIOInterface link;
    QVERIFY(link.address().isNull());
    QCOMPARE(link.port(), quint16(9876));
    QVERIFY(!link.isSocketReady());
    quint8 payload[] = {0xAA, 0x00, 0x80};
    QVERIFY(!link.sendMsg(3, 0x0D, 3, payload));
    QVERIFY(!link.isSocketReady());

    aim(link, unit);
    QVERIFY(link.sendMsg(3, 0x0D, 3, payload));
    QVERIFY(link.isSocketReady());
    QTRY_COMPARE_WITH_TIMEOUT(unit.frameCount(), 1, 2000);
    QCOMPARE(unit.received(), QByteArray("\x03\x0d\x03\xaa\x00\x80", 6));
    QCOMPARE(unit.connectionCount(), 1);
}

void tst_Link::retargetAndReconnect()
{
    FakeUnit first;
    FakeUnit second;
    lcTcpSocketIOInterface link;
    aim(link, first);
    QVERIFY(link.sendMsg(1, 1, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(first.frameCount(), 1, 2000);

    // setAddress closes the open connection even when the address stays the same.
    QSignalSpy closed(&first, &FakeUnit::connectionClosed);
    link.setAddress(first.address());
    QVERIFY(!link.isSocketReady());
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 2000);
    QVERIFY(link.sendMsg(1, 2, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(first.frameCount(), 2, 2000);
    QCOMPARE(first.connectionCount(), 2);
    QCOMPARE(first.frames().last().connection, 1);

    // A new port: the next send goes to the new target only.
    link.setPort(second.port());
    QVERIFY(!link.isSocketReady());
    QVERIFY(link.sendMsg(1, 3, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(second.frameCount(), 1, 2000);
    QCOMPARE(describe(second.frames()), QStringList{"01 03 []"});
    QCOMPARE(first.frameCount(), 2);

    // The unit dropping the connection: the next send connects again.
    QSignalSpy closedSecond(&second, &FakeUnit::connectionClosed);
    second.closeConnection();
    QTRY_COMPARE_WITH_TIMEOUT(closedSecond.count(), 1, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!link.isSocketReady(), 2000);
    QVERIFY(link.sendMsg(1, 4, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(second.frameCount(), 2, 2000);
    QCOMPARE(second.connectionCount(), 2);
}

void tst_Link::lostUnitIsNotASilentModule()
{
    auto unit = std::make_unique<FakeUnit>();
    lcTcpSocketIOInterface link;
    aim(link, *unit);
    QSignalSpy lost(&link, &lcIOInterface::unitLost);
    // A frame nobody answers on a live connection: the unit is there.
    QVERIFY(link.sendMsg(1, 0x0D, 0, nullptr));
    QTRY_COMPARE_WITH_TIMEOUT(unit->frameCount(), 1, 2000);
    QVERIFY(!link.isUnitLost());

    // The unit drops the connection: lost, and said so once.
    unit->closeConnection();
    QTRY_VERIFY_WITH_TIMEOUT(link.isUnitLost(), 2000);
    QCOMPARE(lost.count(), 1);

    // Nobody listens any more: refused connects keep it lost without saying it again.
    const quint16 port = unit->port();
    unit.reset();
    QVERIFY(!link.sendMsg(1, 0x0D, 0, nullptr));
    QVERIFY(!link.sendMsg(1, 0x0D, 0, nullptr));
    QVERIFY(link.isUnitLost());
    QCOMPARE(lost.count(), 1);

    // Someone listens at that port again: the next send connects and the unit is back.
    QTcpServer back;
    QVERIFY(back.listen(QHostAddress::LocalHost, port));
    QVERIFY(link.sendMsg(1, 0x0D, 0, nullptr));
    QVERIFY(!link.isUnitLost());

    // A new target is not known to be lost, and closing the link announces nothing.
    back.close();
    link.setPort(port);
    QVERIFY(!link.isUnitLost());
    QCOMPARE(lost.count(), 1);
}

void tst_Link::textQuery()
{
    FakeUnit unit;
    lcTcpSocketIOInterface link;
    aim(link, unit);
    Received rx;
    rx.attach(&link);

    // The reply is cut at its first zero byte and never parsed as frames.
    QMetaObject::Connection reply = connect(&unit, &FakeUnit::bytesReceived, &unit, [&] {
        unit.send(QByteArray("Velmora Lumicrate 4\0\x01\x02\x00", 23));
    });
    bool ok = false;
    QCOMPARE(link.tcpIpQuery("*IDN?", 100, &ok), QString("Velmora Lumicrate 4"));
    QVERIFY(ok);
    QCOMPARE(unit.received(), QByteArray("*IDN?"));
    QVERIFY(rx.frames.isEmpty());
    disconnect(reply);

    // A reply later than the time-out: empty text, ok true, and then it reads as a frame.
    reply = connect(&unit, &FakeUnit::bytesReceived, &unit,
                    [&] { unit.send(FakeUnit::frame(7, 6, "hi"), 150); });
    ok = false;
    QCOMPARE(link.tcpIpQuery("*IDN?", 100, &ok), QString());
    QVERIFY(ok);
    QTRY_COMPARE_WITH_TIMEOUT(rx.frames.size(), 1, 2000);
    QCOMPARE(describe(rx.frames[0]), QString("07 06 [6869]"));
    QCOMPARE(unit.connectionCount(), 1);
}

void tst_Link::textQueryCannotConnect()
{
    lcTcpSocketIOInterface link;
    link.setAddress(QHostAddress(QHostAddress::LocalHost));
    link.setPort(deadPort());
    bool ok = true;
    QCOMPARE(link.tcpIpQuery("*IDN?", 100, &ok), QString());
    QVERIFY(!ok);
    QVERIFY(!link.initialize());
    QVERIFY(!link.sendMsg(1, 1, 0, nullptr));
}

void tst_Link::receiverDeletesDuringDelivery()
{
    FakeUnit unit;

    // A receiver deletes the link on the first of two frames that came in one read.
    {
        auto* link = new lcTcpSocketIOInterface;
        aim(*link, unit);
        QPointer<lcTcpSocketIOInterface> guard(link);
        Received rx;
        rx.attach(link);
        rx.hook = [link](FakeFrame const&) { delete link; };
        QVERIFY(link->initialize());
        QTRY_COMPARE_WITH_TIMEOUT(unit.connectionCount(), 1, 2000);
        unit.send(FakeUnit::frame(1, 1) + FakeUnit::frame(1, 2));
        QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 2000);
        QCOMPARE(rx.frames.size(), 1);
    }

    // An endpoint deletes a later endpoint, then the link, in the middle of deliveries.
    {
        auto* link = new lcTcpSocketIOInterface;
        aim(*link, unit);
        QPointer<lcTcpSocketIOInterface> guard(link);
        auto* a = new Probe;
        auto* b = new Probe;
        QPointer<Probe> bGuard(b);
        a->setIOInterface(link);
        b->setIOInterface(link);
        a->hook = [&] {
            if (a->seen.size() == 1)
                delete bGuard.data();
            else if (a->seen.size() == 2)
                delete link;
        };
        QVERIFY(link->initialize());
        QTRY_COMPARE_WITH_TIMEOUT(unit.connectionCount(), 2, 2000);
        unit.send(FakeUnit::frame(0, 6, "A") + FakeUnit::frame(0, 6, "B") +
                  FakeUnit::frame(0, 6, "C"));
        QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 2000);
        QVERIFY(bGuard.isNull());
        QCOMPARE(a->seen.size(), 2);
        QCOMPARE(a->deviceType()->currentValue(), QString("B"));
        QVERIFY(a->iOInterface() == nullptr);
        a->sendMsg(1, 0, nullptr); // no link left: nothing happens
        delete a;
    }
}

void tst_Link::endpoints()
{
    FakeUnit unit;
    lcTcpSocketIOInterface link;
    aim(link, unit);
    Probe three;
    Probe five;
    Probe unset;
    Probe lonely;
    three.setDevAddress(3);
    five.setDevAddress(5);
    three.setIOInterface(&link);
    five.setIOInterface(&link);
    unset.setIOInterface(&link);
    five.setIOInterface(nullptr);
    QCOMPARE(five.iOInterface(), &link);
    QVERIFY(lonely.iOInterface() == nullptr);

    lonely.sendMsg(0x06, 0, nullptr);
    unset.sendMsg(0x07, 0, nullptr);
    quint8 payload[] = {0x42};
    five.sendMsg(0x08, 1, payload);
    QTRY_COMPARE_WITH_TIMEOUT(unit.frameCount(), 2, 2000);
    QCOMPARE(describe(unit.frames()), (QStringList{"00 07 []", "05 08 [42]"}));

    // Every endpoint sees every frame; only the addressed driver takes it.
    unit.send(FakeUnit::frame(5, 0x06, "LC4SDM1"));
    QTRY_COMPARE_WITH_TIMEOUT(five.seen.size(), 1, 2000);
    QCOMPARE(describe(three.seen), describe(five.seen));
    QCOMPARE(describe(five.seen), QStringList{"05 06 [4c433453444d31]"});
    QCOMPARE(three.taken, QList<bool>{false});
    QCOMPARE(five.taken, QList<bool>{true});
    QCOMPARE(five.deviceType()->currentValue(), QString("LC4SDM1"));
    QCOMPARE(three.deviceType()->currentValue(), QString());
    QVERIFY(lonely.seen.isEmpty());
}

QTEST_GUILESS_MAIN(tst_Link)
#include "tst_link.moc"
