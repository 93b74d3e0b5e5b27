// Temperature drivers M0 and M1: record keeping, per-channel copies and the
// chunked table transfers, on an in-process link.
#include "fakelink.h"
#include "tempdriverm0.h"
#include "tempdriverm1.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
constexpr quint8 dev = 9;

template <typename Driver> void attachQuick(Driver& driver, FakeLink& link)
{
    attach(driver, link, dev);
    driver.setTimeOut(20); // keeps the failing transfers short
}

// Items that tell where they belong: voltage = channel, temperature = index.
QByteArray chunkItems(int ch, int start, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += leBytes(float(ch)) + leBytes(float(start + i));
    return bytes;
}

// Answers table chunks; a chunk for which `silent` is true gets no answer.
FakeLink::Responder tableResponder(bool withChannel, std::function<bool(int, int)> silent = {})
{
    return [=](const FakeLink::Frame& request, FakeLink::Frame& answer) {
        const int ch = withChannel ? quint8(request.payload.at(0)) : 0;
        const int start = quint8(request.payload.at(withChannel ? 1 : 0));
        const int count = quint8(request.payload.at(withChannel ? 2 : 1));
        if (silent && silent(ch, start))
            return false;
        answer.payload = request.command == 0x28 ? chunkItems(ch, start, count) : QByteArray();
        return true;
    };
}

const LC4TDM0V1_Temp_Table_Item_t sentinel{-1.0f, -1.0f};
} // namespace

