// lc-ctl against lc-simulator in its own process: output formats and exit codes of
// the commands, records as the driver decodes them, refusals that send nothing,
// silent modules, a counts sweep file equal to the measurer window's, and signals.
#include "ctltestsupport.h"
#include "lcframereader.h"
#include "lctcpsocketiointerface.h"
#include "measurertestsupport.h"
#include "plotorder.h"
#include "qcustomlib.h"
#include "sisbiassourcedriverm0.h"
#include "siscontrollinedriverm0.h"
#include "sspddriverm0.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>

#include <qcustomplot.h>

#include <cfloat>
#include <cstring>
#include <limits>

#include <unistd.h>

namespace {

QJsonValue jsonOf(QByteArray const& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return QJsonValue();
    return document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
}

bool samePair(QJsonValue const& json, pair_t<float> const& pair)
{
    const QJsonArray array = json.toArray();
    return array.size() == 2 && float(array.at(0).toDouble()) == pair.first &&
           float(array.at(1).toDouble()) == pair.second;
}

QString hexFrame(quint8 address, quint8 command)
{
    return QString::fromLatin1(lcEncodeFrame(address, command, 0, nullptr).toHex(' '));
}

// A running lc-ctl, for the commands that last until a signal.
class CtlRun
{
public:
    explicit CtlRun(QStringList const& arguments) { m_process.start(LC_CTL_BINARY, arguments); }
    ~CtlRun()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    bool started() { return m_process.waitForStarted(); }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    // Standard output so far; the process keeps running.
    QByteArray outputAfter(int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired())
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        m_out += m_process.readAllStandardOutput();
        return m_out;
    }
    CtlResult finish(int timeoutMs)
    {
        CtlResult result;
        QElapsedTimer clock;
        clock.start();
        if (!m_process.waitForFinished(timeoutMs))
            return result;
        result.elapsedMs = clock.elapsed();
        result.exitCode =
            m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        result.out = m_out + m_process.readAllStandardOutput();
        result.err = m_process.readAllStandardError();
        return result;
    }

private:
    QProcess m_process;
    QByteArray m_out;
};

} // namespace

class TestCtl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void infoScanAndListFormats();
    void recordsAreTheDriversDecodedValues();
    void setThenGetRoundTripsExactly();
    void everyPrintedFloatSetsTheSameBits();
    void recordErrorsNameTheModulesOwnRecord();
    void badUsageExitsTwoAndSendsNothing_data();
    void badUsageExitsTwoAndSendsNothing();
    void silentModuleOrUnitFailsWithinItsTimeOut();
    void countsSweepFileEqualsTheWindows();
    void countsSweepCsvAndInterrupt();
    void ivSweepInterruptSendsTheStopAndTheClose();
    void watchPrintsTimestampedReadingsUntilInterrupted();
    void helpAndVersion();
    void discoverListsTheUnit();
    void pointsKeepThePlotsOrder();

private:
    CtlResult ctl(QStringList const& command, int timeoutMs = 30000)
    {
        return runCtl(unitArguments(m_simulator, command), timeoutMs);
    }
    template <typename Driver> std::unique_ptr<Driver> driverAt(quint8 address)
    {
        auto driver = std::make_unique<Driver>();
        driver->setIOInterface(m_link.get());
        driver->setDevAddress(address);
        return driver;
    }

    QTemporaryDir m_settings;
    CtlSimulator m_simulator;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
    std::unique_ptr<MeasurerBench> m_bench;
};

void TestCtl::initTestCase()
{
    QVERIFY(m_settings.isValid());
    MeasurerBench::isolateSettings(m_settings);
    QVERIFY(m_simulator.start());
    m_link = std::make_unique<lcTcpSocketIOInterface>();
    m_link->setAddress(QHostAddress(QHostAddress::LocalHost));
    m_link->setPort(m_simulator.port());
    QVERIFY(m_link->initialize());
}

void TestCtl::cleanup()
{
    m_bench.reset();
}

