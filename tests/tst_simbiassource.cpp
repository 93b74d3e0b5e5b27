#include "simtestunit.h"
#include "sisbiassourcedriverm0.h"

#include <QtTest>

#include <QElapsedTimer>

#include <cmath>

namespace {

constexpr double gap = 2.8e-3; // the model's defaults
constexpr double rn = 20;

// The sweep frames a module sends on its own, as the IV measurer collects them.
class SweepListener : public QObject
{
public:
    explicit SweepListener(lcIOInterface* link)
    {
        connect(link, &lcIOInterface::msgReceived, this,
                [this](quint8, quint8 command, quint8 length, quint8* data) {
                    if (command != SisBiasSourceDriverM0::sweepFrameCommand)
                        return;
                    if (ended)
                        ++afterEnd;
                    else if (length == SisBiasSourceDriverM0::sweepPointLength)
                        points.append(DriverValueCodec<LC4BSM0_Data_t>::decode(
                            QByteArray(reinterpret_cast<const char*>(data), length)));
                    else if (length == 4)
                        ended = true;
                });
    }
    bool waitEnd(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (!ended && clock.elapsed() < ms)
            QTest::qWait(5);
        return ended;
    }

    QVector<LC4BSM0_Data_t> points;
    bool ended = false;
    int afterEnd = 0;
};

LC4BSM0_SWEEP_PARAMS_t sweep(float start, float stop, float step, quint32 timeStep, quint8 mode)
{
    LC4BSM0_SWEEP_PARAMS_t params{};
    params.start = start;
    params.stop = stop;
    params.step = step;
    params.timeStep = timeStep;
    params.mode = mode;
    return params;
}

} // namespace

class TestSimBiasSource : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ivCurveShowsTheGap();
    void currentModeInvertsTheCurve();
    void shortAndLimits();
    void wrongDacConstantsShowInReadings();
    void sweepDeliversItsPoints_data();
    void sweepDeliversItsPoints();
    void sweepStopEndsEarly();
    void badSweepIsRefused_data();
    void badSweepIsRefused();
    void resistorLoadIsOhmic();

private:
    SimTestUnit* m_bench = nullptr;
    SisBiasSourceDriverM0* m_driver = nullptr;
};

void TestSimBiasSource::init()
{
    m_bench = new SimTestUnit;
    QVERIFY2(m_bench->start(R"({"address":3,"kind":"LC4BSM0"})"), qPrintable(m_bench->error()));
    m_driver = new SisBiasSourceDriverM0;
    m_driver->setTimeOut(200); // refusals are silences; no need to wait long for them
    m_bench->attach(m_driver, 3);
    QVERIFY(set(m_driver->shortEnable(), false));
}

void TestSimBiasSource::cleanup()
{
    delete m_driver;
    delete m_bench;
}

void TestSimBiasSource::ivCurveShowsTheGap()
{
    QVERIFY(set(m_driver->mode(), char(1)));
    QVector<double> u, i;
    for (int step = 0; step <= 120; ++step) {
        QVERIFY(set(m_driver->voltage(), float(step * 0.05e-3)));
        const LC4BSM0_Data_t data = value(m_driver->data());
        QCOMPARE(int(data.mode), 1);
        u.append(data.voltage);
        i.append(data.current);
    }
    // Set and read voltages agree closely: the loop regulates on the reading.
    QVERIFY2(std::abs(u[60] - 3e-3) < 5e-6, qPrintable(QString::number(u[60])));

    // Below the gap only a little leakage flows.
    QVERIFY2(std::abs(i[40]) < 0.1 * gap / rn, qPrintable(QString::number(i[40])));
    // The steepest rise sits at the gap.
    int steepest = 1;
    for (int k = 1; k < u.size(); ++k) {
        if ((i[k] - i[k - 1]) / (u[k] - u[k - 1]) >
            (i[steepest] - i[steepest - 1]) / (u[steepest] - u[steepest - 1]))
            steepest = k;
    }
    const double atSteepest = 0.5 * (u[steepest] + u[steepest - 1]);
    QVERIFY2(std::abs(atSteepest - gap) < 0.1e-3, qPrintable(QString::number(atSteepest)));
    // Well above it the junction is ohmic, near its normal resistance.
    const double resistance = (u[120] - u[100]) / (i[120] - i[100]);
    QVERIFY2(std::abs(resistance - rn) < 0.1 * rn, qPrintable(QString::number(resistance)));

    // The curve is odd in the voltage.
    QVERIFY(set(m_driver->voltage(), -4e-3f));
    const float negative = value(m_driver->current());
    QVERIFY(set(m_driver->voltage(), 4e-3f));
    const float positive = value(m_driver->current());
    QVERIFY2(positive > 100e-6f && std::abs(positive + negative) < 0.05f * positive,
             qPrintable(QStringLiteral("%1 %2").arg(positive).arg(negative)));
}

