#include "simfixture.h"
#include "simmeter.h"
#include "simmeterserver.h"
#include "simmodule.h"

#include <QtTest>

#include <cmath>

namespace {

// A crate whose outputs stand still: the temperature driver's sensor at its
// power-up current of about 10 uA, its diode at about 1.6 V.
const QStringList meterOnSensor = {"--module", "6:LC4TDM0",           "--meter-port",
                                   "0",        "--meter-integration", "2"};

class MeterClient
{
public:
    explicit MeterClient(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(2000);
    }
    void send(const QByteArray& bytes) { m_socket.write(bytes); }
    // The next answer line, or null after the time-out.
    QByteArray answer(int timeoutMs = 2000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_buffer.contains('\n') && !deadline.hasExpired()) {
            QEventLoop loop;
            QObject::connect(&m_socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
            QTimer::singleShot(int(deadline.remainingTime()), &loop, &QEventLoop::quit);
            loop.exec();
            m_buffer += m_socket.readAll();
        }
        const int end = m_buffer.indexOf('\n');
        if (end < 0)
            return QByteArray();
        const QByteArray line = m_buffer.left(end + 1);
        m_buffer.remove(0, end + 1);
        return line;
    }
    QByteArray query(const QByteArray& command, int timeoutMs = 2000)
    {
        send(command + "\r\n");
        return answer(timeoutMs);
    }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

double trueValue(SimUnit& unit, int address, const QString& output)
{
    return unit.crate().module(address)->output(output)->value();
}

double number(const QByteArray& answer)
{
    bool ok = false;
    const double value = answer.trimmed().toDouble(&ok);
    return ok ? value : NAN;
}

// pyvisa as an independent client; skips where it is not installed.
QByteArray pyvisaReading(const QString& backend, const QByteArray& resource, QString* skip)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
#ifdef LC_SANITIZER_PRELOAD
    // A sanitized libvisa32 loads into Python only after the sanitizer runtimes.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", LC_SANITIZER_PRELOAD);
    environment.insert("ASAN_OPTIONS", "detect_leaks=0");
    python.setProcessEnvironment(environment);
#endif
    python.start("/usr/bin/python3", {LC_CROSSCHECK_SCRIPT, backend, QString::fromLatin1(resource),
                                      "MEAS:VOLT:DC? DEF,DEF"});
    if (!python.waitForStarted(5000)) {
        *skip = "no /usr/bin/python3";
        return QByteArray();
    }
    // The unit runs in this thread: wait in the event loop.
    QEventLoop loop;
    QObject::connect(&python, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (python.state() != QProcess::NotRunning)
        loop.exec();
    const QByteArray output = python.readAll();
    if (python.exitCode() == 3)
        *skip = QString::fromUtf8(output.trimmed()) +
                " (install python3-pyvisa and python3-pyvisa-py, as scripts/deps.sh does)";
    return python.exitCode() == 0 ? output.trimmed().split('\n').last() : "failed: " + output;
}

} // namespace

class TestSimMeter : public QObject
{
    Q_OBJECT
private slots:
    void numberFormat();
    void measuresTrueOutputs();
    void rangesAndOverload();
    void integrationTime();
    void noiseFollowsResolution();
    void commandsAndErrors();
    void faults();
    void wiringFromCrateAndOptions();
    void crossChecks_data();
    void crossChecks();
};

void TestSimMeter::numberFormat()
{
    QCOMPARE(SimMeter::formatReading(1.23456789e-3), QByteArray("+1.23456789E-03"));
    QCOMPARE(SimMeter::formatReading(-2.5), QByteArray("-2.50000000E+00"));
    QCOMPARE(SimMeter::formatReading(-0.0), QByteArray("+0.00000000E+00"));
    QCOMPARE(SimMeter::formatReading(SimMeter::overload), QByteArray("+9.90000000E+37"));
}

void TestSimMeter::measuresTrueOutputs()
{
    QString error;
    auto voltage = startSimUnit(meterOnSensor + QStringList{"--meter", "6:voltage"}, &error);
    QVERIFY2(voltage, qPrintable(error));
    MeterClient client(voltage->meter()->port());
    const double volts = trueValue(*voltage, 6, "voltage");
    QVERIFY(volts > 0.3 && volts < 2.0);
    QByteArray answer = client.query("MEAS:VOLT:DC? DEF,DEF");
    QVERIFY2(QRegularExpression("^[+-]\\d\\.\\d{8}E[+-]\\d{2}\\n$").match(answer).hasMatch(),
             answer.constData());
    // The 10 V range at its default resolution: 10 uV steps.
    QVERIFY2(qAbs(number(answer) - volts) < 3e-5, answer.constData());
    // A current function sees nothing on a voltage wiring.
    QVERIFY(qAbs(number(client.query("MEAS:CURR:DC? DEF,DEF"))) < 1e-7);
    QVERIFY(qAbs(number(client.query("MEAS:VOLT:AC? DEF,DEF"))) < 1e-5);

    auto current = startSimUnit(meterOnSensor + QStringList{"--meter", "6:current"}, &error);
    QVERIFY2(current, qPrintable(error));
    MeterClient currentClient(current->meter()->port());
    const double amperes = trueValue(*current, 6, "current");
    QVERIFY(amperes > 9e-6 && amperes < 11e-6);
    QVERIFY(qAbs(number(currentClient.query("MEAS:CURR:DC? DEF,DEF")) - amperes) < 3e-8);
    QVERIFY(qAbs(number(currentClient.query("MEAS:VOLT:DC? DEF,DEF"))) < 1e-5);

    // Through a shunt the voltage functions see the current times the resistance.
    auto shunt = startSimUnit(
        meterOnSensor + QStringList{"--meter", "6:current", "--meter-shunt", "1000"}, &error);
    QVERIFY2(shunt, qPrintable(error));
    MeterClient shuntClient(shunt->meter()->port());
    QVERIFY(qAbs(number(shuntClient.query("MEAS:VOLT:DC? DEF,DEF")) -
                 1000 * trueValue(*shunt, 6, "current")) < 3e-7);
    QVERIFY(qAbs(number(shuntClient.query("MEAS:CURR:DC? DEF,DEF"))) < 1e-7);
}

void TestSimMeter::rangesAndOverload()
{
    QString error;
    auto unit = startSimUnit(meterOnSensor + QStringList{"--meter", "6:voltage"}, &error);
    QVERIFY2(unit, qPrintable(error));
    MeterClient client(unit->meter()->port());
    const double volts = trueValue(*unit, 6, "voltage");
    QCOMPARE(client.query("MEAS:VOLT:DC? 0.1,DEF"), QByteArray("+9.90000000E+37\n"));
    QCOMPARE(client.query("MEAS:VOLT:DC? MIN,DEF"), QByteArray("+9.90000000E+37\n"));
    QCOMPARE(client.query("MEAS:RES? DEF,DEF"), QByteArray("+9.90000000E+37\n"));
    QCOMPARE(client.query("MEAS:FREQ? DEF,DEF"), QByteArray("+0.00000000E+00\n"));
    // The 1 V range holds 1.2 V; the 10 V range takes anything up to 12 V.
    const QByteArray oneVolt = client.query("MEAS:VOLT:DC? 1,DEF");
    QCOMPARE(oneVolt == "+9.90000000E+37\n", volts > 1.2);
    QVERIFY(qAbs(number(client.query("MEAS:VOLT:DC? 5,0.001")) - volts) < 2e-3);
    QVERIFY(qAbs(number(client.query("MEAS:VOLT:DC? MAX,DEF")) - volts) < 3e-3);
    // Beyond every range: no reading, an error in the queue.
    QVERIFY(client.query("MEAS:VOLT:DC? 2000,DEF", 300).isNull());
    QCOMPARE(client.query("SYST:ERR?"), QByteArray("-222,\"Data out of range\"\n"));
    QCOMPARE(client.query("SYST:ERR?"), QByteArray("+0,\"No error\"\n"));
}

void TestSimMeter::integrationTime()
{
    QString error;
    auto unit = startSimUnit({"--module", "6:LC4TDM0", "--meter", "6:voltage", "--meter-port", "0"},
                             &error);
    QVERIFY2(unit, qPrintable(error));
    MeterClient client(unit->meter()->port());
    QElapsedTimer clock;
    // 10 power-line cycles at 50 Hz by default.
    clock.start();
    QVERIFY(!client.query("MEAS:VOLT:DC? DEF,DEF").isNull());
    QVERIFY2(clock.elapsed() >= 195 && clock.elapsed() < 400,
             qPrintable(QString::number(clock.elapsed())));
    // The coarsest resolution still integrates.
    clock.restart();
    QVERIFY(!client.query("MEAS:VOLT:DC? 10,MAX").isNull());
    QVERIFY(clock.elapsed() >= 1 && clock.elapsed() < 100);
    // One cycle for 3 ppm of the range.
    clock.restart();
    QVERIFY(!client.query("MEAS:VOLT:DC? 10,0.00003").isNull());
    QVERIFY(clock.elapsed() >= 19 && clock.elapsed() < 150);

    auto sixty = startSimUnit({"--module", "6:LC4TDM0", "--meter", "6:voltage", "--meter-port", "0",
                               "--meter-line-frequency", "60"},
                              &error);
    QVERIFY2(sixty, qPrintable(error));
    MeterClient sixtyClient(sixty->meter()->port());
    clock.restart();
    QVERIFY(!sixtyClient.query("MEAS:VOLT:DC? DEF,DEF").isNull());
    QVERIFY(clock.elapsed() >= 165 && clock.elapsed() < 350);

    QVERIFY(!startSimUnit(
        {"--module", "6:LC4TDM0", "--meter", "6:voltage", "--meter-integration", "0"}, &error));
    QVERIFY(error.contains("meter-integration"));
}

void TestSimMeter::noiseFollowsResolution()
{
    QString error;
    auto unit = startSimUnit(meterOnSensor + QStringList{"--meter", "6:voltage"}, &error);
    QVERIFY2(unit, qPrintable(error));
    MeterClient client(unit->meter()->port());
    const auto spread = [&](const QByteArray& command) {
        double sum = 0, squares = 0;
        const int n = 40;
        for (int i = 0; i < n; ++i) {
            const double value = number(client.query(command));
            sum += value;
            squares += value * value;
        }
        return std::sqrt(qMax(0.0, squares / n - (sum / n) * (sum / n)));
    };
    const double coarse = spread("MEAS:VOLT:DC? 10,MAX");
    const double fine = spread("MEAS:VOLT:DC? 10,DEF");
    const double wide = spread("MEAS:VOLT:DC? 100,MAX");
    QVERIFY2(coarse > 1e-4 && coarse < 1e-3, qPrintable(QString::number(coarse)));
    QVERIFY2(fine < coarse / 10, qPrintable(QString::number(fine)));
    QVERIFY2(wide > 5 * coarse, qPrintable(QString::number(wide)));
}

void TestSimMeter::commandsAndErrors()
{
    QString error;
    auto unit = startSimUnit(meterOnSensor + QStringList{"--meter", "6:voltage"}, &error);
    QVERIFY2(unit, qPrintable(error));
    MeterClient client(unit->meter()->port());
    QVERIFY(client.query("*IDN?").contains("simulated reference multimeter"));
    // Commands in one segment are answered one after the other, in order.
    client.send("*RST\r\nSYST:REM\r\nMEASURE:VOLTAGE:DC? DEF,DEF\nmeas:curr? \r\n*IDN?\r\n");
    QVERIFY(number(client.answer()) > 0.3);
    QVERIFY(qAbs(number(client.answer())) < 1e-7);
    QVERIFY(client.answer().contains("multimeter"));
    QVERIFY(client.query("MEAS:FOO? DEF,DEF", 300).isNull());
    QVERIFY(client.query("MEAS:VOLT:DC? ten,DEF", 300).isNull());
    QVERIFY(client.query("BOGUS", 100).isNull());
    QCOMPARE(client.query("SYST:ERR?"), QByteArray("-113,\"Undefined header\"\n"));
    QCOMPARE(client.query("SYST:ERR?"), QByteArray("-224,\"Illegal parameter value\"\n"));
    QCOMPARE(client.query("SYST:ERR?"), QByteArray("-113,\"Undefined header\"\n"));
    client.query("*CLS", 50);
    QCOMPARE(client.query("SYST:ERR?"), QByteArray("+0,\"No error\"\n"));
}

void TestSimMeter::faults()
{
    QString error;
    auto silent =
        startSimUnit(meterOnSensor + QStringList{"--meter", "6:voltage", "--meter-silent"}, &error);
    QVERIFY2(silent, qPrintable(error));
    MeterClient silentClient(silent->meter()->port());
    QVERIFY(silentClient.query("MEAS:VOLT:DC? DEF,DEF", 300).isNull());
    QVERIFY(silentClient.query("*IDN?", 100).isNull());

    auto garbage = startSimUnit(
        meterOnSensor + QStringList{"--meter", "6:voltage", "--meter-garbage"}, &error);
    QVERIFY2(garbage, qPrintable(error));
    MeterClient garbageClient(garbage->meter()->port());
    const QByteArray answer = garbageClient.query("MEAS:VOLT:DC? DEF,DEF");
    QVERIFY(!answer.isEmpty() && std::isnan(number(answer)));

    auto slow = startSimUnit(
        meterOnSensor + QStringList{"--meter", "6:voltage", "--meter-delay", "300"}, &error);
    QVERIFY2(slow, qPrintable(error));
    MeterClient slowClient(slow->meter()->port());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(number(slowClient.query("MEAS:VOLT:DC? DEF,DEF")) > 0.3);
    QVERIFY(clock.elapsed() >= 300);
    QVERIFY(slow->summary().join('\n').contains("answers 300 ms late"));
}

void TestSimMeter::wiringFromCrateAndOptions()
{
    QTemporaryDir dir;
    const QString crate = dir.filePath("crate.json");
    const auto writeCrate = [&](const QByteArray& meter) {
        QFile file(crate);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"modules": [{"address": 4, "kind": "LC4CLM0"},
                                   {"address": 6, "kind": "LC4TDM0"}], "meter": )" +
                   meter + "}");
    };
    QString error;
    writeCrate(R"({"address": 6, "output": "current", "shunt": 100})");
    auto unit =
        startSimUnit({"--crate", crate, "--meter-port", "0", "--meter-integration", "2"}, &error);
    QVERIFY2(unit, qPrintable(error));
    QVERIFY(unit->summary().join('\n').contains("measuring \"current\" of address 6 across a "
                                                "100 ohm shunt"));
    MeterClient client(unit->meter()->port());
    QVERIFY(qAbs(number(client.query("MEAS:VOLT:DC? DEF,DEF")) -
                 100 * trueValue(*unit, 6, "current")) < 1e-6);
    // The command line overrides the crate's wiring.
    auto overridden =
        startSimUnit({"--crate", crate, "--meter", "4:current", "--meter-port", "0"}, &error);
    QVERIFY2(overridden, qPrintable(error));
    const QString summary = overridden->summary().join('\n');
    QVERIFY(summary.contains("measuring \"current\" of address 4") && !summary.contains("shunt"));

    const QList<QPair<QByteArray, QString>> bad = {
        {R"({"address": 6, "output": "current", "colour": 1})", "unknown key \"colour\""},
        {R"({"address": 40, "output": "current"})", "address"},
        {R"({"address": 6})", "output"},
        {R"({"address": 6, "output": "current", "shunt": -1})", "shunt"},
        {R"({"address": 9, "output": "current"})", "no module at address 9"},
        {R"({"address": 6, "output": "temperature"})", "has no output \"temperature\""}};
    for (const auto& entry : bad) {
        writeCrate(entry.first);
        QVERIFY(!startSimUnit({"--crate", crate, "--meter-port", "0"}, &error));
        QVERIFY2(error.contains(entry.second), qPrintable(error));
    }
    QVERIFY(!startSimUnit({"--meter", "6"}, &error));
    QVERIFY(error.contains("ADDR:OUTPUT"));
    QVERIFY(!startSimUnit({"--meter-port", "0"}, &error));
    QVERIFY(error.contains("need --meter"));
    QVERIFY(!startSimUnit({"--meter", "7:voltage"}, &error));
    QVERIFY(error.contains("voltage0"));
    // A default crate without a wiring starts no meter.
    auto plain = startSimUnit({}, &error);
    QVERIFY(plain && !plain->meter());
}