void TestCtl::infoScanAndListFormats()
{
    // The identity as the driver reads it, line by line.
    auto driver = driverAt<CommonDriver>(3);
    QVERIFY(driver->getDeviceInfo());
    CtlResult info = ctl({"info", "3"});
    QCOMPARE(info.exitCode, 0);
    const QString udid = udidToString(driver->UDID()->currentValue());
    QVERIFY(QRegularExpression("^[0-9A-F]{4}(-[0-9A-F]{4}){5}$").match(udid).hasMatch());
    QCOMPARE(QString::fromUtf8(info.out),
             QStringLiteral("address: 3\ntype: %1\nkind: SIS bias source M0\nmodification: %2\n"
                            "hardware: %3\nfirmware: %4\ndescription: %5\nUDID: %6\n")
                 .arg(driver->deviceType()->currentValue(),
                      driver->modificationVersion()->currentValue(),
                      driver->hardwareVersion()->currentValue(),
                      driver->firmwareVersion()->currentValue(),
                      driver->deviceDescription()->currentValue(), udid));

    info = ctl({"info", "3", "--json"});
    QCOMPARE(info.exitCode, 0);
    const QJsonObject object = jsonOf(info.out).toObject();
    QCOMPARE(object.value("UDID").toString(), udid);
    QCOMPARE(object.value("address").toInt(), 3);
    QCOMPARE(object.value("type").toString(), driver->deviceType()->currentValue());

    // Every module of the crate, and nothing for the silent addresses.
    CtlResult scan = ctl({"scan", "--json", "--timeout-ms", "100"});
    QCOMPARE(scan.exitCode, 0);
    const QJsonArray modules = jsonOf(scan.out).toArray();
    QCOMPARE(modules.size(), 7);
    const QStringList kinds = {"SSPD driver M0",       "SSPD driver M1", "SIS bias source M0",
                               "SIS control line M0",  "heater M0",      "temperature driver M0",
                               "temperature driver M1"};
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(modules.at(i).toObject().value("address").toInt(), i + 1);
        QCOMPARE(modules.at(i).toObject().value("kind").toString(), kinds.at(i));
    }
    scan = ctl({"scan", "--timeout-ms", "100"});
    QCOMPARE(scan.exitCode, 0);
    QCOMPARE(scan.out.count("\n\n"), 6);
    QVERIFY(scan.out.contains("UDID: " + udid.toLatin1()));

    const CtlResult list = ctl({"list", "3"});
    QCOMPARE(list.exitCode, 0);
    const QStringList lines = QString::fromUtf8(list.out).split('\n', Qt::SkipEmptyParts);
    for (QString const& line : lines) {
        const QStringList columns = line.split('\t');
        QCOMPARE(columns.size(), 3);
        QVERIFY2(QStringList({"get", "set", "get-set"}).contains(columns.at(2)), qPrintable(line));
    }
    QVERIFY(lines.contains("sweepParams\tLC4BSM0_SWEEP_PARAMS_t\tget-set"));
    QVERIFY(lines.contains("data\tLC4BSM0_Data_t\tget"));
    QVERIFY(lines.contains("voltageLimits\tpair<float>\tget-set"));
    QVERIFY(lines.contains("sweepStop\tcommand\tset"));
    QVERIFY(lines.contains("UDID\tudid\tget"));

    // A name of another kind: refused once the kind is known, nothing set.
    const CtlResult other = ctl({"set", "3", "comparatorLevel", "0.1"});
    QCOMPARE(other.exitCode, 2);
    QVERIFY2(other.err.contains("SIS bias source M0"), other.err.constData());
}

