// The measurer window's connection, control, counter and service pages against a
// scripted module on 127.0.0.1.
#include "measurerformat.h"
#include "measurertestsupport.h"

#include <QFile>

#include <qcustomplot.h>

namespace {

QString const identity = QStringLiteral(
    "Status: Device %1 inited<br>Modification: mod 1<br>Hardware: hw 2<br>Firmware: fw 3<br>"
    "Description: fake &lt;detector&gt;<br>DeviceId: A0A1-A2A3-A4A5-A6A7-A8A9-AAAB");

QVariant photoquell(QString const& key)
{
    return QSettings(QStringLiteral("Velmora"), QStringLiteral("Photoquell")).value(key);
}

} // namespace

class TestMeasurer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        MeasurerBench::isolateSettings(m_settings);
    }
    void init() { MeasurerBench::clearSettings(); }

    void initializeSspd_data();
    void initializeSspd();
    void initializeFailures_data();
    void initializeFailures();
    void otherModuleDisablesPagesAndSavesNothing();
    void serviceUnlockNeedsExactlyAltMeta_data();
    void serviceUnlockNeedsExactlyAltMeta();
    void pageSwitchStartsAndStopsRefresh();
    void readingText_data();
    void readingText();
    void switchesAndSetPoints();
    void comparatorReadModifyWrite_data();
    void comparatorReadModifyWrite();
    void clickDuringRefreshWaitsForIt();
    void initializeWhileCallWaitsRunsAfterIt();
    void closeOrDeleteWhileCallWaits_data();
    void closeOrDeleteWhileCallWaits();
    void counterRateAndPeriod_data();
    void counterRateAndPeriod();
    void counterSetAndUnknownTimeConstant();
    void manualRangeRule_data();
    void manualRangeRule();
    void autoScaleMenu();
    void plotMenusSaveDataAndPictures();
    void servicePidAndReading();
    void recordingLines_data();
    void recordingLines();
    void recordingFailures();

private:
    QTemporaryDir m_settings;
};

void TestMeasurer::initializeSspd_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("kind");
    QTest::newRow("M0") << "LC4SDM0" << 0;
    QTest::newRow("M1 inside a longer type") << "xLC4SDM1-rev2" << 1;
}

void TestMeasurer::initializeSspd()
{
    QFETCH(QString, type);
    QFETCH(int, kind);
    MeasurerBench bench(type);
    bench.module->params.timeConst = 0.25f;
    bench.window->show();
    bench.initialize();

    QCOMPARE(bench.text("lbStatus"), identity.arg(type.toHtmlEscaped()));
    QCOMPARE(bench.window->moduleKind(), kind);
    QCOMPARE(bench.widget<QCheckBox>("cbHFMode")->isHidden(), kind == 0);
    for (int row = 0; row < 4; ++row)
        QVERIFY(bench.pageEnabled(row));
    QCOMPARE(bench.pages()->count(), 4);
    // The zero-padded picker text reached the fake on 127.0.0.1; the text itself is saved.
    QCOMPARE(bench.module->count(0x00), 1);
    QCOMPARE(photoquell("TcpAddress").toString(), QStringLiteral("127.000.000.001"));
    QCOMPARE(photoquell("DeviceAddress").toInt(), 1);
    QCOMPARE(bench.window->tcpAddress(), QStringLiteral("127.000.000.001"));
    QCOMPARE(bench.spin<QDoubleSpinBox>("sbTimeConst")->value(), 0.25);
    QVERIFY(bench.widget<QAbstractButton>("pbInitialize")->isEnabled());
}

void TestMeasurer::initializeFailures_data()
{
    QTest::addColumn<int>("silentCommand");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("driverReplaced");
    QTest::newRow("identification") << 0x08 << "Status: Error at getDeviceInfo function" << false;
    QTest::newRow("init") << 0x00 << "Status: Error at init function" << true;
}

