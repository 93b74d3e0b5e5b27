// Every mode of every module kind calibrated end to end: lc-simulator in its own
// process, its converters off by known errors, its reference meter read through
// libvisa32, and the tool's own calibrators. Before the run the module is visibly
// off, after it within 0.05 % of full scale; a run never writes the EEPROM, and a
// stopped run leaves the module as it found it.
#include "benchsupport.h"
#include "cagilent34401avisainterface.h"
#include "commoncalibrator.h"
#include "heaterdriverm0.h"
#include "lc4tdm1calibrator.h"
#include "lctcpsocketiointerface.h"
#include "moduletypetable.h"
#include "sisbiassourcedriverm0.h"
#include "siscontrollinedriverm0.h"
#include "sspddriverm0.h"
#include "sspddriverm1.h"
#include "tempdriverm0.h"
#include "tempdriverm1.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int attempts = 5;
constexpr int points = 200;
constexpr int stopAtPoint = 50;
// The simulated module settles at once; the waits are kept, a hundredth as long.
constexpr double timeScale = 0.01;
constexpr int meterIntegrationMs = 2;
constexpr int readingsPerPoint = 4;
constexpr double beforeGoal = 0.3e-2;
constexpr double afterGoal = 0.05e-2;
constexpr double restoredTolerance = 0.01e-2;

// One calibration mode of one kind, with how the simulated meter is wired to it and
// the range it is checked over.
struct ModeCase
{
    const char* kind;
    int mode;
    const char* name;
    const char* output; // the meter's module output
    double shunt;       // ohms; 0: the meter's current input
    // More keys of the module's crate entry: its calibration load.
    const char* crateKeys;
    int errorSign;
    double fullScale; // of what the meter measures
    bool bipolar;
    // Meter units per unit of the set value (a load where the DAC drives a current
    // into a resistor and the meter reads its voltage).
    double meterPerSet;
    bool checksSet;     // the mode fits the DAC line
    bool checksReading; // the mode fits the module's reading
    // The mode's DAC line acts only with regulation off; in normal operation the
    // loop follows another line.
    bool setOpenLoop;
    // How closely two measurements of the same point, each the mean of four
    // readings, agree in % of full scale: 1.3 to 2 times the largest difference of
    // 20 crates, set by the meter's steps and noise on its range (10 nA on the
    // 10 mA current range, a quarter of it in a mean: three such steps for 30 uA;
    // 100 nV on the 100 mV range for the shunt's 0.5 mV) and by the modules' ADC
    // codes (0.003 % to 0.004 % of full scale each).
    double agreementPercent = 0.008;
};

const char* const sspdLoad = R"("loadResistance":1e4)";
constexpr double sspdVolts = 1e4 + 10; // the load and the cryostat wiring
const char* const pressureLoad = R"("calibrationLoad":155e3)";
const char* const sensorLoad = R"("calibrationLoad":84e3)";
constexpr double sensorAdcRange = 65535 * 4e-5;