void TestSimBiasSource::currentModeInvertsTheCurve()
{
    QVERIFY(set(m_driver->mode(), char(1)));
    QVERIFY(set(m_driver->voltage(), 4e-3f));
    const LC4BSM0_Data_t biased = value(m_driver->data());
    QVERIFY(set(m_driver->mode(), char(0)));
    QVERIFY(set(m_driver->current(), biased.current));
    const LC4BSM0_Data_t fed = value(m_driver->data());
    QCOMPARE(int(fed.mode), 0);
    QVERIFY2(std::abs(fed.voltage - 4e-3f) < 0.02e-3f, qPrintable(QString::number(fed.voltage)));
    QVERIFY(std::abs(fed.current - biased.current) < 0.5e-6f);

    // Below the gap a small current needs almost the gap voltage: the flat leakage branch.
    QVERIFY(set(m_driver->current(), 3e-6f));
    const float subgap = value(m_driver->voltage());
    QVERIFY2(subgap > 0.3e-3f && subgap < gap, qPrintable(QString::number(subgap)));
}

void TestSimBiasSource::shortAndLimits()
{
    // Shorted, the junction sees nothing in either mode.
    QVERIFY(set(m_driver->shortEnable(), true));
    QVERIFY(value(m_driver->shortEnable()));
    QVERIFY(set(m_driver->mode(), char(0)));
    QVERIFY(set(m_driver->current(), 100e-6f));
    LC4BSM0_Data_t data = value(m_driver->data());
    QVERIFY(data.shortEnable);
    QVERIFY2(std::abs(data.voltage) < 0.1e-3f, qPrintable(QString::number(data.voltage)));
    QVERIFY(std::abs(data.current - 100e-6f) < 4e-6f);
    QVERIFY(set(m_driver->mode(), char(1)));
    QVERIFY(set(m_driver->voltage(), 3e-3f));
    QVERIFY(std::abs(value(m_driver->voltage())) < 0.15e-3f);
    QVERIFY(refused(m_driver->mode(), char(5)));
    QCOMPARE(int(value(m_driver->mode())), 1);

    // Set points are kept within the limits of the constants.
    QVERIFY(set(m_driver->shortEnable(), false));
    QVERIFY(set(m_driver->voltageLimits(), pair_t<float>{-5e-3f, 5e-3f}));
    QCOMPARE(value(m_driver->eepromConst()).voltageLimits.second, 5e-3f);
    QVERIFY(set(m_driver->voltage(), 8e-3f));
    QVERIFY2(std::abs(value(m_driver->voltage()) - 5e-3f) < 0.02e-3f,
             qPrintable(QString::number(value(m_driver->voltage()))));
    QVERIFY(refused(m_driver->voltage(), float(NAN)));

    // Open loop through an identity line, as a calibration sweeps, the set value is a
    // code: the limits in volts do not cut the sweep off, in either mode.
    QVERIFY(set(m_driver->pidEnable(), false));
    QVERIFY(set(m_driver->voltageDacCoeff(), pair_t<float>{1, 0}));
    QVERIFY(set(m_driver->voltage(), 65000.0f));
    const float high = value(m_driver->voltage());
    QVERIFY2(high > 10e-3f, qPrintable(QString::number(high)));
    QVERIFY(set(m_driver->mode(), char(0)));
    QVERIFY(set(m_driver->currentLimits(), pair_t<float>{-1e-6f, 1e-6f}));
    QVERIFY(set(m_driver->currentDacCoeff(), pair_t<float>{1, 0}));
    QVERIFY(set(m_driver->current(), 1000.0f));
    const float low = value(m_driver->current());
    QVERIFY2(low < -0.4e-3f, qPrintable(QString::number(low)));
    // Regulating again, the set value is kept within the limits once more.
    QVERIFY(set(m_driver->pidEnable(), true));
    QVERIFY(set(m_driver->current(), 0.4e-3f));
    QVERIFY2(std::abs(value(m_driver->current()) - 1e-6f) < 0.05e-6f,
             qPrintable(QString::number(value(m_driver->current()))));
}

