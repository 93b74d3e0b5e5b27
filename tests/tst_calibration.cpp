// The calibration tool's start and main dialogs and its program flow, on a
// scripted unit and on the in-process simulator.
#include "calibratedialog.h"
#include "calibrationprogram.h"
#include "calibrationtestsupport.h"
#include "fakeunit.h"
#include "moduletypetable.h"
#include "simfixture.h"
#include "simserver.h"
#include "startdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QSpinBox>
#include <QTimer>

namespace {

constexpr quint8 typeStringCommand = 0x06;
constexpr quint8 writeEepromCommand = 0x0C;
constexpr quint8 sspdConstantsGetter = 0x29;
const QByteArray idn = "*IDN?";

QSettings settings()
{
    return QSettings(QStringLiteral("Velmora"), QStringLiteral("Lumicrate4_Calibration"));
}

QByteArray text(const char* value)
{
    return QByteArray(value) + '\0';
}

} // namespace

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dialogs = std::make_unique<CalibrationTestDialogs>();
        settings().clear();
        m_unit = std::make_unique<FakeUnit>();
    }
    void cleanup()
    {
        m_unit.reset();
        m_dialogs.reset();
    }

    void startDialogRestoresItsSettings();
    void startDialogChecksUnitAndModule_data();
    void startDialogChecksUnitAndModule();
    void startDialogReleasesLinksOfFailedAttempts();
    void closeDuringTheCheckWinsOverALateAnswer();
    void programEndsWithZeroWithoutMainDialog_data();
    void programEndsWithZeroWithoutMainDialog();
    void programOpensTheMainDialogForTheModule();
    void typeTableSelectsKinds_data();
    void typeTableSelectsKinds();
    void mainDialogLaysOutTheEditorAndTitle();
    void shortConstantsAnswerIsAFailedRead();
    void silentModuleGivesEachWarningAndEnablesAgain();
    void closeDuringAnExchangeIsHeldUntilItEnds();
    void calibrateWithoutVisaWarnsAndRereads();

private:
    std::unique_ptr<StartDialog> startDialog(QStringList discovered = {"127.000.000.001"})
    {
        auto dialog = std::make_unique<StartDialog>(nullptr, [discovered] { return discovered; });
        dialog->unitPort = m_unit->port();
        return dialog;
    }
    QStringList warnings() const { return m_dialogs->warnings; }
    // A module at `address` answering its type string and an SSPD M0 constants record.
    void serveSspd(quint8 address, QByteArray const& constants = QByteArray(32, '\0'))
    {
        m_unit->answer(address, typeStringCommand,
                       FakeUnit::frame(address, typeStringCommand, text("LC4SDM0 SSPD driver")));
        m_unit->answer(address, sspdConstantsGetter,
                       FakeUnit::frame(address, sspdConstantsGetter, constants));
    }
    lcTcpSocketIOInterface* linkToFake()
    {
        auto* link = new lcTcpSocketIOInterface(m_unit.get());
        link->setAddress(m_unit->address());
        link->setPort(m_unit->port());
        return link;
    }

    std::unique_ptr<CalibrationTestDialogs> m_dialogs;
    std::unique_ptr<FakeUnit> m_unit;
};

void TestCalibration::startDialogRestoresItsSettings()
{
    settings().setValue("DeviceAddress", 7);
    settings().setValue("TcpIpAddress", "010.000.000.002");
    auto dialog = startDialog({"010.000.000.001", "010.000.000.002"});
    QCOMPARE(dialog->windowTitle(), QString("Device Calibration..."));
    QCOMPARE(dialog->size(), QSize(261, 100));
    QCOMPARE(child<QSpinBox>(dialog.get(), "sbDeviceAddress")->value(), 7);
    QCOMPARE(child<QSpinBox>(dialog.get(), "sbDeviceAddress")->maximum(), 31);
    auto* combo = child<QComboBox>(dialog.get(), "cbTcpIp");
    QCOMPARE(combo->currentText(), QString("010.000.000.002"));
    QCOMPARE(combo->count(), 4);

    // An address that was not discovered leaves the first entry current.
    settings().setValue("TcpIpAddress", "010.000.000.009");
    auto other = startDialog({"010.000.000.001", "010.000.000.002"});
    QCOMPARE(child<QComboBox>(other.get(), "cbTcpIp")->currentIndex(), 0);
}