const ModeCase cases[] = {
    {"LC4SDM0", 0, "U mode", "voltage", 0, sspdLoad, 1, 1.024, true, sspdVolts, false, true, false},
    {"LC4SDM0", 1, "I mode", "current", 0, sspdLoad, 1, 100e-6, true, 1, true, true, false},
    {"LC4SDM1", 0, "U mode", "voltage", 0, sspdLoad, -1, 1.024, true, sspdVolts, false, true,
     false},
    {"LC4SDM1", 1, "I monitor mode", "current", 0, sspdLoad, -1, 100e-6, true, 1, true, true, true},
    {"LC4SDM1", 2, "I mode", "current", 0, sspdLoad, -1, 100e-6, true, 1, true, true, false},
    // The output left open but for the meter; in I mode the current flows through the
    // meter's 1 ohm shunt and the meter reads the voltage across it.
    {"LC4BSM0", 0, "U mode", "voltage", 0, R"("loadResistance":1e6)", 1, 30e-3, true, 1, true, true,
     false},
    {"LC4BSM0", 1, "I mode", "current", 1, R"("loadResistance":1)", 1, 0.5e-3, true, 1, true, true,
     false, 0.02},
    {"LC4CLM0", 0, "I mode", "current", 0, "", -1, 0.05, true, 1, true, true, false, 0.01},
    {"LC4HTM0", 0, "I mode", "current", 0, "", 1, 0.1, true, 1, true, true, false, 0.01},
    {"LC4TDM0", 0, "Vp+", "pressureVoltageP", 0, pressureLoad, 1, 5.0, false, 155e3, false, true,
     false},
    {"LC4TDM0", 1, "Vp-", "pressureVoltageN", 0, pressureLoad, -1, 5.0, false, 155e3, false, true,
     false},
    {"LC4TDM0", 2, "Vt", "voltage", 0, sensorLoad, 1, sensorAdcRange, false, 84e3, false, true,
     false},
    {"LC4TDM0", 3, "It", "current", 0, "", -1, 30e-6, false, 1, true, true, false, 0.03},
    {"LC4TDM1", 0, "U mode", "voltage0", 0, sensorLoad, -1, sensorAdcRange, false, 84e3, false,
     true, false},
    {"LC4TDM1", 1, "I mode", "current0", 0, "", 1, 30e-6, false, 1, true, false, false, 0.03},
};

// The largest errors over the set-points, as fractions of full scale.
struct Errors
{
    double set = 0;
    double reading = 0;
};

struct Result
{
    const ModeCase* mode;
    Errors before;
    Errors after;
    qint64 stopMs;
};

QList<Result> results;

// A random crate's worst errors of one mode, in % of full scale.
struct CrateResult
{
    const ModeCase* mode;
    double fullScale = 0; // the run's, which the errors are relative to
    double asFound = 0;
    double asLeft = 0;
    double measured = 0;     // the test's own measurement after the run
    double disagreement = 0; // between that and the run's as-left table
};
QList<CrateResult> crateResults;

// Crates with random converter errors: gains off by 2.5 to 5 %, zeros by 60 to
// 120 codes, each converter's sign drawn from the module's UDID.
constexpr double crateGainError = 0.05;
constexpr double crateZeroError = 120;
quint32 crateSeed = 0;

// The UDID of a crate's module of a kind: the same for every mode of that module.
QByteArray crateUdid(int crate, const char* kind)
{
    return QCryptographicHash::hash(QByteArray::number(crateSeed) + '/' +
                                        QByteArray::number(crate) + '/' + kind,
                                    QCryptographicHash::Sha1)
        .left(12)
        .toHex();
}

template <typename Driver> QByteArray recordBytes(CommonDriver* driver)
{
    bool ok = false;
    const auto record =
        static_cast<Driver*>(driver)->eepromConst()->getValueSyncExact(&ok, attempts);
    return ok ? DriverValueCodec<std::decay_t<decltype(record)>>::encode(record) : QByteArray();
}

// The module's calibration constants as bytes; empty when they cannot be read.
QByteArray constants(LC4DriverType type, CommonDriver* driver)
{
    switch (type) {
    case SspdM0:
        return recordBytes<SspdDriverM0>(driver);
    case SspdM1:
        return recordBytes<SspdDriverM1>(driver);
    case TempM0:
        return recordBytes<TempDriverM0>(driver);
    case HeaterM0:
        return recordBytes<HeaterDriverM0>(driver);
    case ControlLineM0:
        return recordBytes<SisControlLineDriverM0>(driver);
    case BiasSourceM0:
        return recordBytes<SisBiasSourceDriverM0>(driver);
    case TempM1: {
        auto* m1 = static_cast<TempDriverM1*>(driver);
        QByteArray bytes;
        if (!m1->readEepromCoeffs())
            return bytes;
        for (quint8 ch = 0; ch < TempDriverM1::channels; ++ch)
            bytes += DriverValueCodec<TDM1_EepromCoeff>::encode(m1->eepromCoeff(ch));
        return bytes;
    }
    case UnknownType:
        break;
    }
    return QByteArray();
}

