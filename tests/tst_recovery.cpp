// Recovery from a lost unit in the measurer and the calibration tool: lc-simulator
// runs as its own process, is killed by its process id in the middle of each long
// activity and started again at the same port. The program says the unit does not
// answer within a bound, keeps its event loop running, keeps what it measured and
// works again at the next action without being restarted.
#include "calibratedialog.h"
#include "calibrationtestsupport.h"
#include "deviceinfotext.h"
#include "lctcpsocketiointerface.h"
#include "measurertestsupport.h"
#include "recoverysupport.h"
#include "sspddriverm0.h"

#include <QComboBox>
#include <QTcpServer>
#include <qcustomplot.h>

namespace {

constexpr int sspdM0Address = 1;
// A failed call: five attempts of 500 ms, and the refresh period around it.
constexpr int lostStatusBoundMs = 5000;
constexpr int recoveryBoundMs = 5000;

// The test's own view of the module, over a connection of its own.
struct ModuleProbe
{
    explicit ModuleProbe(quint16 port)
    {
        link.setAddress(QHostAddress(QHostAddress::LocalHost));
        link.setPort(port);
        driver.setIOInterface(&link);
        driver.setDevAddress(sspdM0Address);
    }
    LC4SDM0_Status_t status(bool* ok) { return driver.status()->getValueSync(ok, 3); }

    lcTcpSocketIOInterface link;
    SspdDriverM0 driver;
};

} // namespace

class TestRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        MeasurerBench::isolateSettings(m_settings);
    }
    void init() { MeasurerBench::clearSettings(); }

    void sspdPageRefresh();
    void counterStripChart();
    void measurerSweep();
    void eepromRead();
    void calibrationRun();

private:
    // A measurer window initialised on the simulator's SSPD driver M0.
    std::unique_ptr<MeasurerBench> openMeasurer(SimulatorProcess const& simulator);

    QTemporaryDir m_settings;
};

std::unique_ptr<MeasurerBench> TestRecovery::openMeasurer(SimulatorProcess const& simulator)
{
    auto bench = std::make_unique<MeasurerBench>();
    bench->window->unitPort = simulator.port();
    bench->spin<QSpinBox>("sbDeviceAddress")->setValue(sspdM0Address);
    bench->initialize();
    return bench;
}

void TestRecovery::sspdPageRefresh()
{
    SimulatorProcess simulator;
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    auto bench = openMeasurer(simulator);
    QVERIFY2(bench->text("lbStatus").startsWith("Status: Device LC4SDM0"),
             qPrintable(bench->text("lbStatus")));
    bench->showPage(1);
    auto const reading = [&] { return bench->text("lbData").startsWith("I:"); };
    QVERIFY(waitUntil(reading, recoveryBoundMs));

    Heartbeat heartbeat;
    double const cpuBefore = processCpuMs();
    simulator.kill();
    QVERIFY(waitUntil([&] { return bench->text("lbData") == unitLostStatusText(); },
                      lostStatusBoundMs));
    qint64 const toStatus = simulator.msSinceKill();
    // The page keeps asking at its period, and a refused connect is no reason to spin.
    sleepInEventLoop(1500);
    QVERIFY(bench->window->timer()->isActive() || bench->window->isBusy());
    double const cpuShare = (processCpuMs() - cpuBefore) / double(simulator.msSinceKill());
    QVERIFY2(cpuShare < 0.2, qPrintable(QString::number(cpuShare)));
    qint64 const gap = heartbeat.longestGapMs();
    QVERIFY2(gap < responsiveGapMs, qPrintable(QString::number(gap)));

    QVERIFY2(simulator.start(&error), qPrintable(error));
    QVERIFY(waitUntil(reading, recoveryBoundMs));
    qint64 const toSuccess = simulator.msSinceStarted();

    // An operator action reaches the unit that came back.
    auto* shortBox = bench->widget<QCheckBox>("cbShort");
    bool const wanted = !shortBox->isChecked();
    shortBox->click();
    ModuleProbe probe(simulator.port());
    bool ok = false;
    QVERIFY(waitUntil(
        [&] {
            bool const on = probe.status(&ok).bit(LC4SDM0_Status_t::shortEnableBit);
            return ok && on == wanted;
        },
        recoveryBoundMs));
    reportRecovery("SSPD page refresh", toStatus, toSuccess, -1, -1, gap);
    qInfo("recovery SSPD page refresh: %.1f %% of a core while the unit was gone", cpuShare * 100);
}