void TestCalibration::startDialogChecksUnitAndModule_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("moduleAnswers");
    QTest::addColumn<QString>("warning");
    QTest::newRow("accepted after other text")
        << QByteArray("LC4 crate: Velmora Lumicrate LC4,1.0") << true << QString();
    QTest::newRow("other letter case")
        << QByteArray("VELMORA LUMICRATE LC4") << true
        << QString("Warning|Can't find any device on this TcpIp address");
    QTest::newRow("silent address")
        << QByteArray() << true << QString("Warning|Can't find any device on this TcpIp address");
    QTest::newRow("no module at the device address")
        << QByteArray("Velmora Lumicrate LC4") << false << QString("Warning|Wrong device address");
}

void TestCalibration::startDialogChecksUnitAndModule()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, moduleAnswers);
    QFETCH(QString, warning);
    settings().setValue("DeviceAddress", 9);
    settings().setValue("TcpIpAddress", "010.000.000.009");
    if (!reply.isEmpty())
        m_unit->answerText(idn, reply);
    if (moduleAnswers)
        serveSspd(4);

    auto dialog = startDialog();
    child<QSpinBox>(dialog.get(), "sbDeviceAddress")->setValue(4);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    dialog->show();
    dialog->on_buttonBox_accepted();

    QVERIFY(dialog->isEnabled());
    if (warning.isEmpty()) {
        QVERIFY(warnings().isEmpty());
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(dialog->deviceType(), QString("LC4SDM0 SSPD driver"));
        QCOMPARE(dialog->deviceAddress(), 4);
        QCOMPARE(settings().value("DeviceAddress").toInt(), 4);
        QCOMPARE(settings().value("TcpIpAddress").toString(), QString("127.000.000.001"));
        QVERIFY(dialog->interface());
    } else {
        QCOMPARE(warnings(), QStringList{warning});
        QCOMPARE(accepted.count(), 0);
        QVERIFY(dialog->isVisible());
        QCOMPARE(settings().value("DeviceAddress").toInt(), 9);
        QCOMPARE(settings().value("TcpIpAddress").toString(), QString("010.000.000.009"));
    }
}

void TestCalibration::startDialogReleasesLinksOfFailedAttempts()
{
    m_unit->answerText(idn, "Velmora Lumicrate LC4");
    auto dialog = startDialog();
    dialog->on_buttonBox_accepted();
    QPointer<lcTcpSocketIOInterface> first = dialog->interface();
    QVERIFY(first);
    dialog->on_buttonBox_accepted();
    QVERIFY(!first);
    QCOMPARE(dialog->findChildren<lcTcpSocketIOInterface*>().size(), 1);
}

void TestCalibration::closeDuringTheCheckWinsOverALateAnswer()
{
    m_unit->answerText(idn, "Velmora Lumicrate LC4");
    m_unit->answer(4, typeStringCommand,
                   FakeUnit::frame(4, typeStringCommand, text("LC4SDM0 SSPD driver")), 300);
    auto dialog = startDialog();
    child<QSpinBox>(dialog.get(), "sbDeviceAddress")->setValue(4);
    dialog->show();
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    QSignalSpy rejected(dialog.get(), &QDialog::rejected);
    bool visibleAfterClose = false;
    QTimer::singleShot(200, dialog.get(), [&] {
        dialog->close();
        visibleAfterClose = dialog->isVisible();
    });
    dialog->on_buttonBox_accepted();

    QVERIFY(visibleAfterClose);
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!dialog->isVisible());
    QVERIFY(warnings().isEmpty());
}

void TestCalibration::programEndsWithZeroWithoutMainDialog_data()
{
    QTest::addColumn<bool>("unknownType");
    QTest::newRow("Close after failed attempts") << false;
    QTest::newRow("unknown module kind") << true;
}