template <typename Property, typename Value> bool put(Property* property, Value value)
{
    bool ok = false;
    property->setValueSync(value, &ok, attempts);
    return ok;
}

// What an operator does to use the output the mode calibrated, from normal
// operation as the run leaves it; openLoop also switches regulation off. The
// temperature drivers' inputs see their sensors in normal operation, so their
// voltage modes are checked on the calibration connector's load.
bool prepare(LC4DriverType type, CommonDriver* driver, const ModeCase& mode, bool openLoop)
{
    switch (type) {
    case SspdM0: {
        auto* sspd = static_cast<SspdDriverM0*>(driver);
        return put(sspd->shortEnable(), false) && put(sspd->PIDEnableStatus(), !openLoop);
    }
    case SspdM1: {
        auto* sspd = static_cast<SspdDriverM1*>(driver);
        return put(sspd->shortEnable(), false) && put(sspd->PIDEnableStatus(), !openLoop);
    }
    case BiasSourceM0: {
        auto* bias = static_cast<SisBiasSourceDriverM0*>(driver);
        return put(bias->mode(), char(mode.mode == 1 ? 0 : 1)) && put(bias->shortEnable(), false) &&
               put(bias->pidEnable(), !openLoop);
    }
    case ControlLineM0:
        return put(static_cast<SisControlLineDriverM0*>(driver)->shortEnable(), false);
    case HeaterM0:
        return put(static_cast<HeaterDriverM0*>(driver)->mode(), char(0));
    case TempM0:
        return put(static_cast<TempDriverM0*>(driver)->commutator(), mode.mode != 3);
    case TempM1: {
        auto* m1 = static_cast<TempDriverM1*>(driver);
        return m1->readDefaultParams() &&
               put(m1->switcherMode(),
                   mode.mode == 0 ? cmd::LC4TDM1_SwitcherCalibration : cmd::LC4TDM1_SwitcherNormal);
    }
    case UnknownType:
        break;
    }
    return false;
}

QString percent(double fraction)
{
    return QString::number(fraction * 100, 'f', fraction < 1e-3 ? 4 : 3);
}

} // namespace

class TestCalibrationEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The run logs its first line fit; the test's own table is what matters.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        CommonCalibrator::setTimeScale(timeScale);
    }
    void everyModeCalibrates_data();
    void everyModeCalibrates();
    void absurdMeterNeverCompletes_data();
    void absurdMeterNeverCompletes();
    void randomCratesVerify_data();
    void randomCratesVerify();
    void cleanup();
    void cleanupTestCase();

private:
    // The mode's module with its converters off by exactly 2 % and 40 codes, or by
    // the errors that the UDID draws within the crate's bounds.
    bool startUnit(QByteArray const& udid = QByteArray());
    bool prepareOutput(bool openLoop) { return prepare(m_type, m_driver.get(), *m_mode, openLoop); }
    double meterReading(bool* ok);
    // The constants the module holds after a reboot, from its EEPROM; empty when
    // the reboot or the read failed.
    QByteArray constantsAfterReboot()
    {
        bool ok = false;
        m_driver->reboot()->executeSync(&ok, attempts);
        return ok ? constants(m_type, m_driver.get()) : QByteArray();
    }
    double moduleReading(bool* ok);
    // The largest errors over the set-points, the set side with regulation off
    // where the mode's DAC line only acts so; false when an exchange failed.
    bool errorsOverRange(Errors* errors);
    bool sweepTargets(Errors* errors);

    const ModeCase* m_mode = nullptr;
    QStringList m_simulatorArguments;
    LC4DriverType m_type = UnknownType;
    QTemporaryDir m_dir;
    QProcess m_simulator;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
    std::unique_ptr<CommonDriver> m_driver;
    std::unique_ptr<CommonCalibrator> m_calibrator;
    std::unique_ptr<cAgilent34401aVisaInterface> m_meter;
    QStringList m_messages;
    int m_finished = 0;
};

