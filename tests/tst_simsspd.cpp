#include "simtestunit.h"
#include "sspddriverm0.h"
#include "sspddriverm1.h"

#include <QtTest>

#include <cmath>

namespace {

constexpr double ic = 20e-6; // the model's default critical current
constexpr float period = 0.02f;

// The status byte that counts pulses: short off; amplifier, comparator latch and
// counter on; on M0 the RF key too.
template <typename Driver> quint8 countingStatus();
template <> quint8 countingStatus<SspdDriverM0>()
{
    return 0x3C;
}
template <> quint8 countingStatus<SspdDriverM1>()
{
    return 0x34;
}

template <typename Driver> bool setStatus(Driver& driver, quint8 byte)
{
    decltype(value(driver.status())) status{};
    status.byte = byte;
    return set(driver.status(), status);
}

// The counter value of a period that began after the last change.
template <typename Driver> float settledCounts(Driver& driver)
{
    QTest::qWait(int(3 * period * 1000));
    return value(driver.counts());
}

template <typename Driver> float voltageOf(Driver& driver)
{
    return value(driver.voltage());
}

template <typename Driver>
bool startCounting(SimTestUnit& bench, Driver& driver, const char* kind,
                   const QByteArray& keys = QByteArray())
{
    if (!bench.start("{\"address\":1,\"kind\":\"" + QByteArray(kind) + "\"" + keys + "}"))
        return false;
    bench.attach(&driver, 1);
    return setStatus(driver, countingStatus<Driver>()) && set(driver.timeConst(), period);
}

template <typename Driver> void biasAndLatching(const char* kind)
{
    SimTestUnit bench;
    Driver driver;
    QVERIFY2(startCounting(bench, driver, kind), qPrintable(bench.error()));

    // Efficiency climbs towards the critical current; the detector stays superconducting.
    float previous = -1;
    for (double fraction : {0.5, 0.7, 0.9}) {
        QVERIFY(set(driver.current(), float(fraction * ic)));
        const float counts = settledCounts(driver);
        QVERIFY2(counts > previous * 1.3f + 10,
                 qPrintable(QStringLiteral("%1 Ic: %2 counts after %3")
                                .arg(fraction)
                                .arg(counts)
                                .arg(previous)));
        QVERIFY2(std::abs(voltageOf(driver)) < 1e-3f, "superconducting detector shows a voltage");
        previous = counts;
    }
    const float superconducting = previous;

    // Above Ic the wire latches: a voltage of I x R_normal, no more pulses.
    QVERIFY(set(driver.current(), float(1.1 * ic)));
    QVERIFY(settledCounts(driver) < 5);
    QVERIFY2(voltageOf(driver) > 0.02f, qPrintable(QString::number(voltageOf(driver))));

    // Back below Ic it stays latched: the hot spot heals only at a small current.
    QVERIFY(set(driver.current(), float(0.9 * ic)));
    QVERIFY(settledCounts(driver) < 5);
    QVERIFY(voltageOf(driver) > 0.01f);

    // Shorting the detector takes its current away and resets it.
    QVERIFY(set(driver.shortEnable(), true));
    QVERIFY(settledCounts(driver) < 5);
    QVERIFY(set(driver.shortEnable(), false));
    QVERIFY(std::abs(voltageOf(driver)) < 1e-3f);
    QVERIFY(settledCounts(driver) > 0.8f * superconducting);
}

template <typename Driver> void comparatorLevel(const char* kind)
{
    SimTestUnit bench;
    Driver driver;
    QVERIFY2(startCounting(bench, driver, kind), qPrintable(bench.error()));
    QVERIFY(set(driver.current(), float(0.9 * ic)));

    // Pulses of about 0.45 V spread by 10%: the count falls as the level passes them.
    float previous = 1e30f;
    for (float level : {0.1f, 0.42f, 0.5f, 0.6f}) {
        QVERIFY(set(driver.cmpReferenceLevel(), level));
        const float counts = settledCounts(driver);
        QVERIFY2(counts < previous * 0.9f, qPrintable(QStringLiteral("level %1: %2 counts after %3")
                                                          .arg(level)
                                                          .arg(counts)
                                                          .arg(previous)));
        previous = counts;
    }
    QVERIFY(previous < 100);

    // Close to the baseline the amplifier noise triggers the comparator far more
    // often than photons do; the dead time caps the rate.
    QVERIFY(set(driver.cmpReferenceLevel(), 0.1f));
    const float pulses = settledCounts(driver);
    QVERIFY(set(driver.cmpReferenceLevel(), 0.02f));
    const float noise = settledCounts(driver);
    QVERIFY2(noise > 10 * pulses, qPrintable(QStringLiteral("%1 vs %2").arg(noise).arg(pulses)));
    QVERIFY(noise < period / 1e-7f);
}

template <typename Driver> void switches(const char* kind, int gateBit)
{
    SimTestUnit bench;
    Driver driver;
    QVERIFY2(startCounting(bench, driver, kind), qPrintable(bench.error()));
    QVERIFY(set(driver.current(), float(0.9 * ic)));
    const float counting = settledCounts(driver);
    QVERIFY(counting > 1000);

    const quint8 on = countingStatus<Driver>();
    for (int bit : {2, 4, 5, gateBit}) {
        if (bit < 0)
            continue;
        QVERIFY(setStatus(driver, quint8(on & ~(1u << bit))));
        QVERIFY2(settledCounts(driver) < 5, qPrintable(QStringLiteral("bit %1 off").arg(bit)));
    }

    // The single-bit setters change one bit and keep the others, reserved ones included.
    QVERIFY(setStatus(driver, quint8(on | 0x81)));
    QVERIFY(set(driver.counterEnable(), false));
    QCOMPARE(int(value(driver.status()).byte), int((on | 0x81) & ~0x20));
    QVERIFY(settledCounts(driver) == 0);
    QVERIFY(set(driver.counterEnable(), true));
    QVERIFY(set(driver.shortEnable(), true));
    QCOMPARE(int(value(driver.status()).byte), int(on | 0x81 | 0x02));
    // Shorted: the source still drives its current, through the short.
    QVERIFY(std::abs(value(driver.current()) - 0.9 * ic) < 0.05 * ic);
    QVERIFY(std::abs(voltageOf(driver)) < 1e-3f);
    QVERIFY(settledCounts(driver) < 5);

    // A reboot starts over: detector shorted, no bias.
    QVERIFY(run(driver.reboot()));
    QCOMPARE(int(value(driver.status()).byte), 0x06);
    QVERIFY(std::abs(value(driver.current())) < 0.1e-6f);
}

} // namespace