void TestCalibration::programEndsWithZeroWithoutMainDialog()
{
    QFETCH(bool, unknownType);
    m_unit->answerText(idn, "Velmora Lumicrate LC4");
    m_unit->answer(4, typeStringCommand,
                   FakeUnit::frame(4, typeStringCommand, text("LC4XYZ9 prototype")));
    auto start = startDialog();
    child<QSpinBox>(start.get(), "sbDeviceAddress")->setValue(unknownType ? 4 : 5);
    MainDialog mainDialog;
    QTimer::singleShot(0, start.get(), [&] {
        start->on_buttonBox_accepted();
        if (!unknownType) {
            QTest::mouseClick(
                child<QDialogButtonBox>(start.get(), "buttonBox")->button(QDialogButtonBox::Close),
                Qt::LeftButton);
        }
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(runDevCalibration(*start, mainDialog), 0);
    QVERIFY(clock.elapsed() < 10000);
    QVERIFY(!mainDialog.isVisible());
    QVERIFY(!mainDialog.driver());
    if (unknownType)
        QCOMPARE(warnings(), QStringList{"Warning|Unknown type of Device"});
    else
        QCOMPARE(warnings(), QStringList{"Warning|Wrong device address"});
}

void TestCalibration::programOpensTheMainDialogForTheModule()
{
    std::unique_ptr<SimUnit> unit = startSimUnit();
    QVERIFY(unit);
    auto start = std::make_unique<StartDialog>(nullptr, [] { return QStringList{"127.0.0.1"}; });
    start->unitPort = unit->server()->serverPort();
    child<QSpinBox>(start.get(), "sbDeviceAddress")->setValue(2);
    MainDialog mainDialog;
    QTimer::singleShot(0, start.get(), [&] { start->on_buttonBox_accepted(); });
    QString title;
    QTimer::singleShot(1500, &mainDialog, [&] {
        title = mainDialog.windowTitle();
        click(&mainDialog, "pbClose");
    });
    QCOMPARE(runDevCalibration(*start, mainDialog), 0);
    QCOMPARE(mainDialog.driverType(), SspdM1);
    QCOMPARE(title, QString("LC4SDM1 SSPD driver EEPROM data"));
    QVERIFY(!child<QLineEdit>(&mainDialog, "lePulseWidth")->text().isEmpty());
    QVERIFY(warnings().isEmpty());
}

void TestCalibration::typeTableSelectsKinds_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("driverClass");
    QTest::addColumn<QString>("editorClass");
    QTest::newRow("SSPD M0") << "LC4SDM0 SSPD driver" << 0 << "SspdDriverM0"
                             << "wSspdDriver";
    QTest::newRow("SSPD M1 wins over M0") << "LC4SDM0/LC4SDM1" << 1 << "SspdDriverM1"
                                          << "wSspdDriver";
    QTest::newRow("temperature M0") << "LC4TDM0" << 2 << "TempDriverM0"
                                    << "wTempCalibr";
    QTest::newRow("temperature M1") << "x LC4TDM1 y" << 3 << "TempDriverM1"
                                    << "wTempM1Calibr";
    QTest::newRow("heater") << "LC4HTM0 heater" << 4 << "HeaterDriverM0"
                            << "wHeaterDriver";
    QTest::newRow("control line") << "LC4CLM0" << 5 << "SisControlLineDriverM0"
                                  << "wSisControlLineDriver";
    QTest::newRow("bias source") << "LC4BSM0" << 6 << "SisBiasSourceDriverM0"
                                 << "wSisBiasSourceDriver";
    QTest::newRow("letter case counts") << "lc4sdm0" << 7 << ""
                                        << "";
}

void TestCalibration::typeTableSelectsKinds()
{
    QFETCH(QString, type);
    QFETCH(int, kind);
    QFETCH(QString, driverClass);
    QFETCH(QString, editorClass);
    QCOMPARE(int(driverTypeOf(type)), kind);
    const ModuleKind* row = moduleKind(LC4DriverType(kind));
    if (kind == UnknownType) {
        QVERIFY(!row);
        auto link = std::unique_ptr<lcTcpSocketIOInterface>(linkToFake());
        auto dialog = openMainDialog(link.get(), 1, type);
        QVERIFY(!dialog->driver());
        QCOMPARE(warnings(), QStringList{"Warning|Unknown type of Device"});
        QCOMPARE(m_unit->frameCount(), 0);
        return;
    }
    std::unique_ptr<CommonDriver> driver(row->createDriver(nullptr));
    std::unique_ptr<DriverWidget> editor(row->createEditor(nullptr));
    QCOMPARE(QString(driver->metaObject()->className()), driverClass);
    QCOMPARE(QString(editor->metaObject()->className()), editorClass);
    editor->setDriver(driver.get());
    QCOMPARE(editor->driver(), driver.get());
}

void TestCalibration::mainDialogLaysOutTheEditorAndTitle()
{
    serveSspd(3);
    auto link = std::unique_ptr<lcTcpSocketIOInterface>(linkToFake());
    MainDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("Calibration"));
    QCOMPARE(dialog.size(), QSize(381, 281));
    dialog.setInterface(link.get());
    dialog.setDeviceType("LC4SDM0 SSPD driver");
    dialog.setDeviceAddress(3);
    dialog.show();
    QVERIFY(dialog.initializeUI());
    QCOMPARE(dialog.windowTitle(), QString("LC4SDM0 SSPD driver EEPROM data"));
    auto* row = qobject_cast<QHBoxLayout*>(dialog.layout());
    QVERIFY(row);
    QCOMPARE(row->itemAt(0)->widget(), dialog.driverWidget());
    QCOMPARE(row->itemAt(1)->widget(), child(&dialog, "vline"));
    QCOMPARE(child<QLineEdit>(&dialog, "leCurrentAdcSlope")->text(), QString("0"));
    QVERIFY(!child(&dialog, "lePulseWidth")->isVisibleTo(&dialog));
    QVERIFY(warnings().isEmpty());
}