void TestCtl::recordsAreTheDriversDecodedValues()
{
    auto sspd = driverAt<SspdDriverM0>(1);
    bool ok = false;
    const LC4SDM0V1_EEPROM_Const_t constants = sspd->eepromConst()->getValueSync(&ok, 3);
    QVERIFY(ok);
    CtlResult result = ctl({"get", "1", "eepromConst"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.endsWith("}\n"));
    QJsonObject object = jsonOf(result.out).toObject();
    QCOMPARE(object.keys(), QStringList({"cmpReferenceCoeff", "currentAdcCoeff", "currentDacCoeff",
                                         "voltageAdcCoeff"}));
    QVERIFY(samePair(object.value("currentAdcCoeff"), constants.currentAdcCoeff));
    QVERIFY(samePair(object.value("voltageAdcCoeff"), constants.voltageAdcCoeff));
    QVERIFY(samePair(object.value("currentDacCoeff"), constants.currentDacCoeff));
    QVERIFY(samePair(object.value("cmpReferenceCoeff"), constants.cmpReferenceCoeff));
    // Fields in the record's byte order, not sorted.
    QVERIFY(result.out.startsWith("{\"currentAdcCoeff\":["));

    auto source = driverAt<SisBiasSourceDriverM0>(3);
    const LC4BSM0V0_EEPROM_Const_t bias = source->eepromConst()->getValueSync(&ok, 3);
    QVERIFY(ok);
    result = ctl({"get", "3", "eepromConst"});
    QCOMPARE(result.exitCode, 0);
    object = jsonOf(result.out).toObject();
    QCOMPARE(object.size(), 9);
    QVERIFY(samePair(object.value("voltageLimits"), bias.voltageLimits));
    QCOMPARE(float(object.value("currentMonitorResistance").toDouble()),
             bias.currentMonitorResistance);
    QCOMPARE(float(object.value("voltageStep").toDouble()), bias.voltageStep);

    // Bytes as numbers; a pair alone is a two-element array.
    const LC4BSM0_Data_t data = source->data()->getValueSync(&ok, 3);
    QVERIFY(ok);
    result = ctl({"get", "3", "data"});
    object = jsonOf(result.out).toObject();
    QCOMPARE(object.keys(), QStringList({"current", "mode", "shortEnable", "voltage"}));
    QCOMPARE(object.value("mode").toInt(), int(data.mode));
    QCOMPARE(object.value("shortEnable").toInt(), int(data.shortEnable));
    result = ctl({"get", "3", "voltageLimits"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(samePair(jsonOf("[" + result.out + "]").toArray().at(0), bias.voltageLimits));
}

void TestCtl::setThenGetRoundTripsExactly()
{
    // A record in, the float nearest to each number stored, the shortest text out.
    const QByteArray params = R"({"cmpReferenceLevel":0.123456789,"timeConst":0.05,)"
                              R"("autoResetThreshold":0.0625,"autoResetTimeOut":0.3,)"
                              R"("autoResetAlarmsCounts":4294967295})";
    QCOMPARE(ctl({"set", "1", "params", params}).exitCode, 0);
    auto sspd = driverAt<SspdDriverM0>(1);
    bool ok = false;
    const LC4SDM0V1_Param_t stored = sspd->params()->getValueSync(&ok, 3);
    QVERIFY(ok);
    QCOMPARE(stored.cmpReferenceLevel, 0.123456789f);
    QCOMPARE(stored.timeConst, 0.05f);
    QCOMPARE(stored.autoResetTimeOut, 0.3f);
    QCOMPARE(stored.autoResetAlarmsCounts, 4294967295u);
    const CtlResult read = ctl({"get", "1", "params"});
    QCOMPARE(read.exitCode, 0);
    QCOMPARE(read.out, QByteArray(R"({"cmpReferenceLevel":0.12345679,"timeConst":0.05,)"
                                  R"("autoResetThreshold":0.0625,"autoResetTimeOut":0.3,)"
                                  R"("autoResetAlarmsCounts":4294967295})"
                                  "\n"));

    // Single values, a negative one among them, and a flag.
    QCOMPARE(ctl({"set", "1", "comparatorLevel", "-0.05"}).exitCode, 0);
    QCOMPARE(ctl({"get", "1", "comparatorLevel"}).out, QByteArray("-0.05\n"));
    QCOMPARE(ctl({"set", "3", "voltageLimits", "[-0.025, 0.025]"}).exitCode, 0);
    QCOMPARE(ctl({"get", "3", "voltageLimits"}).out, QByteArray("[-0.025,0.025]\n"));
    QCOMPARE(ctl({"set", "3", "shortEnable", "true"}).exitCode, 0);
    QCOMPARE(ctl({"get", "3", "shortEnable"}).out, QByteArray("true\n"));
    QCOMPARE(ctl({"set", "1", "timeConst", "0.05"}).exitCode, 0);
}

void TestCtl::everyPrintedFloatSetsTheSameBits()
{
    // The control line's step and coefficient pair keep what they are sent.
    auto line = driverAt<SisControlLineDriverM0>(4);
    const auto bitsOf = [](float value) {
        quint32 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    };
    const float values[] = {FLT_MAX,
                            -FLT_MAX,
                            std::numeric_limits<float>::denorm_min(),
                            -std::numeric_limits<float>::denorm_min(),
                            -0.0f,
                            FLT_MIN};
    bool ok = false;
    for (const float value : values) {
        line->currentStep()->setValueSync(value, &ok, 3);
        QVERIFY(ok);
        const QByteArray printed = ctl({"get", "4", "currentStep"}).out.trimmed();
        line->currentStep()->setValueSync(1.0f, &ok, 3);
        QVERIFY(ok);
        const CtlResult set = ctl({"set", "4", "currentStep", QString::fromLatin1(printed)});
        QVERIFY2(set.exitCode == 0, (printed + ": " + set.err).constData());
        QCOMPARE(bitsOf(line->currentStep()->getValueSync(&ok, 3)), bitsOf(value));

        // The same inside JSON, as a pair prints it.
        line->currentAdcCoeff()->setValueSync({value, -value}, &ok, 3);
        const QByteArray pair = ctl({"get", "4", "currentAdcCoeff"}).out.trimmed();
        line->currentAdcCoeff()->setValueSync({1.0f, 1.0f}, &ok, 3);
        QCOMPARE(ctl({"set", "4", "currentAdcCoeff", QString::fromLatin1(pair)}).exitCode, 0);
        const pair_t<float> read = line->currentAdcCoeff()->getValueSync(&ok, 3);
        QVERIFY(ok);
        QCOMPARE(bitsOf(read.first), bitsOf(value));
        QCOMPARE(bitsOf(read.second), bitsOf(-value));
    }
    // Half a unit beyond the largest float is infinity: refused.
    QCOMPARE(ctl({"set", "4", "currentStep", "3.4028236e38"}).exitCode, 2);
}

void TestCtl::recordErrorsNameTheModulesOwnRecord()
{
    const CtlResult result = ctl({"set", "4", "eepromConst", R"({"currentAdcCoeff":[1,0]})"});
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains("LC4CLM0V0_EEPROM_Const_t"), result.err.constData());
    QVERIFY2(!result.err.contains("LC4SDM0"), result.err.constData());
}

void TestCtl::badUsageExitsTwoAndSendsNothing_data()
{
    QTest::addColumn<QStringList>("command");
    const QString fields = R"({"cmpReferenceLevel":0.1,"timeConst":0.05,)"
                           R"("autoResetThreshold":1,"autoResetTimeOut":2)";
    QTest::newRow("unknown command") << QStringList{"frobnicate", "1"};
    QTest::newRow("missing name") << QStringList{"get", "1"};
    QTest::newRow("unknown name") << QStringList{"get", "1", "bogus"};
    QTest::newRow("not a number") << QStringList{"set", "1", "current", "abc"};
    QTest::newRow("beyond a float") << QStringList{"set", "1", "current", "1e39"};
    QTest::newRow("not finite") << QStringList{"set", "1", "current", "nan"};
    QTest::newRow("negative count") << QStringList{"set", "1", "autoResetAlarmsCounts", "-1"};
    QTest::newRow("count too big")
        << QStringList{"set", "1", "autoResetAlarmsCounts", "4294967296"};
    QTest::newRow("fractional count") << QStringList{"set", "1", "autoResetAlarmsCounts", "1.5"};
    QTest::newRow("not a flag") << QStringList{"set", "1", "shortEnable", "maybe"};
    QTest::newRow("malformed JSON") << QStringList{"set", "1", "params", fields};
    QTest::newRow("missing field") << QStringList{"set", "1", "params", fields + "}"};
    QTest::newRow("extra field") << QStringList{
        "set", "1", "params", fields + R"(,"autoResetAlarmsCounts":3,"spare":1})"};
    QTest::newRow("field of the wrong type") << QStringList{
        "set", "1", "params", fields.left(fields.size() - 1) + R"("x","autoResetAlarmsCounts":3})"};
    QTest::newRow("field given twice") << QStringList{
        "set", "1", "params", fields + R"(,"timeConst":0.5,"autoResetAlarmsCounts":3})"};
    QTest::newRow("field given twice inside a record of another kind") << QStringList{
        "set", "4", "eepromConst",
        R"({"currentAdcCoeff":[1,0],"currentDacCoeff":[1,0],"currentDacCoeff":[1,0],)"
        R"("currentLimits":[-1,1],"currentStep":1})"};
    QTest::newRow("pair of three") << QStringList{"set", "1", "currentAdcCoeff", "[1,2,3]"};
    QTest::newRow("value missing") << QStringList{"set", "1", "current"};
    QTest::newRow("command with a value") << QStringList{"set", "1", "reboot", "now"};
    QTest::newRow("read-only") << QStringList{"set", "1", "UDID", "0"};
    QTest::newRow("address too big") << QStringList{"get", "255", "current"};
    QTest::newRow("address not a number") << QStringList{"get", "1x", "current"};
    QTest::newRow("option of another command")
        << QStringList{"get", "1", "current", "--every", "1"};
    QTest::newRow("attempts 0") << QStringList{"get", "1", "current", "--attempts", "0"};
    QTest::newRow("no time step") << QStringList{"sweep-iv", "3", "--voltage", "0:5:0.5"};
    QTest::newRow("step away from stop")
        << QStringList{"sweep-iv", "3", "--voltage", "0:5:-0.5", "--time-step", "5"};
    QTest::newRow("both sweeps") << QStringList{"sweep-iv",  "3",       "--voltage",   "0:5:0.5",
                                                "--current", "0:5:0.5", "--time-step", "5"};
    QTest::newRow("step 0") << QStringList{"sweep-counts", "1", "--bias", "8:14:0"};
    QTest::newRow("two numbers") << QStringList{"sweep-counts", "1", "--bias", "8:14"};
    QTest::newRow("every 0") << QStringList{"watch", "1", "current", "--every", "0"};
}

void TestCtl::badUsageExitsTwoAndSendsNothing()
{
    QFETCH(QStringList, command);
    const int before = m_simulator.log().size();
    const CtlResult result = ctl(command);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.startsWith("lc-ctl: "), result.err.constData());
    // Not even a connection: the refusal comes before the unit is touched.
    QVERIFY2(!m_simulator.log().mid(before).contains("connection "),
             m_simulator.log().mid(before).constData());

    // A host that is no address is refused the same way.
    QCOMPARE(runCtl({"get", "unit-1", "1", "current"}).exitCode, 2);
}

void TestCtl::silentModuleOrUnitFailsWithinItsTimeOut()
{
    // Nothing at address 9: two attempts of 200 ms, then a failure that names it.
    CtlResult result = ctl({"get", "9", "current", "--attempts", "2", "--timeout-ms", "200"});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("address 9"), result.err.constData());
    QVERIFY2(result.elapsedMs >= 400 && result.elapsedMs < 1500,
             qPrintable(QString::number(result.elapsedMs)));
    QVERIFY(result.out.isEmpty());
    result = ctl({"info", "9", "--attempts", "1", "--timeout-ms", "100"});
    QCOMPARE(result.exitCode, 1);

    // No unit on the port at all.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress(QHostAddress::LocalHost)));
    const QString port = QString::number(closed.serverPort());
    closed.close();
    result = runCtl({"get", "127.0.0.1", "1", "current", "--port", port});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("cannot connect"), result.err.constData());
}