class TestSimSspd : public QObject
{
    Q_OBJECT

private slots:
    void countsRiseWithBiasAndCollapseWhenLatched_data();
    void countsRiseWithBiasAndCollapseWhenLatched();
    void countsFallWithComparatorLevel_data();
    void countsFallWithComparatorLevel();
    void switchesGateTheCounts_data();
    void switchesGateTheCounts();
    void highFrequencyModeWidensTheNoise();
    void countsFollowTheTimeConstant();
    void autoResetRecoversLatchedDetector();
    void currentMonitorSeesTheDetectorLine();
    void wrongDacConstantsShowInReadings();
    void singleConstantsAndRecordAgree();
    void writtenEepromSurvivesRestart();
    void crateKeysShapeTheDetector();
};

void TestSimSspd::countsRiseWithBiasAndCollapseWhenLatched_data()
{
    QTest::addColumn<int>("modification");
    QTest::newRow("M0") << 0;
    QTest::newRow("M1") << 1;
}

void TestSimSspd::countsRiseWithBiasAndCollapseWhenLatched()
{
    QFETCH(int, modification);
    if (modification == 0)
        biasAndLatching<SspdDriverM0>("LC4SDM0");
    else
        biasAndLatching<SspdDriverM1>("LC4SDM1");
}

void TestSimSspd::countsFallWithComparatorLevel_data()
{
    countsRiseWithBiasAndCollapseWhenLatched_data();
}

void TestSimSspd::countsFallWithComparatorLevel()
{
    QFETCH(int, modification);
    if (modification == 0)
        comparatorLevel<SspdDriverM0>("LC4SDM0");
    else
        comparatorLevel<SspdDriverM1>("LC4SDM1");
}