void TestCalibrationEndToEnd::everyModeCalibrates_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(cases)); ++i)
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(cases[i].kind, cases[i].name))) << i;
}

bool TestCalibrationEndToEnd::startUnit(QByteArray const& udid)
{
    const ModeCase& mode = *m_mode;
    const QString crate = m_dir.filePath(QStringLiteral("crate.json"));
    QFile file(crate);
    const QByteArray keys =
        QByteArray(mode.crateKeys).isEmpty() ? QByteArray() : QByteArray(",") + mode.crateKeys;
    const QByteArray shunt =
        mode.shunt > 0 ? QByteArray(R"(,"shunt":)") + QByteArray::number(mode.shunt) : QByteArray();
    const QByteArray errors =
        udid.isEmpty()
            ? R"("gainError":0.02,"zeroError":40,"errorSign":)" + QByteArray::number(mode.errorSign)
            : R"("gainError":)" + QByteArray::number(crateGainError) + R"(,"zeroError":)" +
                  QByteArray::number(crateZeroError) + R"(,"udid":")" + udid + '"';
    const QByteArray json = QByteArray(R"({"modules":[{"address":1,"kind":")") + mode.kind + "\"," +
                            errors + keys + R"(}],"meter":{"address":1,"output":")" + mode.output +
                            "\"" + shunt + "}}";
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size())
        return false;
    file.close();
    quint16 port = 0;
    quint16 meterPort = 0;
    QString error;
    if (!startSimulatorWithMeter(m_simulator, LC_SIMULATOR_BINARY,
                                 QStringList{QStringLiteral("--crate"), crate,
                                             QStringLiteral("--meter-integration"),
                                             QString::number(meterIntegrationMs)} +
                                     m_simulatorArguments,
                                 &port, &meterPort, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    m_link = std::make_unique<lcTcpSocketIOInterface>();
    m_link->setAddress(QHostAddress(QHostAddress::LocalHost));
    m_link->setPort(port);
    m_meter = std::make_unique<cAgilent34401aVisaInterface>(QStringList{LC_VISA_LIBRARY});
    m_meter->setVisaDeviceName(QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(meterPort));

    m_type = driverTypeOf(QString::fromLatin1(mode.kind));
    const ModuleKind* kind = moduleKind(m_type);
    m_driver.reset(kind->createDriver(nullptr));
    m_driver->setIOInterface(m_link.get());
    m_driver->setDevAddress(1);
    m_calibrator.reset(kind->createCalibrator(nullptr));
    m_calibrator->setDriver(m_driver.get());
    m_calibrator->setAgilent(m_meter.get());
    m_calibrator->setModeIndex(mode.mode);
    m_calibrator->setPointCount(points);
    m_calibrator->performAgilent();
    connect(m_calibrator.get(), &CommonCalibrator::message, this,
            [this](QString const& text) { m_messages << text; });
    connect(m_calibrator.get(), &CommonCalibrator::finished, this, [this] { ++m_finished; });
    return true;
}

void TestCalibrationEndToEnd::cleanup()
{
    m_calibrator.reset();
    m_driver.reset();
    m_link.reset();
    m_meter.reset();
    stopProcess(m_simulator);
    m_messages.clear();
    m_finished = 0;
    m_simulatorArguments.clear();
    CommonCalibrator::setTimeScale(timeScale);
}

double TestCalibrationEndToEnd::meterReading(bool* ok)
{
    double sum = 0;
    *ok = true;
    for (int i = 0; i < readingsPerPoint && *ok; ++i)
        sum += m_meter->singleRead(ok);
    return sum / readingsPerPoint;
}

double TestCalibrationEndToEnd::moduleReading(bool* ok)
{
    double sum = 0;
    *ok = true;
    for (int i = 0; i < readingsPerPoint && *ok; ++i)
        sum += m_calibrator->readAdcValue(ok);
    return sum / readingsPerPoint;
}

bool TestCalibrationEndToEnd::sweepTargets(Errors* errors)
{
    const ModeCase& mode = *m_mode;
    // -80 % to +80 % in steps of 20 %, or 10 % to 90 % in steps of 10 %.
    for (int i = 0; i < 9; ++i) {
        const double target = mode.fullScale * (mode.bipolar ? -0.8 + 0.2 * i : 0.1 + 0.1 * i);
        bool meterOk = false;
        bool readingOk = false;
        // The calibrator's own hooks set and read what its mode calibrates.
        if (!m_calibrator->setDacValue(target / mode.meterPerSet))
            return false;
        const double meter = meterReading(&meterOk);
        const double reading = moduleReading(&readingOk) * (mode.shunt > 0 ? mode.shunt : 1.0);
        if (!meterOk || !readingOk)
            return false;
        errors->set = qMax(errors->set, qAbs(meter - target) / mode.fullScale);
        errors->reading = qMax(errors->reading, qAbs(reading - meter) / mode.fullScale);
    }
    return true;
}

bool TestCalibrationEndToEnd::errorsOverRange(Errors* errors)
{
    *errors = Errors();
    if (!prepareOutput(false) || !sweepTargets(errors))
        return false;
    if (!m_mode->setOpenLoop)
        return true;
    Errors openLoop;
    if (!prepareOutput(true) || !sweepTargets(&openLoop) || !prepareOutput(false))
        return false;
    errors->set = openLoop.set;
    return true;
}

void TestCalibrationEndToEnd::everyModeCalibrates()
{
    QFETCH(int, index);
    m_mode = &cases[index];
    const ModeCase& mode = *m_mode;
    QVERIFY(startUnit());
    const QByteArray original = constants(m_type, m_driver.get());
    QVERIFY(!original.isEmpty());

    // The output at the default value, with the constants the module came with.
    bool ok = false;
    QVERIFY(prepareOutput(false));
    QVERIFY(m_calibrator->setDacValue(m_calibrator->defaultValue()));
    const double defaultOutput = meterReading(&ok);
    QVERIFY(ok);

    Result result{&mode, {}, {}, -1};
    QVERIFY(errorsOverRange(&result.before));
    const double worstBefore = qMax(mode.checksSet ? result.before.set : 0.0,
                                    mode.checksReading ? result.before.reading : 0.0);
    QVERIFY2(worstBefore > beforeGoal, qPrintable(percent(worstBefore)));

    // Stopped at point 50, during a settling wait of full length.
    QElapsedTimer sinceStop;
    const auto stopper = connect(m_calibrator.get(), &CommonCalibrator::addPoint, this,
                                 [this, &sinceStop](int graph) {
                                     if (graph != 1 || m_calibrator->data().size() != stopAtPoint)
                                         return;
                                     CommonCalibrator::setTimeScale(1.0);
                                     QTimer::singleShot(100, this, [this, &sinceStop] {
                                         sinceStop.start();
                                         m_calibrator->terminate();
                                     });
                                 });
    m_calibrator->start();
    result.stopMs = sinceStop.isValid() ? sinceStop.elapsed() : -1;
    disconnect(stopper);
    CommonCalibrator::setTimeScale(timeScale);
    QCOMPARE(m_finished, 1);
    QVERIFY2(result.stopMs >= 0 && result.stopMs < 1000,
             qPrintable(QString::number(result.stopMs)));
    QCOMPARE(m_calibrator->data().size(), stopAtPoint);
    QVERIFY(!m_messages.contains(QStringLiteral("Calibration completed")));
    QCOMPARE(constants(m_type, m_driver.get()), original);
    QVERIFY(prepareOutput(false));
    const double restoredOutput = meterReading(&ok);
    QVERIFY(ok);
    QVERIFY2(qAbs(restoredOutput - defaultOutput) < restoredTolerance * mode.fullScale,
             qPrintable(QStringLiteral("%1 after the stop, %2 before the run")
                            .arg(restoredOutput)
                            .arg(defaultOutput)));

    m_messages.clear();
    m_calibrator->start();
    QCOMPARE(m_finished, 2);
    QCOMPARE(m_messages.value(m_messages.size() - 1), QStringLiteral("Calibration completed"));
    QCOMPARE(m_calibrator->data().size(), points);
    const QByteArray calibrated = constants(m_type, m_driver.get());
    QVERIFY(!calibrated.isEmpty() && calibrated != original);

    QVERIFY(errorsOverRange(&result.after));
    results << result;
    if (mode.checksSet)
        QVERIFY2(result.after.set < afterGoal, qPrintable(percent(result.after.set)));
    if (mode.checksReading)
        QVERIFY2(result.after.reading < afterGoal, qPrintable(percent(result.after.reading)));

    // Only "write EEPROM" stores constants: a rebooted module is back to the old ones.
    QCOMPARE(constantsAfterReboot(), original);
}

void TestCalibrationEndToEnd::absurdMeterNeverCompletes_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("error");
    // A broken range relay: readings of 1e25 and more.
    QTest::newRow("1e30 times") << "1e30"
                                << "ERROR: the multimeter read ";
    // In range, but no line of the module's converters.
    QTest::newRow("three quarters") << "0.75"
                                    << "ERROR: the fitted DAC line";
}