void TestMeasurer::initializeFailures()
{
    QFETCH(int, silentCommand);
    QFETCH(QString, status);
    QFETCH(bool, driverReplaced);
    MeasurerBench bench;
    bench.initialize();
    QPointer<CommonDriver> const first = bench.window->driver();
    QVERIFY(first);
    MeasurerBench::clearSettings();

    bench.module->silent.insert(quint8(silentCommand));
    bench.initialize();
    QCOMPARE(bench.text("lbStatus"), status);
    QCOMPARE(bench.window->driver() != first.data(), driverReplaced);
    // The page list keeps what the first Initialize gave it; nothing is saved.
    QVERIFY(bench.pageEnabled(1));
    QVERIFY(!photoquell("TcpAddress").isValid());
    QVERIFY(bench.widget<QAbstractButton>("pbInitialize")->isEnabled());
    // The replaced driver goes once the event loop is back.
    if (driverReplaced)
        QTRY_VERIFY(!first);
}

void TestMeasurer::otherModuleDisablesPagesAndSavesNothing()
{
    MeasurerBench bench(QStringLiteral("LC4BSM0"));
    bench.initialize(Qt::AltModifier | Qt::MetaModifier);
    QCOMPARE(bench.text("lbStatus"), identity.arg("LC4BSM0"));
    QCOMPARE(bench.window->moduleKind(), 2);
    QCOMPARE(bench.pages()->count(), 4);
    for (int row = 0; row < 4; ++row)
        QCOMPARE(bench.pages()->item(row)->flags(), Qt::NoItemFlags);
    QVERIFY(!photoquell("TcpAddress").isValid());
    QVERIFY(!photoquell("DeviceAddress").isValid());
    QCOMPARE(bench.module->count(0x1D), 0);
}

void TestMeasurer::serviceUnlockNeedsExactlyAltMeta_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<bool>("unlocked");
    QTest::newRow("none") << int(Qt::NoModifier) << false;
    QTest::newRow("Alt+Meta") << int(Qt::AltModifier | Qt::MetaModifier) << true;
    QTest::newRow("Alt only") << int(Qt::AltModifier) << false;
    QTest::newRow("Alt+Meta+Shift")
        << int(Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier) << false;
}

void TestMeasurer::serviceUnlockNeedsExactlyAltMeta()
{
    QFETCH(int, held);
    QFETCH(bool, unlocked);
    MeasurerBench bench;
    bench.initialize(Qt::KeyboardModifiers(held));
    QCOMPARE(bench.text("lbStatus").endsWith("<br>Secret Mode Activated"), unlocked);
    QCOMPARE(bench.pages()->count(), unlocked ? 5 : 4);
    if (!unlocked)
        return;
    QListWidgetItem* entry = bench.pages()->item(4);
    QCOMPARE(entry->text(), QStringLiteral("Secret Params"));
    QCOMPARE(entry->font(), bench.pages()->item(3)->font());
    bench.showPage(4);
    QCOMPARE(bench.widget<QStackedWidget>("stackedWidget")->currentIndex(), 4);

    // The next Initialize without the keys locks the page again.
    bench.showPage(0);
    bench.initialize();
    QCOMPARE(bench.pages()->count(), 4);
    QVERIFY(!bench.text("lbStatus").contains("Secret"));
}

void TestMeasurer::pageSwitchStartsAndStopsRefresh()
{
    MeasurerBench bench;
    bench.initialize();
    bench.showPage(1);
    QCOMPARE(bench.module->count(0x10), 1);
    QVERIFY(bench.window->timer()->isActive());
    QCOMPARE(bench.window->timer()->interval(), 500);
    QTRY_COMPARE_WITH_TIMEOUT(bench.module->count(0x10), 2, 1500);

    bench.showPage(0);
    QVERIFY(!bench.window->timer()->isActive());
    int const reads = bench.module->count(0x10);
    QTest::qWait(700);
    QCOMPARE(bench.module->count(0x10), reads);

    bench.showPage(1);
    QCOMPARE(bench.module->count(0x10), reads + 1);
}

void TestMeasurer::readingText_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");
    QTest::newRow("M0") << "LC4SDM0"
                        << "I:    5.0 uA<br>U:  12.34 mV";
    QTest::newRow("M1") << "LC4SDM1"
                        << "I:    5.0 uA<br>Imon:    4.9 uA<br>U:  12.34 mV";
}

