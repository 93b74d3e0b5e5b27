// The measurer's sweep: set-points, end and trigger tests, cancellation, and the
// data file, against a scripted module on 127.0.0.1.
#include "measurertestsupport.h"
#include "sweepdatafile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <qcustomplot.h>

#include <limits>

namespace {

enum SweepType
{
    Bias = 0,
    CmpRef = 1
};

QVector<QPointF> points(MeasurerBench const& bench, int graph)
{
    QVector<QPointF> out;
    QCustomPlot* plot = bench.widget<QCustomPlot>("wMeasurerPlot");
    if (graph >= plot->graphCount())
        return out;
    auto const data = plot->graph(graph)->data();
    for (auto it = data->constBegin(); it != data->constEnd(); ++it)
        out.append(QPointF(it->key, it->value));
    return out;
}

QList<double> setPoints(MeasurerBench const& bench, quint8 command, double scale)
{
    QList<double> out;
    for (FakeFrame const& frame : bench.module->received(command))
        out.append(double(payloadFloat(frame.payload)) * scale);
    return out;
}

void configure(MeasurerBench& bench, int type, double start, double stop, double step,
               double trigger = 10)
{
    bench.showPage(3);
    bench.widget<QComboBox>("cbType")->setCurrentIndex(type);
    bench.spin<QDoubleSpinBox>("sbStart")->setValue(start);
    bench.spin<QDoubleSpinBox>("sbStop")->setValue(stop);
    bench.spin<QDoubleSpinBox>("sbStep")->setValue(step);
    bench.spin<QDoubleSpinBox>("sbTrigger")->setValue(trigger);
}

bool runSweep(MeasurerBench& bench)
{
    bench.widget<QAbstractButton>("pbStart")->click();
    return QTest::qWaitFor([&] { return !bench.window->isSweepRunning(); }, 10000);
}

QString floatHex(float value)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<char const*>(&value), sizeof value).toHex());
}

bool sweepControlsEnabled(MeasurerBench const& bench)
{
    for (char const* name : {"sbStart", "sbStop", "sbStep", "sbTrigger", "cbType", "pbStart"})
        if (!bench.widget<QWidget>(name)->isEnabled())
            return false;
    return bench.pages()->isEnabled();
}

} // namespace

class TestMeasurerSweep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        MeasurerBench::isolateSettings(m_settings);
    }
    void init()
    {
        MeasurerBench::clearSettings();
        m_bench = std::make_unique<MeasurerBench>();
        m_bench->module->params.timeConst = 0.01f;
        m_bench->module->counts = 50;
        m_bench->initialize();
        QCOMPARE(m_bench->window->moduleKind(), 0);
    }
    void cleanup() { m_bench.reset(); }

    void setPointsAndEnd_data();
    void setPointsAndEnd();
    void startSequenceAndPeriod_data();
    void startSequenceAndPeriod();
    void triggerEndsBeforeThePoint();
    void biasAbscissaIsTheMeasuredCurrent();
    void stopDuringSettlingCancelsTheStart();
    void stopDuringTickWaitDoesNotRearm();
    void clearDuringSweep();
    void unusableTimeConstantRefused_data();
    void unusableTimeConstantRefused();
    void failedReadStopsTheSweep();
    void savedFileOfTwoSweeps();
    void saveFailureIsReported();

private:
    QTemporaryDir m_settings;
    std::unique_ptr<MeasurerBench> m_bench;
};

void TestMeasurerSweep::setPointsAndEnd_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("stop");
    QTest::addColumn<double>("step");
    QTest::addColumn<QList<double>>("expected");
    QTest::newRow("bias by 0.5") << int(Bias) << 1.0 << 2.0 << 0.5 << QList<double>{1, 1.5, 2};
    QList<double> tenths;
    for (int i = 0; i <= 10; ++i)
        tenths << 1 + i * 0.1;
    QTest::newRow("bias by 0.1 reaches 2") << int(Bias) << 1.0 << 2.0 << 0.1 << tenths;
    QTest::newRow("cmp by 0.1 reaches 0.3")
        << int(CmpRef) << 0.0 << 0.3 << 0.1 << QList<double>{0, 0.1, 0.2, 0.3};
    QTest::newRow("start above stop") << int(Bias) << 2.0 << 1.0 << 0.5 << QList<double>{};
}