void TestCtl::countsSweepFileEqualsTheWindows()
{
    QCOMPARE(ctl({"set", "1", "timeConst", "0.05"}).exitCode, 0);
    QTemporaryDir dir;
    const QString ctlFile = dir.filePath("ctl.txt");
    const CtlResult sweep =
        ctl({"sweep-counts", "1", "--bias", "8:14:2", "--settling-ms", "50", "--output", ctlFile});
    QCOMPARE(sweep.exitCode, 0);
    QVERIFY(sweep.out.isEmpty());

    m_bench = std::make_unique<MeasurerBench>();
    MeasurerBench& bench = *m_bench;
    bench.window->unitPort = m_simulator.port();
    bench.window->settlingMs = 50;
    bench.spin<QSpinBox>("sbDeviceAddress")->setValue(1);
    bench.initialize();
    QVERIFY(bench.text("lbStatus").startsWith("Status: Device LC4SDM0"));
    bench.showPage(3);
    bench.spin<QDoubleSpinBox>("sbStart")->setValue(8);
    bench.spin<QDoubleSpinBox>("sbStop")->setValue(14);
    bench.spin<QDoubleSpinBox>("sbStep")->setValue(2);
    bench.widget<QAbstractButton>("pbStart")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!bench.window->isSweepRunning(), 20000);
    bench.fileToChoose = dir.filePath("window.txt");
    bench.window->saveData();

    QFile ctlBytes(ctlFile);
    QFile windowBytes(bench.fileToChoose);
    QVERIFY(ctlBytes.open(QIODevice::ReadOnly) && windowBytes.open(QIODevice::ReadOnly));
    const QByteArray expected = windowBytes.readAll();
    QCOMPARE(ctlBytes.readAll(), expected);
    // Four points: 8, 10, 12 and 14 uA, none past the trigger.
    QCOMPARE(expected.count("\r\n"), 4 + 4);
}