void TestMeasurer::readingText()
{
    QFETCH(QString, type);
    QFETCH(QString, text);
    MeasurerBench bench(type);
    bench.module->current = 5e-6f;
    bench.module->monitor = 4.9e-6f;
    bench.module->voltage = 12.34e-3f;
    bench.module->status = 0x16 | 0x80;
    bench.window->show();
    bench.initialize();
    bench.showPage(1);
    QTRY_COMPARE(bench.text("lbData"), text);
    QVERIFY(bench.widget<QCheckBox>("cbShort")->isChecked());
    QVERIFY(bench.widget<QCheckBox>("cbAmplifier")->isChecked());
    QVERIFY(bench.widget<QCheckBox>("cbComparator")->isChecked());
    QVERIFY(!bench.widget<QCheckBox>("cbHFMode")->isChecked());

    // HF mode follows bit 3 on M1.
    bench.module->status = 0x08;
    bench.module->current = 7e-6f;
    QTRY_COMPARE_WITH_TIMEOUT(bench.widget<QCheckBox>("cbHFMode")->isChecked(),
                              bench.module->isM1(), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(bench.widget<QCheckBox>("cbShort")->isChecked(), false, 1500);
    QVERIFY(bench.text("lbData").startsWith("I:    7.0 uA"));
}

void TestMeasurer::switchesAndSetPoints()
{
    for (QString const& type : {QStringLiteral("LC4SDM0"), QStringLiteral("LC4SDM1")}) {
        MeasurerBench bench(type);
        bench.window->show();
        bench.initialize();
        bench.showPage(1);
        bench.spin<QDoubleSpinBox>("sbI")->setValue(-1.5);
        bench.widget<QAbstractButton>("pbSetI")->click();
        bench.spin<QDoubleSpinBox>("sbCmp")->setValue(0.125);
        bench.widget<QAbstractButton>("pbSetCmp")->click();
        bench.widget<QAbstractButton>("cbShort")->click();
        bench.widget<QAbstractButton>("cbAmplifier")->click();
        bench.window->on_cbHFMode_clicked(true);
        QTRY_COMPARE(bench.module->count(0x18), 1);
        QTRY_COMPARE(bench.module->count(0x38), bench.module->isM1() ? 1 : 0);

        QCOMPARE(payloadFloat(bench.module->received(0x12).value(0).payload), -1.5e-6f);
        QCOMPARE(payloadFloat(bench.module->received(0x20).value(0).payload), 0.125f);
        QCOMPARE(bench.module->received(0x17).value(0).payload, QByteArray(1, '\1'));
        QCOMPARE(bench.module->received(0x18).value(0).payload, QByteArray(1, '\1'));
        QCOMPARE(bench.module->overlaps, 0);
    }
}

void TestMeasurer::comparatorReadModifyWrite_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("written");
    QTest::newRow("M0 on") << "LC4SDM0" << true << 0x06 << 0x3E;
    QTest::newRow("M0 off") << "LC4SDM0" << false << 0x3E << 0x06;
    QTest::newRow("M1 on keeps HF") << "LC4SDM1" << true << 0x0C << 0x3C;
    QTest::newRow("M1 off keeps HF") << "LC4SDM1" << false << 0xBC << 0x8C;
}

void TestMeasurer::comparatorReadModifyWrite()
{
    QFETCH(QString, type);
    QFETCH(bool, checked);
    QFETCH(int, before);
    QFETCH(int, written);
    MeasurerBench bench(type);
    bench.initialize();
    bench.module->status = quint8(before);
    bench.window->on_cbComparator_clicked(checked);
    QCOMPARE(bench.module->received(0x16).value(0).payload, QByteArray(1, char(written)));

    // Without a status read nothing is written back.
    bench.module->silent.insert(0x15);
    bench.window->on_cbComparator_clicked(!checked);
    QCOMPARE(bench.module->count(0x16), 1);
}