void TestSimSspd::switchesGateTheCounts_data()
{
    countsRiseWithBiasAndCollapseWhenLatched_data();
}

void TestSimSspd::switchesGateTheCounts()
{
    QFETCH(int, modification);
    // On M0 the RF key also gates the detector's pulses; M1 has no such switch.
    if (modification == 0)
        switches<SspdDriverM0>("LC4SDM0", LC4SDM0_Status_t::rfKeyEnableBit);
    else
        switches<SspdDriverM1>("LC4SDM1", -1);
}

void TestSimSspd::highFrequencyModeWidensTheNoise()
{
    SimTestUnit bench;
    SspdDriverM1 driver;
    QVERIFY2(startCounting(bench, driver, "LC4SDM1"), qPrintable(bench.error()));
    QVERIFY(set(driver.cmpReferenceLevel(), 0.1f));
    const float narrow = settledCounts(driver);
    QVERIFY(set(driver.highFrequencyModeEnable(), true));
    QCOMPARE(int(value(driver.status()).byte), 0x34 | 0x08);
    const float wide = settledCounts(driver);
    QVERIFY2(wide > 100 * (narrow + 1),
             qPrintable(QStringLiteral("%1 vs %2").arg(wide).arg(narrow)));
}

void TestSimSspd::countsFollowTheTimeConstant()
{
    SimTestUnit bench;
    SspdDriverM0 driver;
    QVERIFY2(startCounting(bench, driver, "LC4SDM0"), qPrintable(bench.error()));
    QVERIFY(set(driver.current(), float(0.9 * ic)));
    const float shortPeriod = settledCounts(driver);
    QVERIFY(set(driver.timeConst(), 4 * period));
    QCOMPARE(value(driver.timeConst()), 4 * period);
    QTest::qWait(int(2.5 * 4 * period * 1000));
    const float longPeriod = value(driver.counts());
    const double ratio = longPeriod / shortPeriod;
    QVERIFY2(ratio > 3.6 && ratio < 4.4, qPrintable(QString::number(ratio)));

    // A period the counter cannot run is refused and changes nothing.
    driver.setTimeOut(100);
    for (float bad : {0.0f, -1.0f, float(NAN)}) {
        QVERIFY(refused(driver.timeConst(), bad));
        LC4SDM0V1_Param_t params = value(driver.params());
        QCOMPARE(params.timeConst, 4 * period);
        params.timeConst = bad;
        QVERIFY(refused(driver.params(), params));
    }
    QCOMPARE(value(driver.timeConst()), 4 * period);
}

void TestSimSspd::autoResetRecoversLatchedDetector()
{
    SimTestUnit bench;
    SspdDriverM0 driver;
    QVERIFY2(startCounting(bench, driver, "LC4SDM0"), qPrintable(bench.error()));
    QVERIFY(set(driver.autoResetTimeOut(), 0.02f));
    QVERIFY(set(driver.autoResetAlarmsCounts(), 0u));
    // A bias spike latches the detector; back at the working point it stays latched.
    QVERIFY(set(driver.current(), float(1.2 * ic)));
    QVERIFY(set(driver.current(), float(0.9 * ic)));
    QVERIFY(voltageOf(driver) > 0.01f);
    QVERIFY(settledCounts(driver) < 5);

    QVERIFY(set(driver.autoResetEnable(), true));
    QTRY_VERIFY(std::abs(voltageOf(driver)) < 1e-3f);
    QVERIFY(settledCounts(driver) > 1000);
    QCOMPARE(value(driver.autoResetAlarmsCounts()), 1u);
    QCOMPARE(value(driver.params()).autoResetAlarmsCounts, 1u);
}