void TestCalibrationEndToEnd::absurdMeterNeverCompletes()
{
    QFETCH(QString, scale);
    QFETCH(QString, error);
    m_mode = &cases[1]; // the SSPD driver M0 in I mode
    m_simulatorArguments = QStringList{QStringLiteral("--meter-scale"), scale};
    QVERIFY(startUnit());
    const QByteArray original = constants(m_type, m_driver.get());
    QVERIFY(!original.isEmpty());
    m_calibrator->start();
    QCOMPARE(m_finished, 1);
    QVERIFY(!m_messages.contains(QStringLiteral("Calibration completed")));
    QVERIFY2(m_messages.value(m_messages.size() - 1).startsWith(error),
             qPrintable(m_messages.join('\n')));
    QCOMPARE(constants(m_type, m_driver.get()), original);
    QCOMPARE(constantsAfterReboot(), original);
}

void TestCalibrationEndToEnd::randomCratesVerify_data()
{
    QTest::addColumn<int>("crate");
    QTest::addColumn<int>("index");
    // Run by its own ctest entry, which names it.
    if (!QCoreApplication::arguments().contains(QStringLiteral("randomCratesVerify"))) {
        QTest::newRow("not named") << -1 << 0;
        return;
    }
    bool given = false;
    crateSeed = qEnvironmentVariable("LC_CRATE_SEED").toUInt(&given);
    if (!given)
        crateSeed = QRandomGenerator::global()->generate();
    const int crates = qMax(1, qEnvironmentVariableIntValue("LC_CRATES"));
    const int count = qEnvironmentVariableIsSet("LC_CRATES") ? crates : 3;
    std::printf("random crates: %d, seed %u (LC_CRATE_SEED=%u replays them)\n", count, crateSeed,
                crateSeed);
    for (int crate = 0; crate < count; ++crate)
        for (int i = 0; i < int(std::size(cases)); ++i)
            QTest::addRow("crate %d %s %s", crate, cases[i].kind, cases[i].name) << crate << i;
}

