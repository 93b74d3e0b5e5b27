#include "cagilent34401avisainterface.h"
#include "scriptedinstrument.h"

#include <QtTest>

namespace {

// The base class's part alone: what goes out, and when.
class RecordingMeter : public cAgilent34401A
{
public:
    bool opens = true;
    int initializeCalls = 0;
    QStringList commands;
    qint64 writeResult = -1; // -1: the command's length
    double reply = 0;
    bool replyOk = true;

    qint64 writeAgilent(QString command) override
    {
        commands << command;
        return writeResult < 0 ? command.size() : writeResult;
    }
    double readAgilent(bool* ok) override
    {
        if (ok)
            *ok = replyOk;
        return reply;
    }
    bool initialize() override
    {
        ++initializeCalls;
        return opens && cAgilent34401A::initialize();
    }
};

std::unique_ptr<cAgilent34401aVisaInterface> visaMeter(const QByteArray& resource)
{
    auto meter = std::make_unique<cAgilent34401aVisaInterface>(QStringList{LC_VISA_LIBRARY});
    meter->setVisaDeviceName(QString::fromLatin1(resource));
    return meter;
}

quint16 closedPort()
{
    ScriptedInstrument gone({});
    return gone.port();
}

} // namespace

class TestAgilent : public QObject
{
    Q_OBJECT
private slots:
    // The meter's debug texts are part of what these tests check.
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("lc.meter.debug=true")); }
    void commandTexts_data();
    void commandTexts();
    void failuresSendNothingOrReadNothing();
    void replies_data();
    void replies();
    void libraryMissing();
    void openFailsThenRetries();
    void resourceNameChange();
    void timeOut();
    void simulatedMeterOverBothResources();
};

void TestAgilent::commandTexts_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("resolution");
    QTest::addColumn<QString>("command");
    const char* queries[] = {"MEAS:CURR:DC? ", "MEAS:CURR:AC? ", "MEAS:VOLT:DC? ", "MEAS:VOLT:AC? ",
                             "MEAS:RES? ",     "MEAS:FRES? ",    "MEAS:FREQ? ",    "MEAS:PER? "};
    for (int mode = 0; mode < 8; ++mode)
        QTest::addRow("mode %d", mode)
            << mode << 0.0 << 0.0 << QString(queries[mode]) + "DEF,DEF\r\n";
    QTest::newRow("range and resolution") << 2 << 10.0 << 0.0001 << "MEAS:VOLT:DC? 10,0.0001\r\n";
    QTest::newRow("six digits") << 0 << 0.001234567 << 0.0 << "MEAS:CURR:DC? 0.00123457,DEF\r\n";
    QTest::newRow("exponent") << 4 << 0.0 << 1e-7 << "MEAS:RES? DEF,1e-07\r\n";
}

void TestAgilent::commandTexts()
{
    QFETCH(int, mode);
    QFETCH(double, range);
    QFETCH(double, resolution);
    RecordingMeter meter;
    QCOMPARE(meter.mode(), (unsigned char)2);
    QVERIFY(!meter.isInited());
    meter.setMode((unsigned char)mode);
    meter.setRange(range);
    meter.setResolution(resolution);
    meter.reply = 1.5;
    bool ok = false;
    QCOMPARE(meter.singleRead(&ok), 1.5);
    QVERIFY(ok);
    QVERIFY(meter.isInited());
    QTEST(meter.commands.value(0), "command");
    QCOMPARE(meter.commands.size(), 1);
    meter.singleRead();
    QCOMPARE(meter.initializeCalls, 1); // once open, it stays open
}

void TestAgilent::failuresSendNothingOrReadNothing()
{
    RecordingMeter meter;
    meter.setMode(8);
    bool ok = true;
    QCOMPARE(meter.singleRead(&ok), 0.0);
    QVERIFY(!ok);
    QCOMPARE(meter.initializeCalls, 1); // an instrument not open yet is still opened
    QVERIFY(meter.commands.isEmpty());

    RecordingMeter closed;
    closed.opens = false;
    QCOMPARE(closed.singleRead(&ok), 0.0);
    QVERIFY(!ok);
    QVERIFY(closed.commands.isEmpty());
    closed.singleRead();
    QCOMPARE(closed.initializeCalls, 2); // every reading tries to open again

    RecordingMeter unwritten;
    unwritten.writeResult = 0;
    unwritten.reply = 3;
    ok = true;
    QCOMPARE(unwritten.singleRead(&ok), 0.0);
    QVERIFY(!ok);
}

void TestAgilent::replies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("exponent") << QByteArray("+1.23456789E-03\n") << true << 0.00123456789;
    QTest::newRow("blanks") << QByteArray("  -4.5E+00 \r\n") << true << -4.5;
    QTest::newRow("zero byte") << QByteArray("+2.5E+00\0+7\n", 12) << true << 2.5;
    QTest::newRow("zero byte first") << QByteArray("\0+2.5E+00\n", 10) << false << 0.0;
    QTest::newRow("garbage") << QByteArray("#$%&!?\n") << false << 0.0;
    QTest::newRow("number and garbage") << QByteArray("+1.0E+00xyz\n") << false << 0.0;
    QTest::newRow("not a number") << QByteArray("nan\n") << false << 0.0;
    QTest::newRow("overload") << QByteArray("+9.90000000E+37\n") << false << 0.0;
    QTest::newRow("negative overload") << QByteArray("-9.90000000E+37\n") << false << 0.0;
    // Longer than the buffer: the first 255 bytes are the reply.
    QTest::newRow("long") << QByteArray("7") + QByteArray(300, ' ') + '\n' << true << 7.0;
}