void TestSimBiasSource::wrongDacConstantsShowInReadings()
{
    // A current source drives its current whatever the junction does.
    QVERIFY(set(m_driver->pidEnable(), false));
    QVERIFY(!value(m_driver->pidEnable()));
    QVERIFY(set(m_driver->mode(), char(0)));
    QVERIFY(set(m_driver->current(), 50e-6f));
    QVERIFY2(std::abs(value(m_driver->current()) - 50e-6f) < 2e-6f,
             qPrintable(QString::number(value(m_driver->current()))));

    const pair_t<float> nominal = value(m_driver->currentDacCoeff());
    QVERIFY(set(m_driver->currentDacCoeff(), pair_t<float>{nominal.first * 0.6f, nominal.second}));
    QCOMPARE(value(m_driver->eepromConst()).currentDacCoeff.first, nominal.first * 0.6f);
    QVERIFY2(std::abs(value(m_driver->current()) - 30e-6f) < 2e-6f,
             qPrintable(QString::number(value(m_driver->current()))));
    // The regulation loop trusts the ADC line and hides the wrong DAC line.
    QVERIFY(set(m_driver->pidEnable(), true));
    QVERIFY(std::abs(value(m_driver->current()) - 50e-6f) < 0.1e-6f);
    QVERIFY(set(m_driver->pidEnable(), false));
    QVERIFY(set(m_driver->currentDacCoeff(), nominal));
    QVERIFY(std::abs(value(m_driver->current()) - 50e-6f) < 2e-6f);

    // The module takes the drop across its monitor resistor off the voltage it
    // reports; without it, the junction sits lower and draws less current.
    QVERIFY(set(m_driver->pidEnable(), true));
    QVERIFY(set(m_driver->mode(), char(1)));
    QVERIFY(set(m_driver->voltage(), 5e-3f));
    const LC4BSM0_Data_t compensated = value(m_driver->data());
    QVERIFY(set(m_driver->currentMonitorResistance(), 0.0f));
    const LC4BSM0_Data_t uncompensated = value(m_driver->data());
    QVERIFY(std::abs(uncompensated.voltage - 5e-3f) < 0.02e-3f);
    QVERIFY2(
        uncompensated.current < 0.8f * compensated.current,
        qPrintable(QStringLiteral("%1 %2").arg(uncompensated.current).arg(compensated.current)));
}

void TestSimBiasSource::sweepDeliversItsPoints_data()
{
    QTest::addColumn<float>("start");
    QTest::addColumn<float>("stop");
    QTest::addColumn<float>("step");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("points");
    QTest::newRow("voltage up") << 0.0f << 5e-3f << 0.5e-3f << 1 << 11;
    QTest::newRow("voltage down") << 5e-3f << -1e-3f << -1e-3f << 1 << 7;
    // 0.003 is not a whole number of float steps of 0.001; the stop is still measured.
    QTest::newRow("stop within rounding") << 0.0f << 3e-3f << 1e-3f << 1 << 4;
    QTest::newRow("current") << 10e-6f << 20e-6f << 1e-6f << 0 << 11;
    QTest::newRow("single point") << 2e-3f << 2e-3f << 1e-3f << 1 << 1;
    // No finer than the voltage step of the constants (1 uV).
    QTest::newRow("step raised to the finest") << 0.0f << 5e-6f << 1e-7f << 1 << 6;
}

