#include "commondriver.h"
#include "crelaysstatus.h"
#include "driverproperty.h"
#include "fakeunit.h"
#include "lctcpsocketiointerface.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <ctime>
#include <memory>
#include <vector>

namespace {

struct Counter
{
    int getted = 0;
    int setted = 0;
};

QByteArray floatBytes(float value)
{
    return DriverValueCodec<float>::encode(value);
}

// A driver with one property of each kind the engine has to tell apart.
class TestDriver : public AbstractDriver
{
public:
    TestDriver()
        : readOnly(this, 0x2C, noCommand), value(this, 0x20, 0x21), line(this, 0x22, 0x23),
          number(this, 0x24, 0x25), raw(this, 0x26, 0x27), writeOnly(this, noCommand, 0x28),
          flag(this, 0x2A, 0x2B)
    {
        count(readOnly, readOnlyCount);
        count(raw, rawCount);
        count(writeOnly, writeOnlyCount);
        value.gettedSignal().append([this] { ++valueCount.getted; });
        value.settedSignal().append([this] { ++valueCount.setted; });
    }

    DriverProperty_p readOnly;
    DriverProperty<float> value;
    DriverProperty<pair_t<float>> line;
    DriverProperty<unsigned int> number;
    DriverProperty_p raw;
    DriverProperty_p writeOnly;
    DriverProperty<bool> flag;
    std::vector<std::unique_ptr<DriverProperty_p>> extra;
    Counter readOnlyCount, valueCount, rawCount, writeOnlyCount;

private:
    static void count(DriverProperty_p& p, Counter& c)
    {
        p.gettedSignal().append([&c] { ++c.getted; });
        p.settedSignal().append([&c] { ++c.setted; });
    }
};

// A fake unit, a link to it, a TestDriver at address 4 and a CommonDriver at 6.
struct Rig
{
    FakeUnit unit;
    lcTcpSocketIOInterface link;
    QPointer<TestDriver> drv = new TestDriver;
    QPointer<CommonDriver> common = new CommonDriver;

    Rig()
    {
        link.setAddress(unit.address());
        link.setPort(unit.port());
        drv->setDevAddress(4);
        drv->setIOInterface(&link);
        common->setDevAddress(6);
        common->setIOInterface(&link);
    }
    ~Rig()
    {
        delete drv.data();
        delete common.data();
    }
    // Opens the connection so that the unit can talk first.
    bool connect()
    {
        return link.initialize() && QTest::qWaitFor([this] { return unit.connectionCount() > 0; });
    }
};

} // namespace

class tst_Driver : public QObject
{
    Q_OBJECT
private slots:
    void attemptsAndRetries();
    void answersNoPropertyTakes_data();
    void answersNoPropertyTakes();
    void setterAnswerRunsSettedCallbacksOnly();
    void laterPropertyDisplacesEarlier();
    void lateAnswer();
    void failedReadKeepsValue();
    void exactReadRefusesShortAnswers();
    void driverDeletedDuringWait();
    void syncCallInsideDelivery();
    void waitDoesNotSpin();
    void valueEncodings();
    void relaysStatus();
    void getDeviceInfo();
    void eepromWrited();
    // Must stay last: once the application is told to quit, no event loop of this
    // process runs again.
    void waitEndsWhenTheApplicationQuits();
};

void tst_Driver::attemptsAndRetries()
{
    Rig rig;
    bool ok = true;
    QCOMPARE(rig.drv->raw.readWriteSync(0x26, "q", &ok, 0), QByteArray());
    QVERIFY(!ok);
    ok = true;
    rig.drv->raw.readWriteSync(0x26, "q", &ok, -1);
    QVERIFY(!ok);

    // Only the second attempt is answered: two identical frames, the second payload back.
    rig.unit.answer(4, 0x26, FakeUnit::frame(4, 0x26, "first"), 0, 3);
    rig.unit.answer(4, 0x26, FakeUnit::frame(4, 0x26, "second"), 0, 2);
    QCOMPARE(rig.drv->raw.readWriteSync(0x26, "q", &ok, 3), QByteArray("second"));
    QVERIFY(ok);
    QCOMPARE(describe(rig.unit.frames()), (QStringList{"04 26 [71]", "04 26 [71]"}));
    QCOMPARE(rig.drv->rawCount.getted, 1);
}