void TestSimSspd::currentMonitorSeesTheDetectorLine()
{
    SimTestUnit bench;
    SspdDriverM1 driver;
    QVERIFY2(bench.start(R"({"address":1,"kind":"LC4SDM1"})"), qPrintable(bench.error()));
    bench.attach(&driver, 1);
    QVERIFY(setStatus(driver, 0x34));
    QVERIFY(set(driver.current(), 12e-6f));
    LC4SDM1_Data_t data = value(driver.data());
    QVERIFY2(std::abs(data.current - 12e-6f) < 0.3e-6f, qPrintable(QString::number(data.current)));
    QVERIFY2(std::abs(data.currentMonitor - 12e-6f) < 0.3e-6f,
             qPrintable(QString::number(data.currentMonitor)));
    QVERIFY(std::abs(value(driver.currentMonitor()) - data.currentMonitor) < 0.05e-6f);
    QVERIFY(set(driver.shortEnable(), true));
    data = value(driver.data());
    QVERIFY(std::abs(data.current - 12e-6f) < 0.3e-6f);
    QVERIFY(std::abs(data.currentMonitor) < 0.2e-6f);
}

void TestSimSspd::wrongDacConstantsShowInReadings()
{
    SimTestUnit bench;
    SspdDriverM0 driver;
    QVERIFY2(bench.start(R"({"address":1,"kind":"LC4SDM0"})"), qPrintable(bench.error()));
    bench.attach(&driver, 1);
    QVERIFY(set(driver.PIDEnableStatus(), false));
    QVERIFY(set(driver.current(), 10e-6f));
    // Uncalibrated, a module is off by its converters' errors only.
    QVERIFY2(std::abs(value(driver.current()) - 10e-6f) < 0.5e-6f,
             qPrintable(QString::number(value(driver.current()))));

    const LC4SDM0V1_EEPROM_Const_t good = value(driver.eepromConst());
    LC4SDM0V1_EEPROM_Const_t wrong = good;
    wrong.currentDacCoeff.first *= 1.5f;
    QVERIFY(set(driver.eepromConst(), wrong));
    const float open = value(driver.current());
    QVERIFY2(std::abs(open - 15e-6f) < 0.8e-6f, qPrintable(QString::number(open)));

    // The regulation loop trusts the ADC line and hides a wrong DAC line.
    QVERIFY(set(driver.PIDEnableStatus(), true));
    QVERIFY(value(driver.PIDEnableStatus()));
    QVERIFY(std::abs(value(driver.current()) - 10e-6f) < 0.05e-6f);
    // ...but not a wrong ADC line: the reading obeys it, the detector sees the truth.
    LC4SDM0V1_EEPROM_Const_t wrongAdc = good;
    wrongAdc.currentAdcCoeff.first *= 2;
    wrongAdc.currentAdcCoeff.second *= 2;
    QVERIFY(set(driver.eepromConst(), wrongAdc));
    QVERIFY(set(driver.PIDEnableStatus(), false));
    QVERIFY(std::abs(value(driver.current()) - 20e-6f) < 1e-6f);

    QVERIFY(set(driver.eepromConst(), good));
    QVERIFY(std::abs(value(driver.current()) - 10e-6f) < 0.5e-6f);
}

void TestSimSspd::singleConstantsAndRecordAgree()
{
    SimTestUnit bench;
    SspdDriverM1 driver;
    QVERIFY2(bench.start(R"({"address":2,"kind":"LC4SDM1"})"), qPrintable(bench.error()));
    bench.attach(&driver, 2);
    const pair_t<float> lines[] = {
        {1.5f, 2.5f}, {3.5f, 4.5f}, {5.5f, 6.5f}, {7.5f, 8.5f}, {9.5f, 10.5f}};
    QVERIFY(set(driver.currentAdcCoeff(), lines[0]));
    QVERIFY(set(driver.voltageAdcCoeff(), lines[1]));
    QVERIFY(set(driver.currentDacCoeff(), lines[2]));
    QVERIFY(set(driver.currentMonitorAdcCoeff(), lines[3]));
    QVERIFY(set(driver.cmpReferenceCoeff(), lines[4]));
    QVERIFY(set(driver.pulseWidthCoeff(), 2e-8f));
    const LC4SDM1_EEPROM_Const_t record = value(driver.eepromConst());
    QCOMPARE(record.currentAdcCoeff.first, 1.5f);
    QCOMPARE(record.voltageAdcCoeff.second, 4.5f);
    QCOMPARE(record.currentDacCoeff.first, 5.5f);
    QCOMPARE(record.currentMonitorAdcCoeff.second, 8.5f);
    QCOMPARE(record.pulseWidthCoeff, 2e-8f);
    QCOMPARE(record.cmpReferenceCoeff.first, 9.5f);

    LC4SDM1_EEPROM_Const_t changed = record;
    changed.cmpReferenceCoeff = {11.5f, 12.5f};
    changed.pulseWidthCoeff = 3e-8f;
    QVERIFY(set(driver.eepromConst(), changed));
    QCOMPARE(value(driver.cmpReferenceCoeff()).second, 12.5f);
    QCOMPARE(value(driver.pulseWidthCoeff()), 3e-8f);
    QCOMPARE(value(driver.currentMonitorAdcCoeff()).first, 7.5f);

    // The parameter record and its single values are one state too.
    QVERIFY(set(driver.cmpReferenceLevel(), 0.35f));
    QVERIFY(set(driver.autoResetThreshold(), 0.015f));
    const LC4SDM1_Param_t params = value(driver.params());
    QCOMPARE(params.cmpReferenceLevel, 0.35f);
    QCOMPARE(params.autoResetThreshold, 0.015f);
}

