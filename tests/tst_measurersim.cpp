// The measurer against the in-process unit simulator: both SSPD modifications,
// live readings and a bias sweep through the simulated detector.
#include "measurertestsupport.h"
#include "simoptions.h"
#include "simserver.h"
#include "simunit.h"

#include <qcustomplot.h>

namespace {

std::unique_ptr<SimUnit> startUnit(QString* error)
{
    SimOptions options;
    auto unit = std::make_unique<SimUnit>();
    if (!options.parse({"lc-simulator", "--listen", "127.0.0.1", "--port", "0", "--no-discovery"},
                       error) ||
        !unit->start(options, error))
        return nullptr;
    return unit;
}

// The first number after `prefix` in a reading text.
double readingValue(QString const& text, QString const& prefix)
{
    int const at = text.indexOf(prefix);
    if (at < 0)
        return qQNaN();
    QString const rest = text.mid(at + prefix.size()).trimmed();
    return rest.section(QLatin1Char(' '), 0, 0).toDouble();
}

} // namespace

class TestMeasurerSim : public QObject
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
        QString error;
        m_unit = startUnit(&error);
        QVERIFY2(m_unit, qPrintable(error));
    }
    void cleanup()
    {
        m_bench.reset();
        m_unit.reset();
    }

    void bothModificationsShowTheirReadings_data();
    void bothModificationsShowTheirReadings();
    void biasSweepRisesThenEndsAtTheTrigger();

private:
    void open(int address)
    {
        m_bench = std::make_unique<MeasurerBench>();
        m_bench->window->unitPort = m_unit->server()->serverPort();
        m_bench->spin<QSpinBox>("sbDeviceAddress")->setValue(address);
        m_bench->initialize();
    }

    QTemporaryDir m_settings;
    std::unique_ptr<SimUnit> m_unit;
    std::unique_ptr<MeasurerBench> m_bench;
};

void TestMeasurerSim::bothModificationsShowTheirReadings_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("model");
    QTest::newRow("M0") << 1 << "LC4SDM0";
    QTest::newRow("M1") << 2 << "LC4SDM1";
}

void TestMeasurerSim::bothModificationsShowTheirReadings()
{
    QFETCH(int, address);
    QFETCH(QString, model);
    open(address);
    MeasurerBench& bench = *m_bench;
    QVERIFY2(bench.text("lbStatus").startsWith("Status: Device " + model),
             qPrintable(bench.text("lbStatus")));
    bool const m1 = model == "LC4SDM1";
    QCOMPARE(bench.window->moduleKind(), m1 ? 1 : 0);

    bench.showPage(1);
    bench.spin<QDoubleSpinBox>("sbI")->setValue(10);
    bench.widget<QAbstractButton>("pbSetI")->click();
    bench.widget<QAbstractButton>("cbShort")->click(); // the module starts shorted
    QTRY_VERIFY(qAbs(readingValue(bench.text("lbData"), "I:") - 10) < 0.3);
    QString const text = bench.text("lbData");
    QCOMPARE(text.contains("Imon:"), m1);
    if (m1)
        QVERIFY(qAbs(readingValue(text, "Imon:") - 10) < 0.5);
    // A superconducting detector: the few millivolts of the wiring, no more.
    QVERIFY2(qAbs(readingValue(text, "U:")) < 2, qPrintable(text));
    QVERIFY(!bench.widget<QCheckBox>("cbShort")->isChecked());
}

void TestMeasurerSim::biasSweepRisesThenEndsAtTheTrigger()
{
    open(1);
    MeasurerBench& bench = *m_bench;
    bench.showPage(1);
    bench.spin<QDoubleSpinBox>("sbCmp")->setValue(0.1);
    bench.widget<QAbstractButton>("pbSetCmp")->click();
    bench.showPage(2);
    bench.spin<QDoubleSpinBox>("sbTimeConst")->setValue(0.05);
    bench.widget<QAbstractButton>("pbSetParams")->click();

    bench.showPage(3);
    bench.spin<QDoubleSpinBox>("sbStart")->setValue(8);
    bench.spin<QDoubleSpinBox>("sbStop")->setValue(30);
    bench.spin<QDoubleSpinBox>("sbStep")->setValue(2);
    bench.spin<QDoubleSpinBox>("sbTrigger")->setValue(0.02);
    bench.widget<QAbstractButton>("pbStart")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!bench.window->isSweepRunning(), 10000);

    QCPGraph* graph = bench.widget<QCustomPlot>("wMeasurerPlot")->graph(0);
    QVector<QPointF> points;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        points.append(QPointF(it->key, it->value));
    // The detector latches above its critical current and the trigger ends the sweep.
    QVERIFY2(points.size() >= 5 && points.size() < 12, qPrintable(QString::number(points.size())));
    QVERIFY(points.last().x() < 22);
    for (int i = 1; i < 5; ++i)
        QVERIFY2(points.at(i).y() > points.at(i - 1).y(), qPrintable(QString::number(i)));
    QVERIFY(points.at(4).y() > 10 * points.at(0).y());
    QVERIFY(qAbs(points.at(0).x() - 8) < 0.3);
}

QTEST_MAIN(TestMeasurerSim)
#include "tst_measurersim.moc"