void TestMeasurer::clickDuringRefreshWaitsForIt()
{
    MeasurerBench bench;
    bench.initialize();
    bench.module->status = 0x06;
    bench.showPage(1);
    bench.module->delayMs[0x10] = 300;
    // Inside the next refresh's wait: clicks and a page change queue behind it.
    bool busy = false;
    int statusReadsMeanwhile = -1;
    QTimer::singleShot(650, [&] {
        busy = bench.window->isBusy();
        bench.window->on_cbComparator_clicked(true);
        bench.window->on_pbSetI_clicked();
        bench.showPage(2);
        statusReadsMeanwhile = bench.module->count(0x15);
    });
    QTRY_COMPARE_WITH_TIMEOUT(bench.module->count(0x14), 1, 2000);
    QVERIFY(busy);
    QCOMPARE(statusReadsMeanwhile, 0);
    QCOMPARE(bench.module->count(0x12), 1);
    QCOMPARE(bench.module->received(0x16).value(0).payload, QByteArray(1, char(0x3E)));
    QCOMPARE(bench.module->overlaps, 0);
    // The page left during the wait does not get its refresh back.
    QCOMPARE(bench.module->count(0x10), 2);
    QTest::qWait(600);
    QCOMPARE(bench.module->count(0x10), 2);
}

void TestMeasurer::initializeWhileCallWaitsRunsAfterIt()
{
    MeasurerBench bench;
    bench.initialize();
    QPointer<CommonDriver> const old = bench.window->driver();
    bench.showPage(1);
    bench.module->delayMs[0x10] = 300;
    bool busy = false;
    bool controlsOff = false;
    int identityReads = -1;
    QTimer::singleShot(650, [&] {
        busy = bench.window->isBusy();
        bench.showPage(0);
        bench.initialize();
        controlsOff = !bench.widget<QAbstractButton>("pbInitialize")->isEnabled() &&
                      !bench.pages()->isEnabled();
        identityReads = bench.module->count(0x06);
        bench.window->on_pbInitialize_clicked(); // not queued a second time
    });
    QTRY_COMPARE_WITH_TIMEOUT(bench.module->count(0x00), 2, 2000);
    QVERIFY(busy);
    QVERIFY(controlsOff);
    QCOMPARE(identityReads, 1);
    QTRY_VERIFY(bench.widget<QAbstractButton>("pbInitialize")->isEnabled());
    QVERIFY(bench.pages()->isEnabled());
    QTRY_VERIFY(!old);
    QVERIFY(bench.window->driver());
    QCOMPARE(bench.module->overlaps, 0);
    QTest::qWait(100);
    QCOMPARE(bench.module->count(0x00), 2);
}

void TestMeasurer::closeOrDeleteWhileCallWaits_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("close") << false;
    QTest::newRow("delete") << true;
}

void TestMeasurer::closeOrDeleteWhileCallWaits()
{
    QFETCH(bool, destroy);
    for (int call = 0; call < 3; ++call) {
        MeasurerBench bench;
        bench.initialize();
        bench.module->silent = {0x10, 0x14, 0x06};
        QPointer<MainWindow> const window = bench.window.get();
        QElapsedTimer clock;
        QTimer::singleShot(100, [&] {
            clock.start();
            if (destroy)
                bench.window.reset();
            else
                bench.window->close();
        });
        // Each returns once the wait has ended; slots are called directly so that no
        // Qt code of the deleted window is on the stack above them.
        if (call == 0)
            window->updateData();
        else if (call == 1)
            window->updateCountsGraph();
        else
            window->on_pbInitialize_clicked();
        QVERIFY(clock.isValid());
        QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(window.isNull(), destroy);
        if (!destroy) {
            QVERIFY(!window->isBusy());
            QTest::qWait(50);
            QVERIFY(!window->timer()->isActive());
        }
    }
}

void TestMeasurer::counterRateAndPeriod_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<float>("timeConst");
    QTest::addColumn<int>("period");
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("statusBefore");
    QTest::addColumn<int>("statusWritten");
    QTest::newRow("1 s") << "LC4SDM0" << 1.0f << 1000 << 250.0 << 0x06 << 0x3E;
    QTest::newRow("0.05 s floor") << "LC4SDM0" << 0.05f << 100 << 5000.0 << 0x00 << 0x38;
    QTest::newRow("0.29 s is not truncated") << "LC4SDM0" << 0.29f << 290 << 862.069 << 0 << 0x38;
    QTest::newRow("M1 keeps HF") << "LC4SDM1" << 0.5f << 500 << 500.0 << 0x0C << 0x3C;
}