void TestRecovery::counterStripChart()
{
    SimulatorProcess simulator;
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    auto bench = openMeasurer(simulator);
    bench->showPage(2);
    // 100 ms counter periods instead of the module's 1 s.
    bench->spin<QDoubleSpinBox>("sbTimeConst")->setValue(0.1);
    bench->widget<QAbstractButton>("pbSetParams")->click();
    QCPGraph* graph = bench->widget<QCustomPlot>("wCounterPlot")->graph(0);
    QVERIFY(waitUntil([&] { return graph->dataCount() >= 5; }, recoveryBoundMs));

    Heartbeat heartbeat;
    simulator.kill();
    int const measured = graph->dataCount();
    QVERIFY(waitUntil([&] { return bench->text("lbCounts") == unitLostStatusText(); },
                      lostStatusBoundMs));
    qint64 const toStatus = simulator.msSinceKill();
    qint64 const gap = heartbeat.longestGapMs();
    QVERIFY2(gap < responsiveGapMs, qPrintable(QString::number(gap)));
    int const kept = graph->dataCount();
    // At most the answer already on its way when the unit went.
    QVERIFY2(kept >= measured && kept <= measured + 1,
             qPrintable(QString("%1 of %2").arg(kept).arg(measured)));

    QVERIFY2(simulator.start(&error), qPrintable(error));
    QVERIFY(waitUntil(
        [&] {
            return graph->dataCount() > kept &&
                   bench->text("lbCounts").startsWith("Counts per second: ");
        },
        recoveryBoundMs));
    qint64 const toSuccess = simulator.msSinceStarted();
    // The unit came back with its counter off; the chart switched it on again.
    ModuleProbe probe(simulator.port());
    bool ok = false;
    LC4SDM0_Status_t const status = probe.status(&ok);
    QVERIFY(ok);
    QVERIFY(status.bit(LC4SDM0_Status_t::counterEnableBit));
    QVERIFY(status.bit(LC4SDM0_Status_t::cmpLatchEnableBit));
    reportRecovery("counter strip chart", toStatus, toSuccess, kept, measured, gap);
}