void TestSimBiasSource::sweepDeliversItsPoints()
{
    QFETCH(float, start);
    QFETCH(float, stop);
    QFETCH(float, step);
    QFETCH(int, mode);
    QFETCH(int, points);
    SweepListener listener(m_bench->link());
    QVERIFY(set(m_driver->sweepParams(), sweep(start, stop, step, 5, quint8(mode))));
    QCOMPARE(value(m_driver->sweepParams()).step, step);
    QVERIFY(run(m_driver->sweepStart()));
    QVERIFY(listener.waitEnd(5000));
    QCOMPARE(listener.points.size(), points);
    for (int k = 0; k < points; ++k) {
        const LC4BSM0_Data_t& point = listener.points.at(k);
        const double expected =
            points > 1 ? start + k * (double(stop) - start) / (points - 1) : start;
        const double measured = mode == 1 ? point.voltage : point.current;
        const double tolerance = mode == 1 ? 0.02e-3 : 0.2e-6;
        QVERIFY2(std::abs(measured - expected) < tolerance,
                 qPrintable(QStringLiteral("point %1: %2").arg(k).arg(measured)));
        QCOMPARE(int(point.mode), mode);
    }
    QCOMPARE(int(value(m_driver->mode())), mode);
}

void TestSimBiasSource::sweepStopEndsEarly()
{
    SweepListener listener(m_bench->link());
    QVERIFY(set(m_driver->sweepParams(), sweep(0, 10e-3f, 1e-5f, 5, 1)));
    QVERIFY(run(m_driver->sweepStart()));
    QTRY_VERIFY(listener.points.size() >= 3);
    QVERIFY(run(m_driver->sweepStop()));
    QVERIFY(listener.waitEnd(1000));
    // Well short of the sweep's 1001 points, with room for a machine under load.
    QVERIFY(listener.points.size() < 500);
    QTest::qWait(50);
    QCOMPARE(listener.afterEnd, 0);
    // Nothing runs, so a second stop ends nothing.
    QVERIFY(run(m_driver->sweepStop()));
    QTest::qWait(30);
    QCOMPARE(listener.afterEnd, 0);
}

void TestSimBiasSource::badSweepIsRefused_data()
{
    QTest::addColumn<LC4BSM0_SWEEP_PARAMS_t>("params");
    QTest::newRow("step zero") << sweep(0, 1e-3f, 0, 5, 1);
    QTest::newRow("step away from stop") << sweep(0, 1e-3f, -1e-4f, 5, 1);
    QTest::newRow("start not a number") << sweep(NAN, 1e-3f, 1e-4f, 5, 1);
    QTest::newRow("stop infinite") << sweep(0, INFINITY, 1e-4f, 5, 1);
    QTest::newRow("unknown mode") << sweep(0, 1e-3f, 1e-4f, 5, 7);
}

void TestSimBiasSource::badSweepIsRefused()
{
    QFETCH(LC4BSM0_SWEEP_PARAMS_t, params);
    SweepListener listener(m_bench->link());
    QVERIFY(set(m_driver->sweepParams(), params));
    QVERIFY(run(m_driver->sweepStart()));
    QVERIFY(listener.waitEnd(200));
    QVERIFY(listener.points.isEmpty());
    QTest::qWait(30);
    QCOMPARE(listener.afterEnd, 0);
}

void TestSimBiasSource::resistorLoadIsOhmic()
{
    // A calibration load in place of the junction: a straight line through zero.
    SimTestUnit bench;
    QVERIFY2(bench.start(R"({"address":4,"kind":"LC4BSM0","loadResistance":50})"),
             qPrintable(bench.error()));
    SisBiasSourceDriverM0 driver;
    bench.attach(&driver, 4);
    QVERIFY(set(driver.shortEnable(), false));
    for (float u : {-4e-3f, 1e-3f, 2.8e-3f, 6e-3f}) {
        QVERIFY(set(driver.voltage(), u));
        const LC4BSM0_Data_t data = value(driver.data());
        QVERIFY2(std::abs(data.current - data.voltage / 50) < 0.5e-6f,
                 qPrintable(QStringLiteral("%1 V: %2 A").arg(data.voltage).arg(data.current)));
    }
}

QTEST_GUILESS_MAIN(TestSimBiasSource)
#include "tst_simbiassource.moc"