void TestMeasurer::counterRateAndPeriod()
{
    QFETCH(QString, type);
    QFETCH(float, timeConst);
    QFETCH(int, period);
    QFETCH(double, rate);
    QFETCH(int, statusBefore);
    QFETCH(int, statusWritten);
    MeasurerBench bench(type);
    bench.module->params.timeConst = timeConst;
    bench.module->counts = 250;
    bench.initialize();
    bench.module->status = quint8(statusBefore);
    bench.showPage(2);
    QCOMPARE(bench.module->received(0x16).value(0).payload, QByteArray(1, char(statusWritten)));
    QCOMPARE(bench.module->count(0x14), 1);
    QCOMPARE(bench.window->timer()->interval(), period);
    QVERIFY(bench.window->timer()->isActive());
    QCPGraph* graph = bench.widget<QCustomPlot>("wCounterPlot")->graph(0);
    QCOMPARE(graph->dataCount(), 1);
    QCOMPARE(qRound(graph->data()->constBegin()->value * 1000), qRound(rate * 1000));
    QCOMPARE(bench.text("lbCounts"), QStringLiteral("Counts per second: %1").arg(rate, 0, 'g', 6));
    // The strip chart shows the 30 s up to 2 s ahead of the newest point.
    QCPRange const x = bench.widget<QCustomPlot>("wCounterPlot")->xAxis->range();
    QVERIFY(qAbs(x.upper - graph->data()->constBegin()->key - 2.0) < 1e-3);
    QVERIFY(qAbs(x.size() - 30.0) < 1e-3);
}

void TestMeasurer::counterSetAndUnknownTimeConstant()
{
    MeasurerBench bench;
    bench.module->counts = 3;
    bench.module->params.timeConst = 0;
    bench.initialize();
    bench.showPage(2);
    // No period known: no rate, no division, and the refresh goes on at the floor.
    QCOMPARE(bench.text("lbCounts"), QStringLiteral("Counts per second: n/a"));
    QCOMPARE(bench.widget<QCustomPlot>("wCounterPlot")->graph(0)->dataCount(), 0);
    QCOMPARE(bench.window->timer()->interval(), 100);

    bench.spin<QDoubleSpinBox>("sbTimeConst")->setValue(0.01);
    bench.widget<QAbstractButton>("pbSetParams")->click();
    QCOMPARE(payloadFloat(bench.module->received(0x22).value(0).payload), 0.01f);
    QCOMPARE(bench.window->timeConstMs(), 10.0);
    QTRY_COMPARE(bench.text("lbCounts"), QStringLiteral("Counts per second: 300"));
    QCOMPARE(bench.window->timer()->interval(), 100);

    // Read shows the module's value but leaves the period alone.
    bench.module->params.timeConst = 2;
    bench.widget<QAbstractButton>("pbReadParams")->click();
    QTRY_COMPARE(bench.spin<QDoubleSpinBox>("sbTimeConst")->value(), 2.0);
    QCOMPARE(bench.window->timeConstMs(), 10.0);
}

void TestMeasurer::manualRangeRule_data()
{
    QTest::addColumn<double>("yMin");
    QTest::addColumn<double>("yMax");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::newRow("swapped") << 100.0 << 50.0 << 49.0 << 50.0;
    QTest::newRow("both zero") << 0.0 << 0.0 << 0.0 << 1.0;
    QTest::newRow("in order") << 10.0 << 20.0 << 10.0 << 20.0;
}

void TestMeasurer::manualRangeRule()
{
    QFETCH(double, yMin);
    QFETCH(double, yMax);
    QFETCH(double, lower);
    QFETCH(double, upper);
    MeasurerBench bench;
    bench.window->setAutoScaleCounterPlot(false);
    bench.spin<QDoubleSpinBox>("SB_YMin")->setValue(yMin);
    bench.spin<QDoubleSpinBox>("SB_YMax")->setValue(yMax);
    bench.window->controlAutoScaleCounter();
    QCPRange const range = bench.widget<QCustomPlot>("wCounterPlot")->yAxis->range();
    QCOMPARE(range.lower, lower);
    QCOMPARE(range.upper, upper);
    QCOMPARE(bench.spin<QDoubleSpinBox>("SB_YMin")->value(), lower);
    QCOMPARE(bench.spin<QDoubleSpinBox>("SB_YMax")->value(), upper);
}