void TestMeasurerSweep::setPointsAndEnd()
{
    QFETCH(int, type);
    QFETCH(double, start);
    QFETCH(double, stop);
    QFETCH(double, step);
    QFETCH(QList<double>, expected);
    MeasurerBench& bench = *m_bench;
    configure(bench, type, start, stop, step);
    QVERIFY(runSweep(bench));

    // The first set-point goes out before the settling wait, then once per point.
    quint8 const command = type == Bias ? 0x12 : 0x20;
    QList<double> const sent = setPoints(bench, command, type == Bias ? 1e6 : 1);
    QCOMPARE(sent.size(), expected.size() + 1);
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(qAbs(sent.at(i + 1) - expected.at(i)) < 1e-5, qPrintable(QString::number(i)));
    QVector<QPointF> const measured = points(bench, 0);
    QCOMPARE(measured.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QVERIFY(qAbs(measured.at(i).x() - expected.at(i)) < 1e-5);
        QVERIFY(qAbs(measured.at(i).y() - 5000) < 1e-2);
    }
    QVERIFY(sweepControlsEnabled(bench));
    QVERIFY(!bench.window->timer()->isActive());
    if (!expected.isEmpty())
        QCOMPARE(bench.text("lbMeasurerStatus"), QStringLiteral("Status: X = %1; Y = %2")
                                                     .arg(measured.last().x(), 0, 'g', 6)
                                                     .arg(measured.last().y(), 0, 'g', 6));
}

void TestMeasurerSweep::startSequenceAndPeriod_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<float>("timeConst");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("statusBefore");
    QTest::addColumn<int>("statusWritten");
    QTest::newRow("M0") << "LC4SDM0" << 0.1f << 200 << 0x42 << 0x7C;
    QTest::newRow("M1 keeps HF") << "LC4SDM1" << 0.05f << 100 << 0x08 << 0x3C;
}

void TestMeasurerSweep::startSequenceAndPeriod()
{
    QFETCH(QString, type);
    QFETCH(float, timeConst);
    QFETCH(int, period);
    QFETCH(int, statusBefore);
    QFETCH(int, statusWritten);
    MeasurerBench bench(type);
    bench.module->params.timeConst = timeConst;
    bench.initialize();
    bench.window->settlingMs = 2000;
    bench.module->status = quint8(statusBefore);
    configure(bench, Bias, 3, 3, 1);

    int const before = bench.module->unit.frameCount();
    QElapsedTimer clock;
    clock.start();
    bench.widget<QAbstractButton>("pbStart")->click();
    QVERIFY(clock.elapsed() >= 2000);
    QVERIFY(bench.window->isSweepRunning());
    QVERIFY(!bench.pages()->isEnabled());
    QVERIFY(bench.widget<QWidget>("pbStop")->isEnabled());
    QCOMPARE(bench.window->timer()->interval(), period);
    QVERIFY(bench.window->timer()->isActive());
    QTRY_VERIFY(!bench.window->isSweepRunning());

    // Short, first set-point, settle, release, parameters, status, then the points.
    QStringList order;
    for (FakeFrame const& frame : bench.module->unit.frames().mid(before))
        order << describe(frame).mid(3);
    QString const setPoint = "12 [" + floatHex(3e-6f) + "]";
    QString const written = QString("16 [%1]").arg(statusWritten, 2, 16, QLatin1Char('0'));
    QCOMPARE(order, (QStringList{"17 [01]", setPoint, "17 [00]", "1d []", "15 []", written,
                                 setPoint, "10 []"}));
}

void TestMeasurerSweep::triggerEndsBeforeThePoint()
{
    MeasurerBench& bench = *m_bench;
    bench.module->beforeData = [](FakeSspd& m) { m.voltage = m.current > 2.2e-6f ? 0.5f : 1e-3f; };
    configure(bench, Bias, 1, 5, 0.5, 0.1);
    QVERIFY(runSweep(bench));
    QCOMPARE(points(bench, 0).size(), 3);
    QCOMPARE(bench.module->count(0x10), 4);
    QVERIFY(sweepControlsEnabled(bench));
}