class tst_TempDrivers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<LC4TDM0V1_Data_t>(); }

    void m0DataRecordAndSingleValues()
    {
        FakeLink link;
        TempDriverM0 driver;
        attachQuick(driver, link);
        QSignalSpy spy(&driver, &TempDriverM0::dataUpdated);

        const QByteArray record = leBytes(77.0f) + leBytes(1e-3f) + leBytes(1e-5f) + leBytes(0.9f) +
                                  leBytes(0.01f) + leBytes(0.02f) +
                                  QByteArray("\x01\xAA\xBB\xCC", 4);
        link.deliver(dev, 0x10, record);
        QCOMPARE(driver.tempSensorCurrent()->currentValue(), 1e-5f);
        QCOMPARE(driver.pressSensorVoltageN()->currentValue(), 0.02f);
        QVERIFY(driver.commutator()->currentValue());

        link.deliver(dev, 0x11, leBytes(4.2f));
        QCOMPARE(spy.count(), 2);
        const LC4TDM0V1_Data_t d = spy.last().at(0).value<LC4TDM0V1_Data_t>();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&d), 28), leBytes(4.2f) + record.mid(4));

        // A confirmed write changes nothing cached: only a read-back does.
        link.responder = answering({});
        bool ok = false;
        driver.tempSensorCurrent()->setValueSync(2e-5f, &ok, 1);
        QVERIFY(ok);
        QCOMPARE(driver.data()->currentValue().tempSensorCurrent, 1e-5f);
    }

    void m0TableReadStopsAtTheFailedChunk()
    {
        FakeLink link;
        TempDriverM0 driver;
        attachQuick(driver, link);
        std::fill(driver.tempTable(), driver.tempTable() + tempTableItems, sentinel);
        link.responder = tableResponder(false, [](int, int start) { return start == 30; });

        QVERIFY(!driver.receiveTempTable());
        QCOMPARE(link.sent.size(), 3 + 5);
        QCOMPARE(link.sent.last().payload, QByteArray("\x1E\x0A", 2));
        QCOMPARE(driver.tempTable()[29].temperature, 29.0f);
        QCOMPARE(driver.tempTable()[30].temperature, -1.0f);
        QCOMPARE(driver.tempTable()[99].voltage, -1.0f);
    }

    void m0TableReadRefusesBadChunkAnswers()
    {
        // A short answer, and a wait ended by a frame that is no chunk answer:
        // neither may put anything into the table.
        for (const quint8 answerCommand : {quint8(0x28), quint8(0x03)}) {
            FakeLink link;
            TempDriverM0 driver;
            attachQuick(driver, link);
            std::fill(driver.tempTable(), driver.tempTable() + tempTableItems, sentinel);
            link.responder = [=](const FakeLink::Frame& request, FakeLink::Frame& answer) {
                const int start = quint8(request.payload.at(0));
                answer.payload = chunkItems(0, start, 10);
                if (start == 10) {
                    answer.command = answerCommand;
                    answer.payload.chop(1);
                }
                return true;
            };
            QVERIFY(!driver.receiveTempTable());
            QCOMPARE(link.sent.size(), 2);
            QCOMPARE(driver.tempTable()[9].temperature, 9.0f);
            QCOMPARE(driver.tempTable()[10].temperature, -1.0f);
        }
    }

    void m0TableWriteSendsTenChunks()
    {
        FakeLink link;
        TempDriverM0 driver;
        attachQuick(driver, link);
        for (int i = 0; i < tempTableItems; ++i)
            driver.tempTable()[i] = {0.0f, float(i)};
        link.responder = tableResponder(false);

        QVERIFY(driver.sendTempTable());
        QCOMPARE(link.sent.size(), 10);
        for (const FakeLink::Frame& frame : qAsConst(link.sent))
            QVERIFY(frame.command == 0x29 && frame.payload.size() == 82);
        QCOMPARE(link.sent.at(9).payload, QByteArray("\x5A\x0A", 2) + chunkItems(0, 90, 10));
    }

    void m1ChannelReadingsCheckTheAnswerSize()
    {
        FakeLink link;
        TempDriverM1 driver;
        attachQuick(driver, link);
        QByteArray answer = leBytes(1.5f);
        link.responder = [&](const FakeLink::Frame&, FakeLink::Frame& a) {
            a.payload = answer;
            return true;
        };
        QVERIFY(driver.updateVoltage(2));
        QCOMPARE(link.sent.last().payload, QByteArray(1, '\2'));
        QCOMPARE(driver.currentVoltage(2), 1.5f);
        QCOMPARE(driver.currentVoltage(1), 0.0f);

        answer = leBytes(1.0f) + leBytes(2.0f) + leBytes(3.0f) + leBytes(4.0f);
        QVERIFY(!driver.updateVoltage(2));
        QCOMPARE(driver.currentVoltage(2), 1.5f);
        QVERIFY(driver.updateVoltage());
        QCOMPARE(link.sent.last().payload, QByteArray(1, '\xFF'));
        for (quint8 ch = 0; ch < 4; ++ch)
            QCOMPARE(driver.currentVoltage(ch), float(ch + 1));

        const int sent = link.sent.size();
        QVERIFY(!driver.updateVoltage(4));
        QVERIFY(!driver.updateTemperature(0xFF));
        QVERIFY(!driver.setCurrent(4, 1e-5f));
        QCOMPARE(link.sent.size(), sent);
        QVERIFY(driver.setCurrent(1e-5f));
        QCOMPARE(link.sent.last().command, quint8(0x14));
        QCOMPARE(link.sent.last().payload, QByteArray(1, '\xFF') + leBytes(1e-5f));
    }

    void m1DefaultParamsTravelInFiveByteGroups()
    {
        FakeLink link;
        TempDriverM1 driver;
        attachQuick(driver, link);
        QByteArray packed;
        for (int ch = 0; ch < 4; ++ch)
            packed += QByteArray(1, '\1') + leBytes(1.0e-5f);
        link.responder = answering({{0x2E, packed}});
        QVERIFY(driver.readDefaultParams());
        for (quint8 ch = 0; ch < 4; ++ch)
            QVERIFY(driver.defaultParam(ch).enable && driver.defaultParam(ch).current == 1.0e-5f);

        driver.setDefaultParam(2, {false, 3e-6f});
        QVERIFY(driver.writeDefaultParams());
        QCOMPARE(link.sent.last().payload,
                 packed.left(10) + QByteArray(1, '\0') + leBytes(3e-6f) + packed.mid(15));

        // The size of the host form is not the wire size.
        link.responder = answering({{0x2E, QByteArray(32, '\0')}});
        QVERIFY(!driver.readDefaultParams());
        QVERIFY(driver.defaultParam(0).enable);
    }

    void m1TableReadSendsFortyChunks()
    {
        FakeLink link;
        TempDriverM1 driver;
        attachQuick(driver, link);
        link.responder = tableResponder(true);
        QVERIFY(driver.receiveTempTables());
        QCOMPARE(link.sent.size(), 40);
        for (int k = 0; k < 40; ++k) {
            const char expected[] = {char(k / 10), char(k % 10 * 10), 10};
            QCOMPARE(link.sent.at(k).payload, QByteArray(expected, 3));
        }
        QCOMPARE(driver.tempTableItem(3, 95).voltage, 3.0f);
        QCOMPARE(driver.tempTable(1)[42].temperature, 42.0f);
    }

    void m1TableReadFailures()
    {
        FakeLink link;
        TempDriverM1 driver;
        attachQuick(driver, link);
        for (quint8 ch = 0; ch < 4; ++ch)
            for (quint8 i = 0; i < tempTableItems; ++i)
                driver.setTempTableItem(ch, i, sentinel);
        link.responder =
            tableResponder(true, [](int ch, int start) { return ch == 1 && start == 50; });
        QVERIFY(!driver.receiveTempTables());
        QCOMPARE(link.sent.size(), 15 + 10);
        QCOMPARE(driver.tempTableItem(1, 49).temperature, 49.0f);
        QCOMPARE(driver.tempTableItem(1, 50).temperature, -1.0f);

        link.sent.clear();
        link.responder = [](const FakeLink::Frame&, FakeLink::Frame& answer) {
            answer.payload = chunkItems(7, 0, 9);
            return true;
        };
        QVERIFY(!driver.receiveTempTables());
        QCOMPARE(link.sent.size(), 1);
        QCOMPARE(driver.tempTableItem(0, 0).voltage, 0.0f);
    }

    void m1TableWrite()
    {
        FakeLink link;
        TempDriverM1 driver;
        attachQuick(driver, link);
        LC4TDM0V1_Temp_Table_Item_t items[tempTableItems];
        for (int i = 0; i < tempTableItems; ++i)
            items[i] = {2.0f, float(i)};
        driver.setTempTable(2, items);
        link.responder = tableResponder(true);
        QVERIFY(driver.sendTempTables());
        QCOMPARE(link.sent.size(), 40);
        for (const FakeLink::Frame& frame : qAsConst(link.sent))
            QVERIFY(frame.command == 0x29 && frame.payload.size() == 83);
        QCOMPARE(link.sent.at(23).payload, QByteArray("\x02\x1E\x0A", 3) + chunkItems(2, 30, 10));
    }

    void m1OutOfRangeCopiesWithoutTraffic()
    {
        FakeLink link;
        TempDriverM1 driver;
        attachQuick(driver, link);
        driver.setDefaultParam(-1, {true, 1.0f});
        driver.setDefaultParam(4, {true, 1.0f});
        driver.setTempTableItem(1, 100, sentinel);
        driver.setTempTable(4, driver.tempTable(0));
        driver.setTempTable(0, nullptr);

        QCOMPARE(driver.tempTableItem(1, 100).voltage, 0.0f);
        QCOMPARE(driver.tempTableItem(1, 99).voltage, 0.0f);
        QCOMPARE(driver.currentTemperature(4), 0.0f);
        QVERIFY(!driver.defaultParam(4).enable && !driver.defaultParam(0).enable);
        QCOMPARE(driver.eepromCoeff(4).currentCoeff.first, 0.0f);
        QVERIFY(driver.tempTable(4) == nullptr);
        QVERIFY(link.sent.isEmpty());
    }

    void m1SwitcherModeIsOneSignedByte()
    {
        FakeLink link;
        link.responder = answering({{0x2C, QByteArray(1, '\xFE')}});
        TempDriverM1 driver;
        attachQuick(driver, link);
        bool ok = false;
        driver.switcherMode()->setValueSync(cmd::LC4TDM1_SwitcherNormal, &ok, 1);
        QVERIFY(ok);
        QCOMPARE(link.sent.last().command, quint8(0x2D));
        QCOMPARE(link.sent.last().payload, QByteArray(1, '\2'));
        QCOMPARE(int(driver.switcherMode()->getValueSync(&ok, 1)), -2);
    }

    void driversSurviveDeletionDuringTableTransfers()
    {
        FakeLink link;
        QPointer<TempDriverM0> m0 = new TempDriverM0;
        attachQuick(*m0, link);
        link.responder = tableResponder(false, [&](int, int start) {
            if (start == 20)
                QTimer::singleShot(0, [&] { delete m0; });
            return start == 20;
        });
        QVERIFY(!m0->receiveTempTable());
        QVERIFY(!m0);

        QPointer<TempDriverM1> m1 = new TempDriverM1;
        attachQuick(*m1, link);
        link.responder = tableResponder(true, [&](int ch, int start) {
            const bool last = ch == 2 && start == 70;
            if (last)
                QTimer::singleShot(0, [&] { delete m1; });
            return last;
        });
        QVERIFY(!m1->sendTempTables());
        QVERIFY(!m1);
    }
};

QTEST_GUILESS_MAIN(tst_TempDrivers)
#include "tst_tempdrivers.moc"