void tst_Driver::answersNoPropertyTakes_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("unknown code") << 0x30;
    QTest::newRow("0x03") << 0x03;
    QTest::newRow("0x04") << 0x04;
    QTest::newRow("0xFF marks no direction") << 0xFF;
}

void tst_Driver::answersNoPropertyTakes()
{
    // The frame ends the wait at once, successfully, and changes nothing.
    QFETCH(int, code);
    Rig rig;
    rig.drv->value.setCurrentValue(2.5f);
    rig.drv->writeOnly.setBufferData("wo");
    rig.unit.answer(4, 0x20, FakeUnit::frame(4, quint8(code), "zz"));
    rig.unit.answer(6, 0x06, FakeUnit::frame(6, quint8(code), "zz"));

    QElapsedTimer clock;
    clock.start();
    bool ok = false;
    QCOMPARE(rig.drv->value.getValueSync(&ok, 1), 2.5f);
    QVERIFY(ok);
    QCOMPARE(rig.common->deviceType()->getValueSync(&ok, 1), QString());
    QVERIFY(ok);
    QVERIFY(clock.elapsed() < 400);
    QCOMPARE(rig.drv->writeOnly.data(), QByteArray("wo"));
    QCOMPARE(rig.drv->readOnlyCount.setted + rig.drv->writeOnlyCount.getted, 0);
    QCOMPARE(rig.drv->valueCount.getted + rig.drv->valueCount.setted, 0);
    QCOMPARE(rig.unit.frameCount(), 2);
}

void tst_Driver::setterAnswerRunsSettedCallbacksOnly()
{
    Rig rig;
    rig.drv->value.setCurrentValue(3.0f);
    rig.unit.answer(4, 0x21, FakeUnit::frame(4, 0x21, floatBytes(7.0f)));
    bool ok = false;
    rig.drv->value.setValueSync(5.0f, &ok, 1);
    QVERIFY(ok);
    QCOMPARE(rig.drv->valueCount.setted, 1);
    QCOMPARE(rig.drv->valueCount.getted, 0);
    QCOMPARE(rig.drv->value.currentValue(), 3.0f);
    QCOMPARE(rig.drv->value.lastSettedValue(), 5.0f);
    QCOMPARE(describe(rig.unit.frames()), QStringList{"04 21 [0000a040]"});
}

void tst_Driver::laterPropertyDisplacesEarlier()
{
    Rig rig;
    TestDriver& d = *rig.drv;
    // One shares raw's getter, the other value's setter: both earlier ones drop out.
    d.extra.emplace_back(new DriverProperty_p(&d, 0x26, 0x40));
    d.extra.emplace_back(new DriverProperty_p(&d, 0x41, 0x21));
    Counter second;
    d.extra[1]->settedSignal().append([&] { ++second.setted; });
    QVERIFY(rig.connect());

    rig.unit.send(FakeUnit::frame(4, 0x26, "new") + FakeUnit::frame(4, 0x27) +
                  FakeUnit::frame(4, 0x20, floatBytes(1.0f)) + FakeUnit::frame(4, 0x21));
    QTRY_COMPARE_WITH_TIMEOUT(second.setted, 1, 2000);
    QCOMPARE(d.extra[0]->data(), QByteArray("new"));
    QVERIFY(d.raw.data().isEmpty());
    QCOMPARE(d.rawCount.setted, 0);
    QCOMPARE(d.value.currentValue(), 0.0f);
    QCOMPARE(d.valueCount.getted + d.valueCount.setted, 0);
}

void tst_Driver::lateAnswer()
{
    Rig rig;
    TestDriver& d = *rig.drv;
    d.setTimeOut(150);
    rig.unit.answer(4, 0x20, FakeUnit::frame(4, 0x20, floatBytes(1.0f)), 300);
    bool ok = true;
    QCOMPARE(d.value.getValueSync(&ok, 1), 0.0f);
    QVERIFY(!ok);
    QCOMPARE(d.valueCount.getted, 0);
    // Arriving with nothing pending, it still lands in its property.
    QTRY_COMPARE_WITH_TIMEOUT(d.valueCount.getted, 1, 2000);
    QCOMPARE(d.value.currentValue(), 1.0f);

    // Arriving during a newer wait, it ends that wait, whatever the wait was for.
    d.value.getValueSync(&ok, 1);
    QVERIFY(!ok);
    d.setTimeOut(1000);
    QElapsedTimer clock;
    clock.start();
    d.raw.readWriteSync(0x26, {}, &ok, 1);
    QVERIFY(ok);
    QVERIFY(clock.elapsed() < 600);
    QCOMPARE(d.valueCount.getted, 2);
    QVERIFY(d.raw.data().isEmpty());
}