void TestMeasurerSweep::biasAbscissaIsTheMeasuredCurrent()
{
    MeasurerBench& bench = *m_bench;
    bench.module->afterCurrentSet = [](FakeSspd& m) { m.current -= 0.02e-6f; };
    configure(bench, Bias, 3, 3, 0.5);
    QVERIFY(runSweep(bench));
    QVector<QPointF> const measured = points(bench, 0);
    QCOMPARE(measured.size(), 1);
    QVERIFY(qAbs(measured.first().x() - 2.98) < 1e-5);
}

void TestMeasurerSweep::stopDuringSettlingCancelsTheStart()
{
    MeasurerBench& bench = *m_bench;
    bench.window->settlingMs = 1000;
    configure(bench, Bias, 1, 5, 1);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(100, [&] { bench.widget<QAbstractButton>("pbStop")->click(); });
    bench.widget<QAbstractButton>("pbStart")->click();
    QVERIFY(clock.elapsed() < 900);
    QVERIFY(!bench.window->isSweepRunning());
    QVERIFY(sweepControlsEnabled(bench));
    QTest::qWait(100);
    QVERIFY(!bench.window->timer()->isActive());
    // Only the first set-point went out; the detector stays shorted as Stop found it.
    QCOMPARE(bench.module->count(0x12), 1);
    QCOMPARE(bench.module->count(0x17), 1);
    QCOMPARE(bench.module->count(0x10), 0);
    QCOMPARE(points(bench, 0).size(), 0);
}

void TestMeasurerSweep::stopDuringTickWaitDoesNotRearm()
{
    MeasurerBench& bench = *m_bench;
    bench.module->delayMs[0x10] = 200;
    bench.module->beforeData = [&bench](FakeSspd&) {
        QTimer::singleShot(50, [&bench] { bench.widget<QAbstractButton>("pbStop")->click(); });
    };
    configure(bench, Bias, 0, 10, 1);
    bench.widget<QAbstractButton>("pbStart")->click();
    QTRY_COMPARE(bench.module->count(0x10), 1);
    QTRY_VERIFY(!bench.window->isBusy());
    QTest::qWait(100);
    QVERIFY(!bench.window->timer()->isActive());
    QCOMPARE(bench.module->count(0x12), 2);
    QCOMPARE(points(bench, 0).size(), 0);
    QVERIFY(sweepControlsEnabled(bench));
}

void TestMeasurerSweep::clearDuringSweep()
{
    MeasurerBench& bench = *m_bench;
    bench.module->delayMs[0x10] = 50;
    int reads = 0;
    bench.module->beforeData = [&](FakeSspd&) {
        if (++reads == 1) {
            bench.window->measurerContextMenuRequest(QPoint(5, 5));
            QAction* clear = bench.menuEntry("Clear");
            QVERIFY(clear && !clear->isEnabled());
            QVERIFY(bench.menuEntry("Save data")->isEnabled());
        } else if (reads == 2) {
            // Called anyway (not through the menu) while the tick waits.
            QTimer::singleShot(0, bench.window.get(), &MainWindow::deleteMeasureData);
        }
    };
    configure(bench, Bias, 0, 10, 1);
    QVERIFY(runSweep(bench));
    QCOMPARE(bench.widget<QCustomPlot>("wMeasurerPlot")->graphCount(), 0);
    QCOMPARE(bench.text("lbMeasurerStatus"),
             QStringLiteral("Status: Sweep stopped: its data were cleared"));
    QTest::qWait(100);
    QCOMPARE(reads, 2);
    QVERIFY(sweepControlsEnabled(bench));

    // Without graphs there is no menu; a new sweep starts a new graph.
    int const menus = bench.window->findChildren<QMenu*>().size();
    bench.window->measurerContextMenuRequest(QPoint(5, 5));
    QCOMPARE(bench.window->findChildren<QMenu*>().size(), menus);
    configure(bench, Bias, 1, 1, 1);
    QVERIFY(runSweep(bench));
    QCOMPARE(points(bench, 0).size(), 1);
}

void TestMeasurerSweep::unusableTimeConstantRefused_data()
{
    QTest::addColumn<float>("timeConst");
    QTest::newRow("zero") << 0.0f;
    QTest::newRow("negative") << -1.0f;
    QTest::newRow("below a millisecond per point") << 1e-4f;
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("infinite") << std::numeric_limits<float>::infinity();
}