void TestRecovery::measurerSweep()
{
    SimulatorProcess simulator;
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    auto bench = openMeasurer(simulator);
    QTemporaryDir files;
    bench->fileToChoose = files.filePath("sweep.txt");
    MainWindow* window = bench->window.get();
    auto const setUpSweep = [&](double stop) {
        // Two counter periods of 50 ms a point.
        bench->spin<QDoubleSpinBox>("sbTimeConst")->setValue(0.05);
        bench->widget<QAbstractButton>("pbSetParams")->click();
        bench->spin<QDoubleSpinBox>("sbStart")->setValue(0);
        bench->spin<QDoubleSpinBox>("sbStop")->setValue(stop);
        bench->spin<QDoubleSpinBox>("sbStep")->setValue(1);
        bench->spin<QDoubleSpinBox>("sbTrigger")->setValue(99.99);
        bench->widget<QAbstractButton>("pbStart")->click();
    };
    bench->showPage(3);
    setUpSweep(90);
    auto* plot = bench->widget<QCustomPlot>("wMeasurerPlot");
    QVERIFY(waitUntil([&] { return plot->graphCount() == 1 && plot->graph(0)->dataCount() >= 5; },
                      recoveryBoundMs));

    Heartbeat heartbeat;
    simulator.kill();
    int const measured = plot->graph(0)->dataCount();
    QString const stopped = unitLostStatusText() + "; sweep stopped";
    QVERIFY(
        waitUntil([&] { return bench->text("lbMeasurerStatus") == stopped; }, lostStatusBoundMs));
    qint64 const toStatus = simulator.msSinceKill();
    qint64 const gap = heartbeat.longestGapMs();
    QVERIFY2(gap < responsiveGapMs, qPrintable(QString::number(gap)));
    QVERIFY(!window->isSweepRunning());
    QVERIFY(bench->widget<QAbstractButton>("pbStart")->isEnabled());
    int const kept = plot->graph(0)->dataCount();
    QVERIFY2(kept >= measured && kept <= measured + 1,
             qPrintable(QString("%1 of %2").arg(kept).arg(measured)));
    window->saveData();
    QCOMPARE(savedPoints(bench->fileToChoose, 0), kept);

    QVERIFY2(simulator.start(&error), qPrintable(error));
    setUpSweep(2);
    QVERIFY(waitUntil(
        [&] {
            return !window->isSweepRunning() && plot->graphCount() == 2 &&
                   bench->text("lbMeasurerStatus").startsWith("Status: X = ");
        },
        recoveryBoundMs));
    qint64 const toSuccess = simulator.msSinceStarted();
    QCOMPARE(plot->graph(1)->dataCount(), 3);
    QCOMPARE(plot->graph(0)->dataCount(), kept);
    window->saveData();
    QCOMPARE(savedPoints(bench->fileToChoose, 0), kept);
    QCOMPARE(savedPoints(bench->fileToChoose, 1), 3);
    QVERIFY(bench->warnings.isEmpty());
    reportRecovery("measurer sweep", toStatus, toSuccess, kept, measured, gap);
}

void TestRecovery::eepromRead()
{
    // Every answer 150 ms late: the kill lands while the read waits for it.
    SimulatorProcess simulator({"--delay", "150"});
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    CalibrationTestDialogs dialogs;
    lcTcpSocketIOInterface link;
    link.setAddress(QHostAddress(QHostAddress::LocalHost));
    link.setPort(simulator.port());
    auto dialog = openMainDialog(&link, sspdM0Address, "LC4SDM0");
    QVERIFY(dialogs.warnings.isEmpty());
    QList<QLineEdit*> const fields = dialog->driverWidget()->findChildren<QLineEdit*>();
    QVERIFY(!fields.isEmpty());
    QStringList read;
    for (QLineEdit* field : fields) {
        read << field->text();
        field->clear();
    }
    QVERIFY(!read.first().isEmpty());
    auto const shown = [&] {
        QStringList texts;
        for (QLineEdit* field : fields)
            texts << field->text();
        return texts;
    };

    Heartbeat heartbeat;
    QTimer::singleShot(50, [&] { simulator.kill(); });
    click(dialog.get(), "pbGetEeprom");
    qint64 const toStatus = simulator.msSinceKill();
    qint64 const gap = heartbeat.longestGapMs();
    QVERIFY2(gap < responsiveGapMs, qPrintable(QString::number(gap)));
    QCOMPARE(dialogs.warnings, QStringList{"Warning!!!|Can't read eeprom data. " + unitLostText()});
    QVERIFY(toStatus < lostStatusBoundMs);
    // A failed read leaves the fields as they were.
    QCOMPARE(shown(), QStringList(QVector<QString>(fields.size()).toList()));
    QVERIFY(child<QPushButton>(dialog.get(), "pbGetEeprom")->isEnabled());

    QVERIFY2(simulator.start(&error), qPrintable(error));
    click(dialog.get(), "pbGetEeprom");
    qint64 const toSuccess = simulator.msSinceStarted();
    QCOMPARE(dialogs.warnings.size(), 1);
    QCOMPARE(shown(), read);
    reportRecovery("EEPROM read", toStatus, toSuccess, -1, -1, gap);
}