void TestAgilent::replies()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    ScriptedInstrument instrument({reply});
    auto meter = visaMeter(instrument.resource());
    QVERIFY(meter->isVisaInited());
    QSignalSpy readings(meter.get(), &cAgilent34401A::dataReaded);
    meter->setMode(0);
    bool succeeded = !ok;
    const double value = meter->singleRead(&succeeded);
    QCOMPARE(succeeded, ok);
    QTEST(value, "value");
    QCOMPARE(readings.size(), ok ? 1 : 0);
    if (ok)
        QCOMPARE(readings.first().first().toDouble(), value);
    QTRY_COMPARE(instrument.received(), QByteArray("MEAS:CURR:DC? DEF,DEF\r\n"));
}

void TestAgilent::libraryMissing()
{
    QCOMPARE(cAgilent34401aVisaInterface::defaultLibraryNames(), QStringList({"visa32", "visa"}));
    QTest::ignoreMessage(QtDebugMsg, "mVisaInited false");
    cAgilent34401aVisaInterface meter({"lc-no-such-visa-library"});
    QVERIFY(!meter.isVisaInited());
    QVERIFY(!meter.initialize());
    QSignalSpy readings(&meter, &cAgilent34401A::dataReaded);
    bool ok = true;
    QCOMPARE(meter.singleRead(&ok), 0.0);
    QVERIFY(!ok);
    QVERIFY(readings.isEmpty());
    QCOMPARE(meter.writeAgilent("*RST\r\n"), qint64(0));
}

void TestAgilent::openFailsThenRetries()
{
    const quint16 port = closedPort();
    auto meter = visaMeter("TCPIP0::127.0.0.1::" + QByteArray::number(port) + "::SOCKET");
    bool ok = true;
    QTest::ignoreMessage(QtDebugMsg, "error at connecting to instrument");
    QCOMPARE(meter->singleRead(&ok), 0.0);
    QVERIFY(!ok);
    QVERIFY(!meter->isInited());
    ScriptedInstrument instrument({"+1.0E+00\n"});
    meter->setVisaDeviceName(QString::fromLatin1(instrument.resource()));
    QCOMPARE(meter->singleRead(&ok), 1.0);
    QVERIFY(ok && meter->isInited());
}

void TestAgilent::resourceNameChange()
{
    ScriptedInstrument first({"+1.0E+00\n", "+1.0E+00\n"});
    ScriptedInstrument second({"+2.0E+00\n"});
    auto meter = visaMeter(first.resource());
    QCOMPARE(meter->singleRead(), 1.0);
    meter->setVisaDeviceName(QString::fromLatin1(first.resource())); // the same: stays open
    QVERIFY(meter->isInited());
    meter->setVisaDeviceName(QString::fromLatin1(second.resource()));
    QVERIFY(!meter->isInited());
    QTRY_VERIFY(first.closedByClient());
    bool ok = false;
    QCOMPARE(meter->singleRead(&ok), 2.0);
    QVERIFY(ok);
    QCOMPARE(first.received(), QByteArray("MEAS:VOLT:DC? DEF,DEF\r\n"));
}

void TestAgilent::timeOut()
{
    ScriptedInstrument silent({QByteArray()});
    auto meter = visaMeter(silent.resource());
    QElapsedTimer clock;
    clock.start();
    bool ok = true;
    QTest::ignoreMessage(QtDebugMsg, "error at read some data to agilent");
    QCOMPARE(meter->singleRead(&ok), 0.0);
    QVERIFY(!ok);
    QVERIFY2(clock.elapsed() >= 4900 && clock.elapsed() < 7000,
             qPrintable(QString::number(clock.elapsed())));
}

void TestAgilent::simulatedMeterOverBothResources()
{
    QTemporaryDir dir;
    const QString tty = dir.filePath("meter-tty");
    QProcess simulator;
    simulator.start(LC_SIMULATOR_BINARY, {"--listen", "127.0.0.1", "--port", "0", "--no-discovery",
                                          "--meter", "6:voltage", "--meter-port", "0",
                                          "--meter-integration", "5", "--meter-pty", tty});
    QVERIFY(simulator.waitForStarted());
    QByteArray banner;
    const QRegularExpression listening("reference meter on TCP port (\\d+)");
    QRegularExpressionMatch match;
    QDeadlineTimer deadline(5000);
    while (!(match = listening.match(QString::fromUtf8(banner))).hasMatch() ||
           !banner.contains("serial port")) {
        QVERIFY2(!deadline.hasExpired() &&
                     simulator.waitForReadyRead(int(deadline.remainingTime())),
                 banner.constData());
        banner += simulator.readAllStandardOutput();
    }
    const QByteArray socket = "TCPIP0::127.0.0.1::" + match.captured(1).toLatin1() + "::SOCKET";
    auto overSocket = visaMeter(socket);
    auto overSerial = visaMeter("ASRL" + tty.toLocal8Bit() + "::INSTR");
    bool ok = false;
    // The temperature driver's sensor voltage at its power-up current.
    const double viaSocket = overSocket->singleRead(&ok);
    QVERIFY(ok);
    QVERIFY2(viaSocket > 0.3 && viaSocket < 2.0, qPrintable(QString::number(viaSocket)));
    const double viaSerial = overSerial->singleRead(&ok);
    QVERIFY(ok);
    QVERIFY(qAbs(viaSerial - viaSocket) < 1e-4);
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(5000));
    QVERIFY(!QFileInfo::exists(tty)); // the simulator removes its link
}

QTEST_GUILESS_MAIN(TestAgilent)
#include "tst_agilent.moc"