void TestSimSspd::writtenEepromSurvivesRestart()
{
    SimTestUnit bench;
    const QStringList state{"--state", bench.path("state.json")};
    const QByteArray crate = R"({"address":1,"kind":"LC4SDM0"})";
    LC4SDM0V1_EEPROM_Const_t written{};
    {
        QVERIFY2(bench.start(crate, state), qPrintable(bench.error()));
        SspdDriverM0 driver;
        bench.attach(&driver, 1);
        written = value(driver.eepromConst());
        written.voltageAdcCoeff = {3.2e-5f, -1.5e-4f};
        QVERIFY(set(driver.eepromConst(), written));
        QVERIFY(run(driver.writeEeprom()));
        // Working constants changed after the write are lost on restart.
        QVERIFY(set(driver.currentDacCoeff(), pair_t<float>{1, 0}));
    }
    QVERIFY2(bench.start(crate, state), qPrintable(bench.error()));
    SspdDriverM0 driver;
    bench.attach(&driver, 1);
    const LC4SDM0V1_EEPROM_Const_t read = value(driver.eepromConst());
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(&read), sizeof(read)),
             QByteArray(reinterpret_cast<const char*>(&written), sizeof(written)));
}

void TestSimSspd::crateKeysShapeTheDetector()
{
    // A detector with a higher critical current is still superconducting at 30 uA.
    SimTestUnit bench;
    SspdDriverM0 driver;
    QVERIFY2(startCounting(bench, driver, "LC4SDM0",
                           R"(,"criticalCurrent":40e-6,"darkCounts":0,"photonRate":2e4)"),
             qPrintable(bench.error()));
    QVERIFY(set(driver.current(), 36e-6f));
    QVERIFY(std::abs(voltageOf(driver)) < 1e-3f);
    const float counts = settledCounts(driver);
    QVERIFY2(counts > 0.7f * 2e4f * period && counts < 1.3f * 2e4f * period,
             qPrintable(QString::number(counts)));

    // A plain resistor in the detector's place: ohmic at any current, never a count.
    SimTestUnit resistor;
    SspdDriverM0 load;
    QVERIFY2(startCounting(resistor, load, "LC4SDM0", R"(,"loadResistance":1000)"),
             qPrintable(resistor.error()));
    QVERIFY(set(load.current(), 50e-6f));
    QVERIFY2(std::abs(voltageOf(load) - 50e-6f * 1010) < 1e-3f,
             qPrintable(QString::number(voltageOf(load))));
    QVERIFY(settledCounts(load) < 5);

    SimTestUnit other;
    for (const QByteArray& bad :
         {QByteArray(R"(,"criticalCurrent":-1)"), QByteArray(R"(,"criticalCurent":2e-5)"),
          QByteArray(R"(,"gapVoltage":2e-3)"), QByteArray(R"(,"darkCounts":"many")")}) {
        QVERIFY(!other.start(R"({"address":1,"kind":"LC4SDM0")" + bad + "}"));
        QVERIFY2(other.error().contains(bad.mid(2, bad.indexOf(':') - 3)),
                 qPrintable(other.error()));
    }
}

QTEST_GUILESS_MAIN(TestSimSspd)
#include "tst_simsspd.moc"