void TestRecovery::calibrationRun()
{
    // The module's EEPROM outlives the restart, as a real module's does; the
    // simulator's reference meter measures the module's current, on a port that
    // stays the same too.
    QTemporaryDir state;
    quint16 meterPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress(QHostAddress::LocalHost), 0));
        meterPort = probe.serverPort();
    }
    SimulatorProcess simulator({"--state", state.filePath("state.json"), "--meter", "1:current",
                                "--meter-port", QString::number(meterPort), "--meter-integration",
                                "2"});
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    CalibrationTestDialogs dialogs;
    CommonCalibrator::setTimeScale(0.01);
    ModuleProbe module(simulator.port());
    auto const constants = [&](bool* ok) {
        LC4SDM0V1_EEPROM_Const_t const record =
            module.driver.eepromConst()->getValueSyncExact(ok, 3);
        return QByteArray(reinterpret_cast<char const*>(&record), sizeof(record));
    };
    bool ok = false;
    QByteArray const original = constants(&ok);
    QVERIFY(ok);

    CalibrateDialog dialog(
        nullptr, std::make_unique<cAgilent34401aVisaInterface>(QStringList{LC_VISA_LIBRARY}));
    dialog.setDriver(&module.driver);
    dialog.setDriverType(SspdM0);

    constexpr int killAtPoint = 20;
    qint64 toStatus = -1;
    qint64 runEnded = -1;
    qint64 gap = -1;
    qint64 toSuccess = -1;
    int kept = -1;
    QString endStatus;
    QString restartError;
    QString secondStatus;
    QByteArray afterRestart;
    QTimer::singleShot(0, &dialog, [&] {
        CommonCalibrator* calibrator = dialog.calibrator();
        calibrator->setPointCount(60);
        calibrator->setCheckingPointCount(5);
        child<QComboBox>(&dialog, "cbMode")->setCurrentIndex(1);
        child<QLineEdit>(&dialog, "leVisaName")
            ->setText(QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(meterPort));
        int points = 0;
        connect(calibrator, &CommonCalibrator::addPoint, &dialog, [&](int graph) {
            if (graph == 1 && ++points == killAtPoint)
                simulator.kill();
        });
        connect(calibrator, &CommonCalibrator::message, &dialog, [&](QString const& text) {
            if (toStatus < 0 && text.contains(unitLostText()))
                toStatus = simulator.msSinceKill();
        });
        auto* status = child<QLabel>(&dialog, "lStatus");
        {
            Heartbeat heartbeat;
            click(&dialog, "pbStart");
            gap = heartbeat.longestGapMs();
        }
        runEnded = simulator.msSinceKill();
        endStatus = status->text();
        kept = child<QCustomPlot>(&dialog, "dataPlot")->graph(0)->dataCount();
        if (!simulator.start(&restartError)) {
            dialog.reject();
            return;
        }
        afterRestart = constants(&ok);
        click(&dialog, "pbStart");
        toSuccess = simulator.msSinceStarted();
        secondStatus = status->text();
        dialog.reject();
    });
    dialog.exec();
    QVERIFY2(restartError.isEmpty(), qPrintable(restartError));

    QVERIFY2(toStatus >= 0 && toStatus < lostStatusBoundMs, qPrintable(QString::number(toStatus)));
    QVERIFY2(gap < responsiveGapMs, qPrintable(QString::number(gap)));
    // Stopping includes the restore, which finds no unit either: bounded all the same.
    QVERIFY2(runEnded < 3 * lostStatusBoundMs, qPrintable(QString::number(runEnded)));
    QCOMPARE(endStatus, "Status: ERROR: the module did not take back its calibration constants; "
                        "read and check them before writing the EEPROM. " +
                            unitLostText());
    QCOMPARE(kept, killAtPoint);
    // Nothing of the stopped run stayed in the module.
    QCOMPARE(afterRestart, original);
    QCOMPARE(secondStatus, QString("Status: Calibration completed"));
    QVERIFY(dialogs.warnings.isEmpty());
    reportRecovery("calibration run", toStatus, toSuccess, kept, killAtPoint, gap);
    qInfo("recovery calibration run: ended with its failed restore %lld ms after the kill",
          runEnded);
}

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