void TestMeasurer::autoScaleMenu()
{
    MeasurerBench bench;
    bench.module->counts = 40;
    bench.window->show();
    auto* yMin = bench.spin<QDoubleSpinBox>("SB_YMin");
    QVERIFY(yMin->isHidden());
    QVERIFY(bench.window->autoScale());
    bench.initialize();
    bench.showPage(2);
    QCPRange const automatic = bench.widget<QCustomPlot>("wCounterPlot")->yAxis->range();

    bench.window->counterContextMenuRequest(QPoint(5, 5));
    QAction* autoScale = bench.menuEntry("Auto scale");
    QVERIFY(autoScale && autoScale->isChecked());
    autoScale->trigger();
    QVERIFY(!bench.window->autoScale());
    QVERIFY(!yMin->isHidden() && yMin->isEnabled());
    QVERIFY(qAbs(yMin->value() - automatic.lower) <= 0.5);
    QVERIFY(qAbs(bench.spin<QDoubleSpinBox>("SB_YMax")->value() - automatic.upper) <= 0.5);

    bench.window->counterContextMenuRequest(QPoint(5, 5));
    QVERIFY(bench.menuEntry("Show Y range")->isChecked());
    bench.menuEntry("Show Y range")->trigger();
    QVERIFY(yMin->isHidden());
    bench.window->counterContextMenuRequest(QPoint(5, 5));
    bench.menuEntry("Clear")->trigger();
    QCOMPARE(bench.widget<QCustomPlot>("wCounterPlot")->graph(0)->dataCount(), 0);
}

void TestMeasurer::plotMenusSaveDataAndPictures()
{
    MeasurerBench bench;
    bench.initialize();
    bench.showPage(2);
    auto* counter = bench.widget<QCustomPlot>("wCounterPlot");
    // Only the points in view are saved, their times to the millisecond.
    counter->graph(0)->data()->clear();
    counter->graph(0)->addData({1765000000.0 - 0.5, 1765000000.25, 1765000009.999, 1765000010.5},
                               {1, 2.5, 12345.6, 7});
    counter->xAxis->setRange(1765000000.0, 1765000010.0);
    QTemporaryDir dir;
    bench.fileToChoose = dir.filePath("counts.txt");
    bench.window->counterContextMenuRequest(QPoint(5, 5));
    bench.menuEntry("Save data")->trigger();
    QCOMPARE(bench.dialogs.last(), QStringLiteral("Save data...|/counts.txt|data (*.txt)"));
    QFile saved(bench.fileToChoose);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("X\tY\r\n"
                                         ";Counter chart: X == time (s since 1970-01-01 00:00 "
                                         "UTC), Y == counts per second\r\n"
                                         "Graph 0\r\n"
                                         "1765000000.250\t2.5\r\n"
                                         "1765000009.999\t12345.6\r\n"));

    // Both plots offer their picture beside their own entries.
    bench.widget<QCustomPlot>("wMeasurerPlot")->addGraph()->addData(1, 2);
    for (auto* plot : {counter, bench.widget<QCustomPlot>("wMeasurerPlot")}) {
        bench.fileToChoose = dir.filePath(plot->objectName());
        if (plot == counter)
            bench.window->counterContextMenuRequest(QPoint(5, 5));
        else
            bench.window->measurerContextMenuRequest(QPoint(5, 5));
        QVERIFY(bench.menuEntry("Save data") && bench.menuEntry("Save picture as PDF..."));
        bench.menuEntry("Save picture as PNG...")->trigger();
        QVERIFY(QFileInfo(bench.fileToChoose + ".png").size() > 0);
    }
    QVERIFY(bench.warnings.isEmpty());
}