void TestSimMeter::crossChecks_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("serial");
    QTest::newRow("pyvisa on libvisa32, socket") << QString(LC_VISA_LIBRARY) << false;
    QTest::newRow("pyvisa on libvisa32, serial") << QString(LC_VISA_LIBRARY) << true;
    QTest::newRow("pyvisa-py, socket") << QString("@py") << false;
}

void TestSimMeter::crossChecks()
{
    QFETCH(QString, backend);
    QFETCH(bool, serial);
    QTemporaryDir dir;
    const QString tty = dir.filePath("meter-tty");
    QString error;
    auto unit = startSimUnit(
        meterOnSensor + QStringList{"--meter", "6:voltage", "--meter-pty", tty}, &error);
    QVERIFY2(unit, qPrintable(error));
    const QByteArray resource =
        serial ? "ASRL" + tty.toLocal8Bit() + "::INSTR"
               : "TCPIP0::127.0.0.1::" + QByteArray::number(unit->meter()->port()) + "::SOCKET";
    QString skip;
    const QByteArray reading = pyvisaReading(backend, resource, &skip);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    QVERIFY2(qAbs(number(reading) - trueValue(*unit, 6, "voltage")) < 3e-5, reading.constData());
}

QTEST_GUILESS_MAIN(TestSimMeter)
#include "tst_simmeter.moc"
