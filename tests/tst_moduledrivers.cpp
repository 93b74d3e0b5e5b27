// SSPD driver (both modifications) and SIS bias source driver: record images
// and the callbacks that keep the cached records in step, on an in-process link.
#include "fakelink.h"
#include "sisbiassourcedriverm0.h"
#include "sspddriverm1.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
constexpr quint8 dev = 4;
} // namespace

class tst_ModuleDrivers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<LC4SDM0V1_Data_t>();
        qRegisterMetaType<LC4SDM0V1_Param_t>();
        qRegisterMetaType<LC4SDM0V1_EEPROM_Const_t>();
        qRegisterMetaType<LC4SDM1_Data_t>();
        qRegisterMetaType<LC4SDM1_EEPROM_Const_t>();
        qRegisterMetaType<LC4BSM0_Data_t>();
        qRegisterMetaType<LC4BSM0V0_EEPROM_Const_t>();
    }

    void sspdM0DataRecordFillsTheSingleValues()
    {
        FakeLink link;
        SspdDriverM0 driver;
        attach(driver, link, dev);
        QSignalSpy spy(&driver, &SspdDriverM0::dataUpdated);

        const QByteArray payload = leBytes(0.000005f) + leBytes(0.012f) + leBytes(1234.0f) +
                                   QByteArray("\x36\xAA\xBB\xCC", 4);
        link.deliver(dev, 0x10, payload);

        QCOMPARE(driver.current()->currentValue(), 0.000005f);
        QCOMPARE(driver.voltage()->currentValue(), 0.012f);
        QCOMPARE(driver.counts()->currentValue(), 1234.0f);
        QCOMPARE(driver.status()->currentValue().byte, quint8(0x36));
        QCOMPARE(spy.count(), 1);
        // Reserved bytes travel unchanged.
        QCOMPARE(image(spy.at(0).at(0).value<LC4SDM0V1_Data_t>()), payload);
    }

    void sspdM0EnableSetPatchesFromCachedStatus()
    {
        FakeLink link;
        link.responder = answering({});
        SspdDriverM0 driver;
        attach(driver, link, dev);
        link.deliver(dev, 0x15, QByteArray(1, '\x36'));
        // A stale status inside the data record must not be the starting point.
        LC4SDM0V1_Data_t stale{};
        stale.status.byte = 0xFF;
        driver.updateData(stale);
        QSignalSpy spy(&driver, &SspdDriverM0::dataUpdated);

        bool ok = false;
        driver.amplifierEnable()->setValueSync(false, &ok, 1);
        QVERIFY(ok);
        QCOMPARE(link.sent.last().command, quint8(0x18));
        QCOMPARE(link.sent.last().payload, QByteArray(1, '\0'));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(driver.data()->currentValue().status.byte, quint8(0x32));
        QCOMPARE(driver.status()->currentValue().byte, quint8(0x36));
    }

    void sspdM0CurrentSetLeavesTheDataRecord()
    {
        FakeLink link;
        link.responder = answering({});
        SspdDriverM0 driver;
        attach(driver, link, dev);
        QSignalSpy spy(&driver, &SspdDriverM0::dataUpdated);
        bool ok = false;
        driver.current()->setValueSync(0.00001f, &ok, 1);
        QVERIFY(ok);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(driver.data()->currentValue().current, 0.0f);
    }

    void sspdM0SingleAnswersPatchOnlyTheirField()
    {
        FakeLink link;
        SspdDriverM0 driver;
        attach(driver, link, dev);
        LC4SDM0V1_Param_t params{0.1f, 1.0f, 2.0f, 3.0f, 7};
        link.deliver(dev, 0x1D, image(params));
        QSignalSpy paramsSpy(&driver, &SspdDriverM0::paramsUpdated);
        link.deliver(dev, 0x21, leBytes(0.5f));
        QCOMPARE(paramsSpy.count(), 1);
        params.timeConst = 0.5f;
        QCOMPARE(image(paramsSpy.at(0).at(0).value<LC4SDM0V1_Param_t>()), image(params));

        link.deliver(dev, 0x29, QByteArray(32, '\0'));
        link.deliver(dev, 0x2D, leBytes(2.0f) + leBytes(-1.0f));
        const QByteArray eeprom = image(driver.eepromConst()->currentValue());
        QCOMPARE(eeprom.mid(8, 8), leBytes(2.0f) + leBytes(-1.0f));
        QCOMPARE(eeprom.mid(16, 8), QByteArray(8, '\0'));
    }

    void sspdPidSwitchIsInNoRecord()
    {
        FakeLink link;
        link.responder = answering({{0x33, QByteArray(1, '\1')}});
        SspdDriverM0 driver;
        attach(driver, link, dev);
        QSignalSpy data(&driver, &SspdDriverM0::dataUpdated);
        QSignalSpy params(&driver, &SspdDriverM0::paramsUpdated);
        QSignalSpy eeprom(&driver, &SspdDriverM0::eepromConstUpdated);
        bool ok = false;
        QVERIFY(driver.PIDEnableStatus()->getValueSync(&ok, 1));
        driver.PIDEnableStatus()->setValueSync(false, &ok, 1);
        QVERIFY(ok);
        QCOMPARE(data.count() + params.count() + eeprom.count(), 0);
    }

    void sspdM1DataRecordOrderAndStatusBits()
    {
        FakeLink link;
        SspdDriverM1 driver;
        attach(driver, link, dev);
        link.deliver(dev, 0x10,
                     leBytes(0.000005f) + leBytes(0.0000049f) + leBytes(0.012f) + leBytes(1234.0f) +
                         QByteArray("\x3C\0\0\0", 4));
        QCOMPARE(driver.currentMonitor()->currentValue(), 0.0000049f);
        QCOMPARE(driver.voltage()->currentValue(), 0.012f);
        QVERIFY(driver.status()->currentValue().bit(LC4SDM1_Status_t::highFrequencyModeEnableBit));

        link.responder = answering({});
        QSignalSpy spy(&driver, &SspdDriverM1::dataUpdated);
        bool ok = false;
        driver.highFrequencyModeEnable()->setValueSync(false, &ok, 1);
        QCOMPARE(driver.data()->currentValue().status.byte, quint8(0x34));
        driver.current()->setValueSync(0.00001f, &ok, 1);
        QVERIFY(ok);
        QCOMPARE(spy.count(), 2);
        const LC4SDM1_Data_t d = spy.last().at(0).value<LC4SDM1_Data_t>();
        QCOMPARE(d.current, 0.00001f);
        QCOMPARE(d.currentMonitor, 0.0000049f);
        QCOMPARE(d.counts, 1234.0f);
    }

    void sspdM1PackedConstantsAndInvertedCodes()
    {
        FakeLink link;
        link.responder = answering({{0x3A, leBytes(3.5f)}});
        SspdDriverM1 driver;
        attach(driver, link, dev);
        bool ok = false;
        QCOMPARE(driver.pulseWidthCoeff()->getValueSync(&ok, 1), 3.5f);
        QCOMPARE(link.sent.last().command, quint8(0x3A));
        driver.pulseWidthCoeff()->setValueSync(4.0f, &ok, 1);
        QCOMPARE(link.sent.last().command, quint8(0x39));

        QByteArray eeprom = image(driver.eepromConst()->currentValue());
        QCOMPARE(eeprom.mid(32, 4), leBytes(3.5f));
        link.deliver(dev, 0x31, leBytes(1.5f) + leBytes(0.25f));
        eeprom = image(driver.eepromConst()->currentValue());
        QCOMPARE(eeprom.mid(36, 8), leBytes(1.5f) + leBytes(0.25f));
        QCOMPARE(eeprom.mid(32, 4), leBytes(3.5f));
    }

    void biasSourceDataAndSingleValues()
    {
        FakeLink link;
        SisBiasSourceDriverM0 driver;
        attach(driver, link, dev);
        QSignalSpy spy(&driver, &SisBiasSourceDriverM0::dataUpdated);
        link.deliver(dev, 16, leBytes(1e-6f) + leBytes(0.002f) + QByteArray("\x01\x01\0\0", 4));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(driver.current()->currentValue(), 1e-6f);
        QCOMPARE(driver.voltage()->currentValue(), 0.002f);
        QVERIFY(driver.shortEnable()->currentValue());
        QCOMPARE(driver.mode()->currentValue(), char(1));

        link.deliver(dev, 19, leBytes(0.003f));
        QCOMPARE(spy.count(), 2);
        const LC4BSM0_Data_t merged = spy.last().at(0).value<LC4BSM0_Data_t>();
        QCOMPARE(merged.voltage, 0.003f);
        QCOMPARE(merged.current, 1e-6f);
        QCOMPARE(merged.mode, char(1));

        link.responder = answering({});
        bool ok = false;
        driver.current()->setValueSync(5e-6f, &ok, 1);
        QVERIFY(ok);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(driver.data()->currentValue().current, 1e-6f);
    }

    void biasSourceConstantsFollowTheRecordOrder()
    {
        FakeLink link;
        SisBiasSourceDriverM0 driver;
        attach(driver, link, dev);
        QSignalSpy spy(&driver, &SisBiasSourceDriverM0::eepromConstUpdated);
        link.deliver(dev, 41, leBytes(-0.01f) + leBytes(0.01f)); // voltage limits
        link.deliver(dev, 33, leBytes(2.0f) + leBytes(0.5f));    // current DAC
        QCOMPARE(spy.count(), 2);
        const QByteArray eeprom = image(spy.last().at(0).value<LC4BSM0V0_EEPROM_Const_t>());
        QCOMPARE(eeprom.mid(40, 8), leBytes(-0.01f) + leBytes(0.01f));
        QCOMPARE(eeprom.mid(16, 8), leBytes(2.0f) + leBytes(0.5f));
        QCOMPARE(eeprom.mid(0, 16), QByteArray(16, '\0'));
    }

    void biasSourceSweepFramesAndCommands()
    {
        FakeLink link;
        SisBiasSourceDriverM0 driver;
        attach(driver, link, dev);
        QSignalSpy data(&driver, &SisBiasSourceDriverM0::dataUpdated);

        // A sweep point matches no property but still ends a pending wait.
        bool ok = false;
        link.responder = [](const FakeLink::Frame&, FakeLink::Frame& answer) {
            answer.command = SisBiasSourceDriverM0::sweepFrameCommand;
            answer.payload = QByteArray(12, '\0');
            return true;
        };
        driver.pidEnable()->getValueSync(&ok, 1);
        QVERIFY(ok);
        QCOMPARE(data.count(), 0);

        link.responder = answering({});
        driver.sweepStart()->executeSync(&ok, 1);
        driver.sweepStop()->executeSync(&ok, 1);
        QCOMPARE(link.sent.at(link.sent.size() - 2).command, quint8(49));
        QCOMPARE(link.sent.last().command, quint8(50));
        QVERIFY(link.sent.last().payload.isEmpty());

        LC4BSM0_SWEEP_PARAMS_t sweep{0.0f, 0.005f, 0.0001f, 20, 1, {0, 0, 0}};
        driver.sweepParams()->setValueSync(sweep, &ok, 1);
        QCOMPARE(link.sent.last().command, quint8(48));
        QCOMPARE(link.sent.last().payload, leBytes(0.0f) + leBytes(0.005f) + leBytes(0.0001f) +
                                               leBytes(quint32(20)) + QByteArray("\1\0\0\0", 4));
    }
};

QTEST_GUILESS_MAIN(tst_ModuleDrivers)
#include "tst_moduledrivers.moc"