void TestCalibrationEndToEnd::randomCratesVerify()
{
    QFETCH(int, crate);
    QFETCH(int, index);
    if (crate < 0)
        QSKIP("runs as tst_calibrationcrates");
    m_mode = &cases[index];
    const ModeCase& mode = *m_mode;
    QVERIFY(startUnit(crateUdid(crate, mode.kind)));
    m_calibrator->start();
    QVERIFY2(m_messages.value(m_messages.size() - 1) == QLatin1String("Calibration completed"),
             qPrintable(QStringLiteral("seed %1: ").arg(crateSeed) + m_messages.join('\n')));
    const CalibrationVerification run = m_calibrator->verification();
    QVERIFY(run.asLeftPasses());

    // The test's own measurement at the run's set-points, in the calibration state
    // the run verified in.
    CrateResult result{&mode, run.fullScale};
    QVERIFY(m_calibrator->performDriver());
    for (int i = 0; i < run.setPoints.size(); ++i) {
        QVERIFY(m_calibrator->setDacValue(run.setPoints[i]));
        bool meterOk = false;
        bool readingOk = false;
        const VerificationPoint measured{meterReading(&meterOk),
                                         run.checksReading ? moduleReading(&readingOk) : 0.0};
        QVERIFY(meterOk && (readingOk || !run.checksReading));
        const double error = run.worstError(i, measured);
        const double left = run.worstError(i, run.asLeft[i]);
        result.asFound = qMax(result.asFound, qAbs(run.worstError(i, run.asFound[i])));
        result.asLeft = qMax(result.asLeft, qAbs(left));
        result.measured = qMax(result.measured, qAbs(error));
        result.disagreement =
            qMax(result.disagreement,
                 qMax(qAbs(run.setError(i, measured) - run.setError(i, run.asLeft[i])),
                      qAbs(run.readingError(measured) - run.readingError(run.asLeft[i]))));
    }
    QVERIFY(m_calibrator->finish());
    crateResults << result;
    QVERIFY2(result.measured < afterGoal * 100,
             qPrintable(QStringLiteral("seed %1: %2 %").arg(crateSeed).arg(result.measured)));
    QVERIFY2(result.disagreement < mode.agreementPercent,
             qPrintable(QStringLiteral("seed %1: %2 %").arg(crateSeed).arg(result.disagreement)));
}