void TestMeasurer::servicePidAndReading()
{
    MeasurerBench bench;
    bench.module->pid = true;
    bench.initialize(Qt::AltModifier | Qt::MetaModifier);
    bench.showPage(4);
    bench.widget<QAbstractButton>("pbGetSecretParams")->click();
    QVERIFY(bench.widget<QCheckBox>("cbPID")->isChecked());
    QCOMPARE(bench.text("lbSecretStatus"), QStringLiteral("Success"));
    bench.widget<QCheckBox>("cbPID")->setChecked(false);
    bench.widget<QAbstractButton>("pbSetSecretParams")->click();
    QVERIFY(!bench.module->pid);
    QCOMPARE(bench.text("lbSecretStatus"), QStringLiteral("Success"));
    bench.module->silent = {0x33, 0x34};
    bench.window->driver()->setTimeOut(20);
    bench.widget<QAbstractButton>("pbGetSecretParams")->click();
    QCOMPARE(bench.text("lbSecretStatus"),
             QStringLiteral("Error at PIDEnableStatus()->getValueSequence"));
    bench.widget<QAbstractButton>("pbSetSecretParams")->click();
    QCOMPARE(bench.text("lbSecretStatus"),
             QStringLiteral("Error at PIDEnableStatus()->setValueSequence"));

    bench.module->counts = 250;
    auto* reading = bench.widget<QAbstractButton>("pbReading");
    reading->click();
    QCOMPARE(bench.module->count(0x10), 1);
    QCOMPARE(bench.text("lbSecretStatus"),
             QStringLiteral("I:    0.0 uA<br>U:   0.00 mV<br>Count: 250.00"));
    QVERIFY(bench.window->timer()->isActive());
    // Another page stops the reading but leaves the toggle; coming back does not restart it.
    bench.showPage(2);
    bench.showPage(4);
    QVERIFY(reading->isChecked());
    QVERIFY(!bench.window->timer()->isActive());
    reading->click();
    QVERIFY(!bench.window->timer()->isActive());
}

void TestMeasurer::recordingLines_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("M0") << "LC4SDM0" << QByteArray("   5.0\t 12.34\t250.00\r\n");
    QTest::newRow("M1") << "LC4SDM1" << QByteArray("   5.0\t   4.9\t 12.34\t250.00\r\n");
}

void TestMeasurer::recordingLines()
{
    QFETCH(QString, type);
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    QString const file = dir.filePath("record.txt");
    {
        QFile existing(file);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("kept\r\n");
    }
    MeasurerBench bench(type);
    bench.module->current = 5e-6f;
    bench.module->monitor = 4.9e-6f;
    bench.module->voltage = 12.34e-3f;
    bench.module->counts = 250;
    bench.initialize(Qt::AltModifier | Qt::MetaModifier);
    bench.showPage(4);
    bench.fileToChoose = file;
    bench.widget<QAbstractButton>("pbRecording")->click();
    QCOMPARE(bench.dialogs, QStringList{"Save File...|output.txt|Text files (*.txt)"});
    QCOMPARE(bench.window->recordFileName(), file);
    bench.widget<QAbstractButton>("pbReading")->click();
    QTRY_COMPARE_WITH_TIMEOUT(bench.module->count(0x10), 2, 1500);
    bench.widget<QAbstractButton>("pbRecording")->click(); // unchecked: no more lines
    QTest::qWait(700);

    QFile recorded(file);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QCOMPARE(recorded.readAll(), "kept\r\n" + line + line);
}

void TestMeasurer::recordingFailures()
{
    MeasurerBench bench;
    bench.initialize(Qt::AltModifier | Qt::MetaModifier);
    bench.showPage(4);
    auto* recording = bench.widget<QAbstractButton>("pbRecording");
    recording->click(); // dialog cancelled
    QVERIFY(!recording->isChecked());
    QVERIFY(bench.window->recordFileName().isEmpty());

    QTemporaryDir dir;
    bench.fileToChoose = dir.filePath("missing/record.txt");
    recording->click();
    QVERIFY(recording->isChecked());
    bench.widget<QAbstractButton>("pbReading")->click();
    QCOMPARE(bench.warnings.size(), 1);
    QVERIFY(bench.warnings.first().startsWith("Warning|Can't write the record file " +
                                              bench.fileToChoose));
    QVERIFY(!recording->isChecked());
    // Reading goes on without recording and without asking again.
    QTRY_COMPARE_WITH_TIMEOUT(bench.module->count(0x10), 2, 1500);
    QCOMPARE(bench.warnings.size(), 1);
}

QTEST_MAIN(TestMeasurer)
#include "tst_measurer.moc"
