// SIS control line and heater drivers: record images and the callbacks that
// keep the cached records in step, on an in-process link.
#include "fakelink.h"
#include "heaterdriverm0.h"
#include "siscontrollinedriverm0.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
constexpr quint8 dev = 6;
} // namespace

class tst_ControlHeaterDrivers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<LC4CLM0V0_Data_t>();
        qRegisterMetaType<LC4CLM0V0_EEPROM_Const_t>();
        qRegisterMetaType<LC4HTM0V0_Data_t>();
        qRegisterMetaType<LC4HT0V0_EEPROM_Const_t>();
    }

    void controlLineRecordsAndSingleValues()
    {
        FakeLink link;
        SisControlLineDriverM0 driver;
        attach(driver, link, dev);
        QSignalSpy data(&driver, &SisControlLineDriverM0::dataUpdated);
        QSignalSpy eeprom(&driver, &SisControlLineDriverM0::eepromConstUpdated);

        link.deliver(dev, 0x10, leBytes(0.004f) + QByteArray("\x02\xAA\xBB\xCC", 4));
        QVERIFY(driver.shortEnable()->currentValue());
        link.deliver(dev, 0x13, QByteArray(1, '\0'));
        QCOMPARE(data.count(), 2);
        QCOMPARE(image(data.last().at(0).value<LC4CLM0V0_Data_t>()),
                 leBytes(0.004f) + QByteArray("\x00\xAA\xBB\xCC", 4));

        const LC4CLM0V0_EEPROM_Const_t e{{1.0f, 0.1f}, {2.0f, 0.2f}, {-0.01f, 0.01f}, 0.5f};
        link.deliver(dev, 0x17, image(e));
        QCOMPARE(driver.currentLimits()->currentValue().second, 0.01f);
        link.deliver(dev, 0x1F, leBytes(0.25f));
        QCOMPARE(eeprom.count(), 2);
        QCOMPARE(image(eeprom.last().at(0).value<LC4CLM0V0_EEPROM_Const_t>()),
                 image(e).left(24) + leBytes(0.25f));

        // Confirmed writes and the PID switch touch no record.
        link.responder = answering({{0x15, QByteArray(1, '\1')}});
        bool ok = false;
        driver.currentLimits()->setValueSync({-0.02f, 0.02f}, &ok, 1);
        QVERIFY(ok);
        QCOMPARE(link.sent.last().command, quint8(30));
        QCOMPARE(link.sent.last().payload, leBytes(-0.02f) + leBytes(0.02f));
        QVERIFY(driver.pidEnable()->getValueSync(&ok, 1));
        QCOMPARE(data.count() + eeprom.count(), 4);
    }

    void heaterDataRecordPutsBytesFirst()
    {
        FakeLink link;
        HeaterDriverM0 driver;
        attach(driver, link, dev);
        QSignalSpy spy(&driver, &HeaterDriverM0::dataUpdated);

        link.deliver(dev, 0x10, QByteArray("\x01\x00\xAA\xBB", 4) + leBytes(0.5f));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(driver.relayStatus()->currentValue(), char(1));
        QCOMPARE(driver.mode()->currentValue(), char(0));
        QCOMPARE(driver.current()->currentValue(), 0.5f);

        link.deliver(dev, 0x15, QByteArray(1, '\x03'));
        QCOMPARE(image(spy.last().at(0).value<LC4HTM0V0_Data_t>()),
                 QByteArray("\x01\x03\xAA\xBB", 4) + leBytes(0.5f));
    }

    void heaterConstantsAndCommands()
    {
        FakeLink link;
        HeaterDriverM0 driver;
        attach(driver, link, dev);
        const LC4HT0V0_EEPROM_Const_t e{{1.0f, 0.1f}, {2.0f, 0.2f}, 0.1f, 1.0f, 2.0f, 3.0f};
        link.deliver(dev, 0x17, image(e));
        QCOMPARE(driver.rearEdgeTime()->currentValue(), 3.0f);

        QSignalSpy spy(&driver, &HeaterDriverM0::eepromConstUpdated);
        link.deliver(dev, 0x1D, leBytes(7.0f));                 // hold time
        link.deliver(dev, 0x21, leBytes(4.0f) + leBytes(0.0f)); // ADC pair, coded after the floats
        QCOMPARE(spy.count(), 2);
        QCOMPARE(image(spy.last().at(0).value<LC4HT0V0_EEPROM_Const_t>()),
                 leBytes(4.0f) + leBytes(0.0f) + image(e).mid(8, 16) + leBytes(7.0f) +
                     leBytes(3.0f));

        link.responder = answering({});
        bool ok = false;
        driver.startHeating()->executeSync(&ok, 1);
        driver.emergencyStop()->executeSync(&ok, 1);
        QVERIFY(ok);
        QCOMPARE(link.sent.at(0).command, quint8(13));
        QCOMPARE(link.sent.at(1).command, quint8(14));
        QVERIFY(link.sent.at(0).payload.isEmpty() && link.sent.at(1).payload.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_ControlHeaterDrivers)
#include "tst_controlheaterdrivers.moc"