void tst_Driver::failedReadKeepsValue()
{
    Rig rig;
    TestDriver& d = *rig.drv;
    rig.unit.answer(4, 0x20, FakeUnit::frame(4, 0x20, floatBytes(1.5f)), 0, 1);
    bool ok = false;
    QCOMPARE(d.value.getValueSync(&ok, 1), 1.5f);
    QVERIFY(ok);
    QCOMPARE(d.value.getValueSync(&ok, 1), 1.5f);
    QVERIFY(!ok);

    // The last sent value is known before any answer; a read leaves it empty.
    d.value.setValue(-4.0f);
    QCOMPARE(d.value.lastSettedValue(), -4.0f);
    d.value.getValue();
    QCOMPARE(d.value.lastSettedValue(), 0.0f);
    d.raw.readWrite(0x27, "abc");
    QCOMPARE(d.raw.lastSettedData(), QByteArray("abc"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.unit.frameCount(), 5, 2000);
    QCOMPARE(describe(rig.unit.frames().mid(2)),
             (QStringList{"04 21 [000080c0]", "04 20 []", "04 27 [616263]"}));
}

void tst_Driver::exactReadRefusesShortAnswers()
{
    Rig rig;
    TestDriver& d = *rig.drv;
    const QByteArray line = DriverValueCodec<pair_t<float>>::encode({2.5f, -1.0f});
    // The first answer is cut short, the second is whole.
    rig.unit.answer(4, 0x22, FakeUnit::frame(4, 0x22, line.left(6)), 0, 1);
    rig.unit.answer(4, 0x22, FakeUnit::frame(4, 0x22, line), 0, 2);
    int getted = 0;
    d.line.gettedSignal().append([&getted] { ++getted; });
    bool ok = false;
    pair_t<float> read = d.line.getValueSyncExact(&ok, 1);
    QVERIFY(!ok);
    QCOMPARE(getted, 0);
    QCOMPARE(read.first, 0.0f);
    read = d.line.getValueSyncExact(&ok, 1);
    QVERIFY(ok);
    QCOMPARE(getted, 1);
    QCOMPARE(read.second, -1.0f);

    // A cut answer spends the attempt; the next attempt's whole answer counts.
    rig.unit.clearRules();
    rig.unit.answer(4, 0x22, FakeUnit::frame(4, 0x22, line.left(4)), 0, 1);
    rig.unit.answer(4, 0x22, FakeUnit::frame(4, 0x22, line), 0, 2);
    d.line.getValueSyncExact(&ok, 2);
    QVERIFY(ok);
    // The plain read still takes a cut answer, zero-filled.
    rig.unit.clearRules();
    rig.unit.answer(4, 0x22, FakeUnit::frame(4, 0x22, line.left(4)));
    QCOMPARE(d.line.getValueSync(&ok, 1).second, 0.0f);
    QVERIFY(ok);
}

void tst_Driver::driverDeletedDuringWait()
{
    Rig rig;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(50, [&] { delete rig.drv.data(); });
    bool ok = true;
    rig.drv->value.getValueSync(&ok, 5);
    QVERIFY(!ok);
    QVERIFY(rig.drv.isNull());
    QVERIFY(clock.elapsed() < 400);

    QTimer::singleShot(50, [&] { delete rig.common.data(); });
    QVERIFY(!rig.common->getDeviceInfo());
    QVERIFY(rig.common.isNull());
    QCOMPARE(rig.unit.frameCount(), 2);
}

void tst_Driver::syncCallInsideDelivery()
{
    // A callback run inside the link's delivery makes its own synchronous call.
    Rig rig;
    TestDriver& d = *rig.drv;
    rig.unit.answer(4, 0x20, FakeUnit::frame(4, 0x20, floatBytes(2.0f)));
    rig.unit.answer(4, 0x26, FakeUnit::frame(4, 0x26, "inner"));
    rig.unit.answer(6, 0x06, FakeUnit::frame(6, 0x06, "LC4HTM"));
    bool innerOk = false;
    bool commonOk = false;
    QByteArray inner;
    d.value.gettedSignal().append([&] {
        inner = d.raw.readWriteSync(0x26, {}, &innerOk, 1);
        rig.common->deviceType()->getValueSync(&commonOk, 1);
    });
    // A receiver after the driver still gets the outer payload intact.
    QList<QByteArray> later;
    connect(&rig.link, &lcIOInterface::msgReceived, &rig.link,
            [&](quint8, quint8 command, quint8 length, quint8* data) {
                if (command == 0x20)
                    later << QByteArray(reinterpret_cast<char*>(data), length);
            });
    QElapsedTimer clock;
    clock.start();
    bool ok = false;
    QCOMPARE(d.value.getValueSync(&ok, 1), 2.0f);
    QVERIFY(ok);
    QVERIFY(innerOk);
    QVERIFY(commonOk);
    QCOMPARE(inner, QByteArray("inner"));
    QCOMPARE(later, QList<QByteArray>{floatBytes(2.0f)});
    QCOMPARE(rig.common->deviceType()->currentValue(), QString("LC4HTM"));
    QVERIFY(clock.elapsed() < 400);
}

void tst_Driver::waitDoesNotSpin()
{
    Rig rig;
    QVERIFY(rig.connect());
    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpu = std::clock();
    bool ok = true;
    rig.drv->value.getValueSync(&ok, 1);
    const double cpuMs = 1000.0 * double(std::clock() - cpu) / CLOCKS_PER_SEC;
    const qint64 wallMs = wall.elapsed();
    QVERIFY(!ok);
    QVERIFY(wallMs >= 450);
    QVERIFY2(cpuMs < 0.2 * double(wallMs),
             qPrintable(QString("cpu %1 ms of %2 ms").arg(cpuMs).arg(wallMs)));
}

void tst_Driver::valueEncodings()
{
    Rig rig;
    TestDriver& d = *rig.drv;
    bool ok = false;
    QCOMPARE(d.value.currentValue(), 0.0f);
    QCOMPARE(rig.common->UDID()->currentValue().bytes[11], quint8(0));

    rig.unit.answer(4, 0x20, FakeUnit::frame(4, 0x20, QByteArray("\x00\x00\x80\x3f", 4)), 0, 1);
    rig.unit.answer(4, 0x20, FakeUnit::frame(4, 0x20, QByteArray("\x00\x00\x20\xc1\xee\xee", 6)), 0,
                    2);
    QCOMPARE(d.value.getValueSync(&ok, 1), 1.0f);
    QCOMPARE(d.value.getValueSync(&ok, 1), -10.0f);

    rig.unit.answer(4, 0x24, FakeUnit::frame(4, 0x24, QByteArray("\x78\x56\x34\x12", 4)), 0, 1);
    rig.unit.answer(4, 0x24, FakeUnit::frame(4, 0x24, QByteArray("\x34\x12", 2)), 0, 2);
    QCOMPARE(d.number.getValueSync(&ok, 1), 0x12345678u);
    QCOMPARE(d.number.getValueSync(&ok, 1), 0x1234u);

    rig.unit.answer(4, 0x22, FakeUnit::frame(4, 0x22, floatBytes(0.5f) + floatBytes(-3.0f)));
    const pair_t<float> line = d.line.getValueSync(&ok, 1);
    QCOMPARE(line.first, 0.5f);
    QCOMPARE(line.second, -3.0f);
    d.line.setValue({2.0f, -1.0f});

    // Any non-zero byte reads as true.
    rig.unit.answer(4, 0x2A, FakeUnit::frame(4, 0x2A, QByteArray("\x02", 1)));
    QCOMPARE(d.flag.getValueSync(&ok, 1), true);
    d.flag.setValue(true);

    rig.unit.answer(6, 0x06, FakeUnit::frame(6, 0x06, QByteArray("LC4SDM0\0junk", 12)));
    rig.unit.answer(6, 0x0A, FakeUnit::frame(6, 0x0A, "T \xc2\xb5K"));
    rig.unit.answer(6, 0x05,
                    FakeUnit::frame(6, 0x05, QByteArray::fromHex("0123456789abcdef00ff10a0")));
    QCOMPARE(rig.common->deviceType()->getValueSync(&ok, 1), QString("LC4SDM0"));
    QCOMPARE(rig.common->deviceDescription()->getValueSync(&ok, 1), QString::fromUtf8("T µK"));
    QCOMPARE(udidToString(rig.common->UDID()->getValueSync(&ok, 1)),
             QString("0123-4567-89AB-CDEF-00FF-10A0"));
    QVERIFY(ok);

    QTRY_COMPARE_WITH_TIMEOUT(rig.unit.frameCount(), 11, 2000);
    const QStringList sent = describe(rig.unit.frames());
    QCOMPARE(sent[5], QString("04 23 [00000040000080bf]"));
    QCOMPARE(sent[7], QString("04 2b [01]"));
}

void tst_Driver::relaysStatus()
{
    cRelaysStatus relays;
    QCOMPARE(relays.status(), quint8(0));
    relays.setValue(2, true);
    QCOMPARE(relays.status(), quint8(0x22));
    relays.setValue(1, false);
    QCOMPARE(relays.status(), quint8(0x32));
    relays.clearMask();
    QCOMPARE(relays.status(), quint8(0x02));
    QVERIFY(relays[1]);
    QVERIFY(!relays[0]);
    QVERIFY(!relays[4]);

    relays.setValue(4, true);
    QCOMPARE(relays.status(), quint8(0x8A));
    QVERIFY(relays[7]);
    // Relays outside 1..4 and bits outside the byte change and read nothing.
    relays.setValue(0, true);
    relays.setValue(5, true);
    QCOMPARE(relays.status(), quint8(0x8A));
    QVERIFY(!relays[8]);
    QVERIFY(!relays[-1]);
}

void tst_Driver::getDeviceInfo()
{
    Rig rig;
    CommonDriver& c = *rig.common;
    const QList<quint8> order{0x06, 0x07, 0x08, 0x09, 0x0A, 0x05};
    for (quint8 code : order)
        rig.unit.answer(6, code,
                        FakeUnit::frame(6, code, code == 0x05 ? QByteArray(12, 'u') : "t"));
    QVERIFY(c.getDeviceInfo());
    QStringList expected;
    for (quint8 code : order)
        expected << describe(FakeFrame{0, 6, code, {}});
    QCOMPARE(describe(rig.unit.frames()), expected);

    // Answers the type but not the modification: stops after the second request.
    rig.unit.clearRules();
    rig.unit.answer(6, 0x06, FakeUnit::frame(6, 0x06, "LC4TDM1 rev B"));
    QVERIFY(!c.getDeviceInfo());
    QCOMPARE(describe(rig.unit.frames().mid(6)), expected.mid(0, 2));
    QCOMPARE(c.deviceType()->currentValue(), QString("LC4TDM1 rev B"));
}

void tst_Driver::eepromWrited()
{
    Rig rig;
    QSignalSpy written(rig.common.data(), &CommonDriver::eepromWrited);
    QVERIFY(rig.connect());

    // Unasked answers count; other addresses and other commands do not.
    rig.unit.send(FakeUnit::frame(4, 0x0C) + FakeUnit::frame(6, 0x00) + FakeUnit::frame(6, 0x0C));
    QVERIFY(written.wait(2000));
    QCOMPARE(written.count(), 1);

    rig.unit.answer(6, 0x0C, FakeUnit::frame(6, 0x0C));
    rig.unit.answer(6, 0x00, FakeUnit::frame(6, 0x00));
    bool ok = false;
    rig.common->init()->executeSync(&ok, 1);
    QVERIFY(ok);
    QCOMPARE(written.count(), 1);
    rig.common->writeEeprom()->executeSync(&ok, 1);
    QVERIFY(ok);
    QCOMPARE(written.count(), 2);
    QCOMPARE(describe(rig.unit.frames()), (QStringList{"06 00 []", "06 0c []"}));
}

void tst_Driver::waitEndsWhenTheApplicationQuits()
{
    Rig rig;
    QVERIFY(rig.connect());
    QTimer::singleShot(50, [] { QCoreApplication::exit(0); });
    QElapsedTimer wall;
    wall.start();
    bool ok = true;
    rig.drv->value.getValueSync(&ok, 5);
    QVERIFY(!ok);
    QVERIFY(wall.elapsed() < 400);
}

QTEST_GUILESS_MAIN(tst_Driver)
#include "tst_driver.moc"
