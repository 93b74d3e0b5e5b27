// The driver library against the unit simulator: identification, and the
// simulator's fault options seen through the engine's retries and time-outs.
#include "commondriver.h"
#include "simfixture.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {
// Default crate: one module of each kind at addresses 1 to 7.
const char* const modelCodes[] = {"LC4SDM0", "LC4SDM1", "LC4BSM", "LC4CLM",
                                  "LC4HTM",  "LC4TDM0", "LC4TDM1"};
} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void identifiesEveryModuleOfTheDefaultCrate()
    {
        auto unit = startSimUnit();
        QVERIFY(unit);
        std::unique_ptr<lcTcpSocketIOInterface> link(linkTo(*unit));
        bool ok = false;
        QVERIFY(link->tcpIpQuery("*IDN?", 100, &ok).contains("Velmora Lumicrate"));
        QVERIFY(ok);

        QSet<QString> udids;
        for (int address = 1; address <= 7; ++address) {
            CommonDriver driver;
            driver.setIOInterface(link.get());
            driver.setDevAddress(quint8(address));
            QVERIFY2(driver.getDeviceInfo(), qPrintable(QString::number(address)));
            QVERIFY(driver.deviceType()->currentValue().contains(modelCodes[address - 1]));
            udids.insert(udidToString(driver.UDID()->currentValue()));
            driver.init()->executeSync(&ok, 1);
            QVERIFY(ok);
        }
        QCOMPARE(udids.size(), 7);

        CommonDriver empty;
        empty.setIOInterface(link.get());
        empty.setDevAddress(20);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!empty.getDeviceInfo());
        QVERIFY(clock.elapsed() < 900); // stops at the first failed read
    }

    void retriesRideOverDroppedAnswers()
    {
        auto unit = startSimUnit({"--drop-every", "2"});
        QVERIFY(unit);
        std::unique_ptr<lcTcpSocketIOInterface> link(linkTo(*unit));
        CommonDriver driver;
        driver.setIOInterface(link.get());
        driver.setDevAddress(1);
        bool ok = false;
        // Answers 1, 3, 5... arrive: one attempt each alternately succeeds and fails.
        driver.deviceType()->getValueSync(&ok, 1);
        QVERIFY(ok);
        driver.deviceType()->getValueSync(&ok, 1);
        QVERIFY(!ok);
        QVERIFY(driver.deviceType()->getValueSync(&ok, 1).contains("LC4SDM0"));
        QVERIFY(ok);
        // With two attempts every call gets through.
        for (int i = 0; i < 4; ++i) {
            driver.hardwareVersion()->getValueSync(&ok, 2);
            QVERIFY(ok);
        }
    }

    void slowAndSilentModulesTimeOut()
    {
        auto unit = startSimUnit({"--delay", "700", "--silent", "2"});
        QVERIFY(unit);
        std::unique_ptr<lcTcpSocketIOInterface> link(linkTo(*unit));
        CommonDriver slow;
        slow.setIOInterface(link.get());
        slow.setDevAddress(1);
        bool ok = true;
        QElapsedTimer clock;
        clock.start();
        slow.deviceType()->getValueSync(&ok, 1);
        QVERIFY(!ok);
        QVERIFY(clock.elapsed() >= 450 && clock.elapsed() < 650);
        // The late answer still lands in its property.
        QTRY_VERIFY_WITH_TIMEOUT(slow.deviceType()->currentValue().contains("LC4SDM0"), 1000);

        CommonDriver silent;
        silent.setIOInterface(link.get());
        silent.setDevAddress(2);
        clock.restart();
        silent.UDID()->getValueSync(&ok, 2);
        QVERIFY(!ok);
        QVERIFY(clock.elapsed() >= 950);
    }

    void aClosedConnectionIsOpenedAgainByTheNextSend()
    {
        auto unit = startSimUnit({"--close-after", "3"});
        QVERIFY(unit);
        std::unique_ptr<lcTcpSocketIOInterface> link(linkTo(*unit));
        CommonDriver driver;
        driver.setIOInterface(link.get());
        driver.setDevAddress(5);
        bool ok = false;
        driver.deviceType()->getValueSync(&ok, 1);
        QVERIFY(ok);
        driver.firmwareVersion()->getValueSync(&ok, 1);
        QVERIFY(ok);
        // The third frame closes the connection unanswered; the retry reconnects.
        driver.deviceDescription()->getValueSync(&ok, 2);
        QVERIFY(ok);
        QVERIFY(link->isSocketReady());
    }
};

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