void TestCalibrationEndToEnd::cleanupTestCase()
{
    if (!crateResults.isEmpty()) {
        // The README's table of the random crates: the worst over all crates.
        std::printf("| kind | mode | full scale | as found | as left (run) | as left (test) | "
                    "largest disagreement |\n|---|---|---|---|---|---|---|\n");
        for (const ModeCase& mode : cases) {
            CrateResult worst{&mode, 0};
            int crates = 0;
            for (const CrateResult& result : qAsConst(crateResults)) {
                if (result.mode != &mode)
                    continue;
                ++crates;
                worst.fullScale = result.fullScale;
                worst.asFound = qMax(worst.asFound, result.asFound);
                worst.asLeft = qMax(worst.asLeft, result.asLeft);
                worst.measured = qMax(worst.measured, result.measured);
                worst.disagreement = qMax(worst.disagreement, result.disagreement);
            }
            if (crates > 0)
                std::printf("| %s | %s | %s | %.3f | %.4f | %.4f | %.4f |\n", mode.kind, mode.name,
                            qPrintable(QString::number(worst.fullScale, 'g', 4)), worst.asFound,
                            worst.asLeft, worst.measured, worst.disagreement);
        }
        std::printf("crates: %d, seed %u\n", int(crateResults.size() / std::size(cases)),
                    crateSeed);
        return;
    }
    // The table of the README, in % of full scale.
    std::printf("| kind | mode | full scale | before: meter - set | before: reading - meter | "
                "after: meter - set | after: reading - meter |\n|---|---|---|---|---|---|---|\n");
    const auto cell = [](bool checked, double fraction) {
        return checked ? percent(fraction) : QStringLiteral("-");
    };
    qint64 longestStop = 0;
    for (const Result& result : qAsConst(results)) {
        const ModeCase& mode = *result.mode;
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", mode.kind, mode.name,
                    qPrintable(QString::number(mode.fullScale, 'g', 4)),
                    qPrintable(cell(mode.checksSet, result.before.set)),
                    qPrintable(cell(mode.checksReading, result.before.reading)),
                    qPrintable(cell(mode.checksSet, result.after.set)),
                    qPrintable(cell(mode.checksReading, result.after.reading)));
        longestStop = qMax(longestStop, result.stopMs);
    }
    std::printf("longest time from the stop request to the end of a run: %lld ms\n",
                static_cast<long long>(longestStop));
}

QTEST_GUILESS_MAIN(TestCalibrationEndToEnd)
#include "tst_calibrationendtoend.moc"