void TestCalibration::shortConstantsAnswerIsAFailedRead()
{
    serveSspd(3);
    auto link = std::unique_ptr<lcTcpSocketIOInterface>(linkToFake());
    auto dialog = openMainDialog(link.get(), 3, "LC4SDM0 SSPD driver");
    auto* slope = child<QLineEdit>(dialog.get(), "leCurrentAdcSlope");
    slope->setText("1.5");
    m_unit->clearRules();
    m_unit->answer(3, sspdConstantsGetter, FakeUnit::frame(3, sspdConstantsGetter, "\x01\x02"));
    click(dialog.get(), "pbGetEeprom");
    QCOMPARE(warnings(), QStringList{"Warning!!!|Can't read eeprom data"});
    QCOMPARE(slope->text(), QString("1.5"));
}

void TestCalibration::silentModuleGivesEachWarningAndEnablesAgain()
{
    serveSspd(3);
    auto link = std::unique_ptr<lcTcpSocketIOInterface>(linkToFake());
    auto dialog = openMainDialog(link.get(), 3, "LC4SDM0 SSPD driver");
    QVERIFY(warnings().isEmpty());
    m_unit->clearRules();

    const QStringList expected{"Warning!!!|Can't read eeprom data",
                               "Warning!!!|Can't set eeprom constants. Please try one more time!!!",
                               "Warning!!!|Can't write eeprom. Please try one more time!!!"};
    const QStringList buttons{"pbGetEeprom", "pbSetEeprom", "pbWriteEeprom"};
    for (int i = 0; i < buttons.size(); ++i) {
        bool disabledDuringWait = false;
        QTimer::singleShot(100, dialog.get(), [&] {
            disabledDuringWait = true;
            for (QWidget* control : mainDialogControls(dialog.get()))
                disabledDuringWait = disabledDuringWait && !control->isEnabled();
        });
        QElapsedTimer clock;
        clock.start();
        click(dialog.get(), buttons[i]);
        QVERIFY2(clock.elapsed() < 4000, qPrintable(buttons[i]));
        QVERIFY(disabledDuringWait);
        QCOMPARE(warnings().value(i), expected[i]);
        for (QWidget* control : mainDialogControls(dialog.get()))
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    }
    QCOMPARE(m_unit->frameCount() >= 15, true);
}

void TestCalibration::closeDuringAnExchangeIsHeldUntilItEnds()
{
    serveSspd(3);
    auto link = std::unique_ptr<lcTcpSocketIOInterface>(linkToFake());
    auto dialog = openMainDialog(link.get(), 3, "LC4SDM0 SSPD driver");
    m_unit->clearRules();
    m_unit->answer(3, writeEepromCommand, FakeUnit::frame(3, writeEepromCommand), 300);
    bool visibleAfterClose = false;
    QTimer::singleShot(100, dialog.get(), [&] {
        dialog->close();
        visibleAfterClose = dialog->isVisible();
    });
    click(dialog.get(), "pbWriteEeprom");
    QVERIFY(visibleAfterClose);
    QVERIFY(!dialog->isVisible());
    QVERIFY(warnings().isEmpty());
}

void TestCalibration::calibrateWithoutVisaWarnsAndRereads()
{
    serveSspd(3);
    auto link = std::unique_ptr<lcTcpSocketIOInterface>(linkToFake());
    auto dialog = openMainDialog(link.get(), 3, "LC4SDM0 SSPD driver");
    const int before = m_unit->frameCount();
    click(dialog.get(), "pbCalibrate");
    QCOMPARE(warnings(), QStringList{"Warning!!!|There is no any driver for visa32. Calibration "
                                     "process will be blocked"});
    QVERIFY(!dialog->calibrateDialog()->isVisible());
    QTRY_COMPARE(m_unit->frameCount(), before + 1);
    QCOMPARE(m_unit->frames().last().command, sspdConstantsGetter);
}

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