void TestCtl::countsSweepCsvAndInterrupt()
{
    QCOMPARE(ctl({"set", "1", "timeConst", "0.05"}).exitCode, 0);
    CtlResult csv = ctl({"sweep-counts", "1", "--comparator", "0.1:0.3:0.1", "--settling-ms", "0"});
    QCOMPARE(csv.exitCode, 0);
    QStringList lines = QString::fromUtf8(csv.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines,
             QStringList({"comparator_V,counts_per_s", "0.1,0", "0.2,0", "0.30000000000000004,0"}));
    // Not a terminal: no progress line in between.
    QVERIFY(csv.err.isEmpty());

    // Interrupted after some points: the file holds exactly those, whole.
    QTemporaryDir dir;
    const QString file = dir.filePath("counts.txt");
    CtlRun run(unitArguments(m_simulator, {"sweep-counts", "1", "--bias", "0:14:0.1",
                                           "--settling-ms", "0", "--output", file}));
    QVERIFY(run.started());
    run.outputAfter(700);
    run.signal(SIGINT);
    const CtlResult result = run.finish(3000);
    QCOMPARE(result.exitCode, 128 + SIGINT);
    QVERIFY2(result.err.contains("interrupted"), result.err.constData());
    QFile bytes(file);
    QVERIFY(bytes.open(QIODevice::ReadOnly));
    const QList<QByteArray> fileLines = bytes.readAll().split('\n');
    QVERIFY2(fileLines.size() > 6 && fileLines.size() < 100,
             qPrintable(QString::number(fileLines.size())));
    QCOMPARE(fileLines.at(3), QByteArray("Graph 0\r"));
    QVERIFY(fileLines.last().isEmpty());
}