void TestMeasurerSweep::unusableTimeConstantRefused()
{
    QFETCH(float, timeConst);
    MeasurerBench& bench = *m_bench;
    bench.module->params.timeConst = timeConst;
    configure(bench, Bias, 1, 2, 0.5);
    QVERIFY(runSweep(bench));
    QVERIFY(
        bench.text("lbMeasurerStatus").startsWith("Status: Sweep refused: counter time constant"));
    QVERIFY(!bench.window->timer()->isActive());
    QCOMPARE(bench.module->count(0x10), 0);
    QVERIFY(sweepControlsEnabled(bench));
}

void TestMeasurerSweep::failedReadStopsTheSweep()
{
    MeasurerBench& bench = *m_bench;
    bench.window->driver()->setTimeOut(20);
    bench.module->silent.insert(0x10);
    configure(bench, Bias, 1, 5, 1);
    QVERIFY(runSweep(bench));
    QCOMPARE(bench.text("lbMeasurerStatus"),
             QStringLiteral("Status: Error at reading data; sweep stopped"));
    QCOMPARE(points(bench, 0).size(), 0);
    QCOMPARE(bench.module->count(0x10), 5);
}

void TestMeasurerSweep::savedFileOfTwoSweeps()
{
    MeasurerBench& bench = *m_bench;
    QList<float> counts{1.25f, 12000, 3.33333e-7f, 1.2f, 1.335f};
    bench.module->beforeData = [&](FakeSspd& m) { m.counts = counts.takeFirst(); };
    // Measured currents fall while the set-points rise: the file sorts by X.
    bench.module->afterCurrentSet = [](FakeSspd& m) { m.current = 1e-5f - m.current; };
    configure(bench, CmpRef, 0.1, 0.2, 0.05);
    QVERIFY(runSweep(bench));
    configure(bench, Bias, 5.1, 5.2, 0.1);
    QVERIFY(runSweep(bench));
    QVERIFY(counts.isEmpty());

    QTemporaryDir dir;
    QString const file = dir.filePath("sweeps.txt");
    bench.window->measurerContextMenuRequest(QPoint(5, 5));
    bench.fileToChoose = file;
    bench.menuEntry("Save data")->trigger();
    QCOMPARE(bench.dialogs, QStringList{"Save data...|/untitled.txt|data (*.txt)"});

    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(),
             QByteArray("X\tY\r\n"
                        ";In case Current_vs_Count trace it mean X == I (uA)\r\n"
                        ";In case CmpLevel_vs_Count trace it mean X == U_cmp (V)\r\n"
                        "Graph 0\r\n"
                        "0.1\t125\r\n"
                        "0.15\t1.2e+06\r\n"
                        "0.2\t3.33333e-05\r\n"
                        "Graph 1\r\n"
                        "4.8\t133.5\r\n"
                        "4.9\t120\r\n"));

    // The next save proposes the last name; a cancelled one writes nothing.
    bench.fileToChoose.clear();
    bench.window->saveData();
    QCOMPARE(bench.dialogs.last(), "Save data...|" + file + "|data (*.txt)");
    QCOMPARE(QFileInfo(file).size(), saved.size());
}

void TestMeasurerSweep::saveFailureIsReported()
{
    MeasurerBench& bench = *m_bench;
    configure(bench, Bias, 1, 1, 1);
    QVERIFY(runSweep(bench));
    QTemporaryDir dir;
    QString const existing = dir.filePath("kept.txt");
    {
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("old content");
    }
    for (QString const& target : {dir.filePath("missing/data.txt"), dir.path()}) {
        bench.warnings.clear();
        bench.fileToChoose = target;
        bench.window->saveData();
        QCOMPARE(bench.warnings.size(), 1);
        QVERIFY(bench.warnings.first().startsWith("Warning|Can't save data to " + target));
    }
    QVERIFY(QFileInfo(dir.path()).isDir());

    bench.fileToChoose = existing;
    bench.warnings.clear();
    bench.window->saveData();
    QVERIFY(bench.warnings.isEmpty());
    QFile file(existing);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("X\tY\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.txt"});
}

QTEST_MAIN(TestMeasurerSweep)
#include "tst_measurersweep.moc"