void TestCtl::ivSweepInterruptSendsTheStopAndTheClose()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("iv.txt");
    const int before = m_simulator.log().size();
    CtlRun run(unitArguments(m_simulator, {"sweep-iv", "3", "--voltage", "0:5:0.01", "--time-step",
                                           "20", "--output", file}));
    QVERIFY(run.started());
    // Set-up, settling, announcement and start, then a few points.
    run.outputAfter(1200);
    QElapsedTimer clock;
    clock.start();
    run.signal(SIGINT);
    const CtlResult result = run.finish(5000);
    QCOMPARE(result.exitCode, 128 + SIGINT);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    const QString log = QString::fromUtf8(m_simulator.log().mid(before));
    const int start = log.indexOf(hexFrame(3, 49));
    const int stop = log.indexOf(hexFrame(3, 50));
    const int close = log.indexOf(hexFrame(255, 5));
    QVERIFY2(start >= 0 && stop > start && close > stop, qPrintable(log.right(2000)));

    QFile bytes(file);
    QVERIFY(bytes.open(QIODevice::ReadOnly));
    const QByteArray text = bytes.readAll();
    QVERIFY(text.startsWith("X\tY\r\n; X == U (mV)\r\n; Y == I (V)\r\nGraph 0\r\n"));
    const int points = text.count("\r\n") - 4;
    QVERIFY2(points > 5 && points < 400, qPrintable(QString::number(points)));
    QVERIFY(text.endsWith("\r\n"));
}

void TestCtl::watchPrintsTimestampedReadingsUntilInterrupted()
{
    CtlRun run(unitArguments(m_simulator, {"watch", "3", "data", "--every", "0.1"}));
    QVERIFY(run.started());
    run.outputAfter(650);
    run.signal(SIGTERM);
    const CtlResult result = run.finish(3000);
    QCOMPARE(result.exitCode, 0);
    const QStringList lines = QString::fromUtf8(result.out).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 4 && lines.size() <= 9, qPrintable(QString::number(lines.size())));
    // A record is one CSV field: quoted, its quotes doubled.
    const QRegularExpression line(
        R"re(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z),"(\{""current"":.*""mode"":\d+\})"$)re");
    QDateTime previous;
    for (QString const& text : lines) {
        const QRegularExpressionMatch match = line.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        const QDateTime time = QDateTime::fromString(match.captured(1), Qt::ISODateWithMs);
        QVERIFY(time.isValid());
        if (previous.isValid())
            QVERIFY(previous.msecsTo(time) >= 50);
        previous = time;
        QString json = match.captured(2);
        QVERIFY(jsonOf(json.replace("\"\"", "\"").toUtf8()).isObject());
    }
}

void TestCtl::helpAndVersion()
{
    CtlResult result = runCtl({"--version"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.startsWith("lc-ctl "));
    result = runCtl({"--help"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("sweep-iv HOST ADDR"));
    QCOMPARE(runCtl({}).exitCode, 2);
}

void TestCtl::discoverListsTheUnit()
{
    if (qEnvironmentVariableIsSet("LC_NO_BROADCAST") || lcBroadcastAddresses().isEmpty())
        QSKIP("no interface that can broadcast (outside the test namespace)");
    CtlSimulator unit;
    QVERIFY(unit.start(true));
    // The unit answers from an address of this host, which the list shows as loopback.
    CtlResult result = runCtl({"discover"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QByteArray("127.0.0.1\n"));
    result = runCtl({"discover", "--json"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QByteArray("[\"127.0.0.1\"]\n"));
}

void TestCtl::pointsKeepThePlotsOrder()
{
    // Equal, falling and unordered X, as measured currents come: the file's order
    // is the graph's.
    QCustomPlot plot;
    QCPGraph* graph = plot.addGraph();
    QVector<QPointF> points;
    const double xs[] = {8, 10, 10, 9.5, 12, 7, 10, 12, qQNaN(), 11};
    for (int i = 0; i < int(std::size(xs)); ++i) {
        graph->addData(xs[i], i);
        addInPlotOrder(&points, QPointF(xs[i], i));
    }
    QCOMPARE(points.size(), graph->dataCount());
    int i = 0;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it, ++i) {
        QCOMPARE(points.at(i).y(), it->value);
        QVERIFY(points.at(i).x() == it->key || (qIsNaN(it->key) && qIsNaN(points.at(i).x())));
    }
}

QTEST_MAIN(TestCtl)
#include "tst_ctl.moc"
