#include "simcrate.h"
#include "simheaterm0.h"
#include "simmodule.h"
#include "simoptions.h"
#include "simserver.h"
#include "simsspddriverm1.h"
#include "simunit.h"

#include "lcframereader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr int waitMs = 2000;

struct Answer
{
    int address = -1;
    int command = -1;
    QByteArray payload;
};

QByteArray frame(quint8 address, quint8 command, const QByteArray& payload = QByteArray())
{
    return lcEncodeFrame(address, command, quint8(payload.size()),
                         reinterpret_cast<const quint8*>(payload.constData()));
}

// A host connection that reads with the event loop running, since the server
// under test lives in the same thread.
class Client
{
public:
    explicit Client(quint16 port) { m_socket.connectToHost(QHostAddress::LocalHost, port); }

    bool waitConnected()
    {
        QSignalSpy spy(&m_socket, &QTcpSocket::connected);
        return m_socket.state() == QAbstractSocket::ConnectedState || spy.wait(waitMs);
    }
    bool waitDisconnected()
    {
        QSignalSpy spy(&m_socket, &QTcpSocket::disconnected);
        return m_socket.state() == QAbstractSocket::UnconnectedState || spy.wait(waitMs);
    }
    void send(const QByteArray& bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }
    void request(quint8 address, quint8 command, const QByteArray& payload = QByteArray())
    {
        send(frame(address, command, payload));
    }
    QByteArray readBytes(int count)
    {
        if (!fill(count))
            return QByteArray();
        const QByteArray bytes = m_received.left(count);
        m_received.remove(0, count);
        return bytes;
    }
    bool next(Answer* answer)
    {
        if (!fill(lcFrameReader::headerSize) ||
            !fill(lcFrameReader::headerSize + quint8(m_received.at(2))))
            return false;
        answer->address = quint8(m_received.at(0));
        answer->command = quint8(m_received.at(1));
        answer->payload = m_received.mid(lcFrameReader::headerSize, quint8(m_received.at(2)));
        m_received.remove(0, lcFrameReader::headerSize + answer->payload.size());
        return true;
    }
    Answer ask(quint8 address, quint8 command, const QByteArray& payload = QByteArray())
    {
        request(address, command, payload);
        Answer answer;
        next(&answer);
        return answer;
    }
    QString text(quint8 address, quint8 command)
    {
        const QByteArray payload = ask(address, command).payload;
        return QString::fromUtf8(payload.left(payload.indexOf('\0')));
    }

    QTcpSocket m_socket;

private:
    bool fill(int count)
    {
        QDeadlineTimer deadline(waitMs);
        m_received += m_socket.readAll();
        while (m_received.size() < count) {
            QSignalSpy spy(&m_socket, &QTcpSocket::readyRead);
            if (deadline.hasExpired() || !spy.wait(int(deadline.remainingTime())))
                return false;
            m_received += m_socket.readAll();
        }
        return true;
    }

    QByteArray m_received;
};

// The next answer on the connection is the probe's, so nothing was sent for what
// went before it.
void expectOnlyProbe(Client& client)
{
    client.request(1, SimModule::CmdTypeString);
    Answer answer;
    QVERIFY(client.next(&answer));
    QCOMPARE(answer.address, 1);
    QCOMPARE(answer.command, int(SimModule::CmdTypeString));
}

std::unique_ptr<SimUnit> startUnit(const QStringList& arguments, QString* error = nullptr)
{
    SimOptions options;
    QString message;
    auto unit = std::make_unique<SimUnit>();
    if (!options.parse(
            QStringList{"lc-simulator", "--listen", "127.0.0.1", "--port", "0", "--no-discovery"} +
                arguments,
            &message) ||
        !unit->start(options, &message)) {
        if (error)
            *error = message;
        return nullptr;
    }
    return unit;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// Sends a frame of its own a moment after command 0x40, like a module-run sweep.
class StreamingModule : public SimModule
{
public:
    explicit StreamingModule(quint8 address) : SimModule(QStringLiteral("LC4BSM0"), address)
    {
        setConstantsRecord(4);
        setCommand(0x40, [this](const QByteArray&) -> std::optional<QByteArray> {
            QTimer::singleShot(0, this, [this] { sendUnsolicited(0x41, "point"); });
            return QByteArray();
        });
    }
};

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void textQuery_data();
    void textQuery();
    void defaultCrateIdentity_data();
    void defaultCrateIdentity();
    void udidStableAcrossInstances();
    void housekeepingCommands();
    void silence_data();
    void silence();
    void connectionsServedIndependently();
    void splitAndCoalescedFrames();
    void peerLeavingMidFrame();
    void delayedAnswers();
    void dropEverySecondAnswer();
    void truncateEverySecondAnswer();
    void garbageBeforeEverySecondAnswer();
    void closeAfterFrames();
    void silentModule();
    void unsolicitedFramesGoToLastRequester();
    void crateFile();
    void malformedCrateFile_data();
    void malformedCrateFile();
    void commandLine_data();
    void commandLine();
    void eepromSurvivesRestart();
    void corruptStateFile_data();
    void corruptStateFile();
    void unwritableStateLeavesEepromWriteUnanswered();
    void binaryEndToEnd();
    void binaryRejectsBadCrate();
};

void TestSimulator::textQuery_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<bool>("frameFollows");
    QTest::newRow("whole") << QByteArray("*IDN?") << QByteArray() << false;
    QTest::newRow("split") << QByteArray("*I") << QByteArray("DN?") << false;
    QTest::newRow("with frame") << QByteArray("*IDN?") + frame(2, SimModule::CmdTypeString)
                                << QByteArray() << true;
    QTest::newRow("terminal line end")
        << QByteArray("*IDN?\r\n") + frame(2, SimModule::CmdTypeString) << QByteArray() << true;
}

void TestSimulator::textQuery()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(bool, frameFollows);
    auto unit = startUnit({});
    QVERIFY(unit);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    client.send(first);
    if (!second.isEmpty()) {
        Client other(unit->server()->serverPort());
        QVERIFY(other.waitConnected());
        QCOMPARE(other.ask(1, SimModule::CmdUdid).payload.size(), 12);
        client.send(second);
    }
    const QByteArray identification = unit->server()->config().identification;
    const QByteArray reply = client.readBytes(identification.size());
    QCOMPARE(reply, identification);
    QVERIFY(reply.contains("Velmora Lumicrate"));
    if (frameFollows) {
        Answer answer;
        QVERIFY(client.next(&answer));
        QCOMPARE(answer.address, 2);
        QVERIFY(answer.payload.contains("LC4SDM1"));
    }
    // Whatever followed the query, the stream is still in step.
    expectOnlyProbe(client);
}

void TestSimulator::defaultCrateIdentity_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("model");
    const QStringList models = {"LC4SDM0", "LC4SDM1", "LC4BSM0", "LC4CLM0",
                                "LC4HTM0", "LC4TDM0", "LC4TDM1"};
    for (int i = 0; i < models.size(); ++i)
        QTest::newRow(qPrintable(models.at(i))) << i + 1 << models.at(i);
}

void TestSimulator::defaultCrateIdentity()
{
    QFETCH(int, address);
    QFETCH(QString, model);
    auto unit = startUnit({});
    QVERIFY(unit);
    QCOMPARE(unit->crate().modules().size(), 7);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    const Answer type = client.ask(quint8(address), SimModule::CmdTypeString);
    QCOMPARE(type.address, address);
    QCOMPARE(type.command, int(SimModule::CmdTypeString));
    QVERIFY(type.payload.endsWith('\0'));
    QVERIFY(QString::fromUtf8(type.payload).contains(model));
    for (quint8 command : {SimModule::CmdModificationVersion, SimModule::CmdHardwareVersion,
                           SimModule::CmdFirmwareVersion, SimModule::CmdDescription}) {
        const Answer answer = client.ask(quint8(address), command);
        QCOMPARE(answer.command, int(command));
        QVERIFY(answer.payload.size() > 1);
        QVERIFY(answer.payload.endsWith('\0'));
    }
}

void TestSimulator::udidStableAcrossInstances()
{
    QList<QByteArray> seen;
    for (int instance = 0; instance < 2; ++instance) {
        auto unit = startUnit({});
        QVERIFY(unit);
        Client client(unit->server()->serverPort());
        QVERIFY(client.waitConnected());
        for (quint8 address = 1; address <= 7; ++address) {
            const QByteArray udid = client.ask(address, SimModule::CmdUdid).payload;
            QCOMPARE(udid.size(), 12);
            if (instance == 0) {
                QVERIFY(!seen.contains(udid));
                seen.append(udid);
            } else {
                QCOMPARE(udid, seen.at(address - 1));
            }
        }
    }
}

void TestSimulator::housekeepingCommands()
{
    auto unit = startUnit({});
    QVERIFY(unit);
    SimModule* module = unit->crate().module(1);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    const auto expectEmptyAnswer = [&](quint8 command) {
        const Answer answer = client.ask(1, command);
        QCOMPARE(answer.address, 1);
        QCOMPARE(answer.command, int(command));
        QVERIFY(answer.payload.isEmpty());
    };
    QCOMPARE(module->state(), SimModule::State::Idle);
    expectEmptyAnswer(SimModule::CmdInit);
    QCOMPARE(module->state(), SimModule::State::Running);
    expectEmptyAnswer(SimModule::CmdSilence);
    QCOMPARE(module->state(), SimModule::State::Running);
    expectEmptyAnswer(SimModule::CmdShutDown);
    QCOMPARE(module->state(), SimModule::State::ShutDown);

    // Reboot falls back to what the EEPROM holds; a written EEPROM keeps the change.
    const QByteArray original = module->workingConstants();
    QByteArray changed = original;
    changed[0] = 0x5A;
    QVERIFY(module->setWorkingConstants(changed));
    expectEmptyAnswer(SimModule::CmdReboot);
    QCOMPARE(module->state(), SimModule::State::Idle);
    QCOMPARE(module->workingConstants(), original);
    QVERIFY(module->setWorkingConstants(changed));
    expectEmptyAnswer(SimModule::CmdWriteEeprom);
    expectEmptyAnswer(SimModule::CmdReboot);
    QCOMPARE(module->workingConstants(), changed);
    QCOMPARE(module->eepromConstants(), changed);
    QVERIFY(!module->setWorkingConstants(changed + "x"));
}

void TestSimulator::silence_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("empty address") << frame(9, SimModule::CmdTypeString);
    QTest::newRow("last address, empty") << frame(31, SimModule::CmdTypeString);
    QTest::newRow("unknown command") << frame(1, 0x7F);
    QTest::newRow("common codes 3 and 4") << frame(1, 0x03) + frame(1, 0x04);
    QTest::newRow("address 255, other command") << frame(255, 0x03);
    QTest::newRow("unknown text") << QByteArray("*RST\n");
}

void TestSimulator::silence()
{
    QFETCH(QByteArray, request);
    auto unit = startUnit({});
    QVERIFY(unit);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    client.send(request);
    expectOnlyProbe(client);
}

void TestSimulator::connectionsServedIndependently()
{
    auto unit = startUnit({});
    QVERIFY(unit);
    Client first(unit->server()->serverPort());
    Client second(unit->server()->serverPort());
    QVERIFY(first.waitConnected());
    QVERIFY(second.waitConnected());
    QTRY_COMPARE(unit->server()->connectionCount(), 2);
    first.request(1, SimModule::CmdTypeString);
    second.request(5, SimModule::CmdTypeString);
    first.request(6, SimModule::CmdTypeString);
    Answer answer;
    QVERIFY(second.next(&answer));
    QCOMPARE(answer.address, 5);
    QVERIFY(first.next(&answer));
    QCOMPARE(answer.address, 1);
    QVERIFY(first.next(&answer));
    QCOMPARE(answer.address, 6);
    expectOnlyProbe(second);
}

void TestSimulator::splitAndCoalescedFrames()
{
    auto unit = startUnit({});
    QVERIFY(unit);
    Client client(unit->server()->serverPort());
    Client other(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    QVERIFY(other.waitConnected());

    // The sweep frames to address 255 get an empty answer too.
    client.send(frame(1, SimModule::CmdTypeString) + frame(2, SimModule::CmdUdid) + frame(255, 4) +
                frame(255, 5));
    Answer answer;
    for (const auto& expected :
         {qMakePair(1, 6), qMakePair(2, 5), qMakePair(255, 4), qMakePair(255, 5)}) {
        QVERIFY(client.next(&answer));
        QCOMPARE(qMakePair(answer.address, answer.command), expected);
    }
    QVERIFY(answer.payload.isEmpty());

    // A long payload (length byte above 127) split inside the header and the payload;
    // the other connection's round trip lets the server see each piece on its own. The
    // payload is all '*', which inside a frame is no text query.
    const QByteArray request = frame(3, SimModule::CmdInit, QByteArray(200, '\x2A'));
    for (const QByteArray& piece : {request.left(2), request.mid(2, 100), request.mid(102)}) {
        client.send(piece);
        QCOMPARE(other.ask(1, SimModule::CmdUdid).payload.size(), 12);
    }
    QVERIFY(client.next(&answer));
    QCOMPARE(answer.address, 3);
    QCOMPARE(answer.command, int(SimModule::CmdInit));
    QCOMPARE(unit->crate().module(3)->state(), SimModule::State::Running);
    expectOnlyProbe(client);
}

void TestSimulator::peerLeavingMidFrame()
{
    auto unit = startUnit({"--delay", "50"});
    QVERIFY(unit);
    {
        Client client(unit->server()->serverPort());
        QVERIFY(client.waitConnected());
        // One answer still waiting in the delay queue, then half a frame.
        client.send(frame(1, SimModule::CmdTypeString) + QByteArray("\x01\x06", 2));
        QTRY_COMPARE(unit->server()->connectionCount(), 1);
        client.m_socket.abort();
    }
    QTRY_COMPARE(unit->server()->connectionCount(), 0);
    Client next(unit->server()->serverPort());
    QVERIFY(next.waitConnected());
    expectOnlyProbe(next);
}

void TestSimulator::delayedAnswers()
{
    auto unit = startUnit({"--delay", "150"});
    QVERIFY(unit);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    QElapsedTimer clock;
    clock.start();
    client.send("*IDN?" + frame(1, SimModule::CmdTypeString) + frame(2, SimModule::CmdUdid));
    const QByteArray identification = unit->server()->config().identification;
    QCOMPARE(client.readBytes(identification.size()), identification);
    QVERIFY2(clock.elapsed() >= 140, qPrintable(QString::number(clock.elapsed())));
    Answer answer;
    QVERIFY(client.next(&answer));
    QCOMPARE(answer.address, 1);
    QVERIFY(client.next(&answer));
    QCOMPARE(answer.address, 2);
}

void TestSimulator::dropEverySecondAnswer()
{
    auto unit = startUnit({"--drop-every", "2"});
    QVERIFY(unit);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    // Codes 6 to 10 all answer; the 2nd and 4th answers are lost.
    for (quint8 command = 6; command <= 10; ++command)
        client.request(1, command);
    for (int command : {6, 8, 10}) {
        Answer answer;
        QVERIFY(client.next(&answer));
        QCOMPARE(answer.command, command);
    }
    // The count runs per server, across connections.
    Client other(unit->server()->serverPort());
    QVERIFY(other.waitConnected());
    other.request(1, SimModule::CmdUdid);
    expectOnlyProbe(other);
}

void TestSimulator::truncateEverySecondAnswer()
{
    auto unit = startUnit({"--truncate-every", "2"});
    QVERIFY(unit);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    // Each answer is still a well-formed frame; only its payload is a byte short.
    for (int size : {12, 11, 12, 11}) {
        const Answer answer = client.ask(1, SimModule::CmdUdid);
        QCOMPARE(answer.command, int(SimModule::CmdUdid));
        QCOMPARE(answer.payload.size(), size);
    }
    // An empty answer has nothing to lose, but it counts.
    QVERIFY(client.ask(1, SimModule::CmdInit).payload.isEmpty());
    QVERIFY(client.ask(1, SimModule::CmdInit).payload.isEmpty());
    QCOMPARE(client.ask(1, SimModule::CmdUdid).payload.size(), 12);
}

void TestSimulator::garbageBeforeEverySecondAnswer()
{
    auto unit = startUnit({"--garbage-every", "2"});
    QVERIFY(unit);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    const QByteArray expected = frame(1, SimModule::CmdUdid, unit->crate().module(1)->udid());
    for (int round = 0; round < 3; ++round) {
        client.request(1, SimModule::CmdUdid);
        client.request(1, SimModule::CmdUdid);
        QCOMPARE(client.readBytes(expected.size()), expected);
        QByteArray second = client.readBytes(expected.size() + 1);
        while (!second.endsWith(expected) && second.size() < expected.size() + 4)
            second += client.readBytes(1);
        QVERIFY2(second.endsWith(expected), second.toHex().constData());
        const int garbage = second.size() - expected.size();
        QVERIFY(garbage >= 1 && garbage <= 4);
    }
}

void TestSimulator::closeAfterFrames()
{
    auto unit = startUnit({"--close-after", "2"});
    QVERIFY(unit);
    for (int round = 0; round < 2; ++round) {
        Client client(unit->server()->serverPort());
        QVERIFY(client.waitConnected());
        QCOMPARE(client.ask(1, SimModule::CmdUdid).payload.size(), 12);
        client.request(1, SimModule::CmdTypeString);
        QVERIFY(client.waitDisconnected());
        QVERIFY(client.m_socket.readAll().isEmpty());
        QTRY_COMPARE(unit->server()->connectionCount(), 0);
    }
}

void TestSimulator::silentModule()
{
    auto unit = startUnit({"--silent", "3", "--silent", "5"});
    QVERIFY(unit);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    client.request(3, SimModule::CmdTypeString);
    client.request(5, SimModule::CmdInit);
    expectOnlyProbe(client);
    QCOMPARE(unit->crate().module(5)->state(), SimModule::State::Idle);

    QString error;
    QVERIFY(!startUnit({"--silent", "9"}, &error));
    QVERIFY2(error.contains("9"), qPrintable(error));
}

void TestSimulator::unsolicitedFramesGoToLastRequester()
{
    SimCrate crate;
    QString error;
    QVERIFY(crate.addModule(std::make_unique<StreamingModule>(1), &error));
    QVERIFY(crate.addModule(std::make_unique<SimHeaterM0>(2), &error));
    SimServer server(&crate, SimServerConfig());
    QVERIFY(server.listen(QHostAddress::LocalHost, 0, &error));
    Client bystander(server.serverPort());
    Client requester(server.serverPort());
    QVERIFY(bystander.waitConnected());
    QVERIFY(requester.waitConnected());
    QCOMPARE(bystander.ask(2, SimModule::CmdUdid).payload.size(), 12);

    requester.request(1, 0x40);
    Answer answer;
    QVERIFY(requester.next(&answer));
    QCOMPARE(answer.command, 0x40);
    QVERIFY(requester.next(&answer));
    QCOMPARE(answer.address, 1);
    QCOMPARE(answer.command, 0x41);
    QCOMPARE(answer.payload, QByteArray("point"));
    bystander.request(2, SimModule::CmdUdid);
    QVERIFY(bystander.next(&answer));
    QCOMPARE(answer.address, 2);
}

void TestSimulator::crateFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("crate.json");
    writeFile(path, R"({"modules": [
        {"address": 0, "kind": "LC4TDM1"},
        {"address": 12, "kind": "LC4HTM0", "description": "cold plate heater",
         "udid": "0123-4567-89ab-CDEF-0011-2233", "firmwareVersion": "2.5"},
        {"address": 31, "kind": "LC4SDM0", "udid": "FFEEDDCCBBAA998877665544"}]})");
    auto unit = startUnit({"--crate", path, "--module", "4:LC4CLM0"});
    QVERIFY(unit);
    QCOMPARE(unit->crate().modules().size(), 4);
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    QVERIFY(client.text(0, SimModule::CmdTypeString).contains("LC4TDM1"));
    QVERIFY(client.text(4, SimModule::CmdTypeString).contains("LC4CLM0"));
    QCOMPARE(client.text(12, SimModule::CmdDescription), QString("cold plate heater"));
    QCOMPARE(client.text(12, SimModule::CmdFirmwareVersion), QString("2.5"));
    QCOMPARE(client.ask(12, SimModule::CmdUdid).payload,
             QByteArray::fromHex("0123456789ABCDEF00112233"));
    QCOMPARE(SimModule::udidToText(client.ask(31, SimModule::CmdUdid).payload),
             QString("FFEE-DDCC-BBAA-9988-7766-5544"));
    client.request(1, SimModule::CmdTypeString); // not in this crate
    client.request(0, SimModule::CmdUdid);
    Answer answer;
    QVERIFY(client.next(&answer));
    QCOMPARE(answer.address, 0);

    QString error;
    QVERIFY(!startUnit({"--crate", path, "--module", "12:LC4SDM1"}, &error));
    QVERIFY2(error.contains("12"), qPrintable(error));
}

void TestSimulator::malformedCrateFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("hint");
    const auto one = [](const QByteArray& entry) { return "{\"modules\":[" + entry + "]}"; };
    QTest::newRow("not JSON") << QByteArray("{\"modules\": [") << "JSON";
    QTest::newRow("no modules array") << QByteArray("{\"modules\": {}}") << "modules";
    QTest::newRow("entry not object") << one("3") << "object";
    QTest::newRow("address too high") << one(R"({"address":32,"kind":"LC4HTM0"})") << "address";
    QTest::newRow("address fraction") << one(R"({"address":1.5,"kind":"LC4HTM0"})") << "address";
    QTest::newRow("kind missing") << one(R"({"address":1})") << "kind";
    QTest::newRow("kind unknown") << one(R"({"address":1,"kind":"LC4HTM"})") << "LC4HTM";
    QTest::newRow("misspelt key") << one(R"({"address":1,"kind":"LC4HTM0","descripton":"x"})")
                                  << "descripton";
    QTest::newRow("udid misgrouped")
        << one(R"({"address":1,"kind":"LC4HTM0","udid":"01234-567-89AB-CDEF-0011-2233"})")
        << "udid";
    QTest::newRow("description too long")
        << one(R"({"address":1,"kind":"LC4HTM0","description":")" + QByteArray(255, 'd') + "\"}")
        << "description";
    QTest::newRow("duplicate address")
        << one(R"({"address":1,"kind":"LC4HTM0"},{"address":1,"kind":"LC4SDM0"})") << "twice";
    QTest::newRow("duplicate udid")
        << one(R"({"address":1,"kind":"LC4HTM0","udid":"000000000000000000000001"},)"
               R"({"address":2,"kind":"LC4SDM0","udid":"000000000000000000000001"})")
        << "twice";
    QTest::newRow("good entry before bad one")
        << one(R"({"address":1,"kind":"LC4HTM0"},{"address":2,"kind":"nope"})") << "module 2";
}

void TestSimulator::malformedCrateFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, hint);
    QTemporaryDir dir;
    const QString path = dir.filePath("crate.json");
    writeFile(path, content);
    SimCrate crate;
    QString error;
    QVERIFY(!crate.loadFile(path, &error));
    QVERIFY2(error.contains(path) && error.contains(hint), qPrintable(error));
    QVERIFY(crate.isEmpty());
    QVERIFY(!startUnit({"--crate", path}));
}

void TestSimulator::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("hint");
    QTest::newRow("port too high") << QStringList{"--port", "65536"} << "--port";
    QTest::newRow("negative delay") << QStringList{"--delay", "-1"} << "--delay";
    QTest::newRow("truncate not a number")
        << QStringList{"--truncate-every", "x"} << "--truncate-every";
    QTest::newRow("negative garbage") << QStringList{"--garbage-every", "-2"} << "--garbage-every";
    QTest::newRow("bad listen address") << QStringList{"--listen", "nowhere"} << "--listen";
    QTest::newRow("stray argument") << QStringList{"crate.json"} << "crate.json";
    QTest::newRow("module without kind") << QStringList{"--module", "4"} << "ADDR:KIND";
    QTest::newRow("module twice") << QStringList{"--module", "4:LC4HTM0", "--module", "4:LC4SDM0"}
                                  << "twice";
    QTest::newRow("missing crate")
        << QStringList{"--crate", "/nonexistent/crate.json"} << "/nonexistent/crate.json";
}

void TestSimulator::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, hint);
    QString error;
    QVERIFY(!startUnit(arguments, &error));
    QVERIFY2(error.contains(hint), qPrintable(error));
}

void TestSimulator::eepromSurvivesRestart()
{
    QTemporaryDir dir;
    const QString state = dir.filePath("state.json");
    QByteArray constants(32, '\0');
    for (int i = 0; i < constants.size(); ++i)
        constants[i] = char(0xA0 + i);
    {
        auto unit = startUnit({"--state", state});
        QVERIFY(unit);
        QVERIFY(!QFile::exists(state));
        QVERIFY(unit->crate().module(1)->setWorkingConstants(constants));
        // Changed, never written: must not survive.
        QVERIFY(unit->crate().module(2)->setWorkingConstants(QByteArray(44, '\x11')));
        Client client(unit->server()->serverPort());
        QVERIFY(client.waitConnected());
        const Answer answer = client.ask(1, SimModule::CmdWriteEeprom);
        QCOMPARE(answer.command, int(SimModule::CmdWriteEeprom));
        QVERIFY(QFile::exists(state));
    }
    {
        auto unit = startUnit({"--state", state});
        QVERIFY(unit);
        QCOMPARE(unit->crate().module(1)->workingConstants(), constants);
        QCOMPARE(unit->crate().module(1)->eepromConstants(), constants);
        QCOMPARE(unit->crate().module(2)->workingConstants(),
                 SimSspdDriverM1(2).workingConstants());
    }
    // A unit with another crate keeps the entries of modules it does not have.
    {
        auto unit = startUnit({"--state", state, "--module", "9:LC4HTM0"});
        QVERIFY(unit);
        Client client(unit->server()->serverPort());
        QVERIFY(client.waitConnected());
        QCOMPARE(client.ask(9, SimModule::CmdWriteEeprom).command, int(SimModule::CmdWriteEeprom));
    }
    auto unit = startUnit({"--state", state});
    QVERIFY(unit);
    QCOMPARE(unit->crate().module(1)->workingConstants(), constants);
}

void TestSimulator::corruptStateFile_data()
{
    SimCrate crate;
    crate.addDefaultModules();
    const QByteArray udid = SimModule::udidToText(crate.module(1)->udid()).toLatin1();
    const auto entry = [&](const QByteArray& body) {
        return "{\"modules\":{\"" + udid + "\":" + body + "}}";
    };
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not JSON") << QByteArray("modules");
    QTest::newRow("key not a UDID")
        << QByteArray(R"({"modules":{"1":{"kind":"LC4SDM0","eeprom":""}}})");
    QTest::newRow("eeprom not hex")
        << entry(R"({"kind":"LC4SDM0","eeprom":")" + QByteArray(62, '0') + "zz\"}");
    QTest::newRow("eeprom wrong size") << entry(R"({"kind":"LC4SDM0","eeprom":"0011"})");
    QTest::newRow("other kind") << entry(R"({"kind":"LC4HTM0","eeprom":")" + QByteArray(64, '0') +
                                         "\"}");
}

void TestSimulator::corruptStateFile()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString state = dir.filePath("state.json");
    writeFile(state, content);
    QString error;
    QVERIFY(!startUnit({"--state", state}, &error));
    QVERIFY2(error.contains(state), qPrintable(error));
}

void TestSimulator::unwritableStateLeavesEepromWriteUnanswered()
{
    QTemporaryDir dir;
    auto unit = startUnit({"--state", dir.filePath("missing/state.json")});
    QVERIFY(unit);
    SimModule* module = unit->crate().module(1);
    const QByteArray before = module->eepromConstants();
    QVERIFY(module->setWorkingConstants(QByteArray(32, '\x7F')));
    Client client(unit->server()->serverPort());
    QVERIFY(client.waitConnected());
    client.request(1, SimModule::CmdWriteEeprom);
    expectOnlyProbe(client);
    QCOMPARE(module->eepromConstants(), before);
}

void TestSimulator::binaryEndToEnd()
{
    QProcess process;
    process.start(LC_SIMULATOR_BINARY, {"--listen", "127.0.0.1", "--port", "0", "--no-discovery"});
    QVERIFY(process.waitForStarted());
    QSignalSpy output(&process, &QProcess::readyReadStandardOutput);
    QByteArray banner;
    const QRegularExpression listening("listening on 127.0.0.1 port (\\d+)\\n");
    QRegularExpressionMatch match;
    QDeadlineTimer deadline(5000);
    while (!(match = listening.match(QString::fromUtf8(banner))).hasMatch()) {
        QVERIFY2(!deadline.hasExpired() && output.wait(int(deadline.remainingTime())),
                 banner.constData());
        banner += process.readAllStandardOutput();
    }
    Client client(quint16(match.captured(1).toUInt()));
    QVERIFY(client.waitConnected());
    client.send("*IDN?");
    const QByteArray identification = SimServerConfig().identification;
    QVERIFY(client.readBytes(identification.size()).startsWith("Velmora Lumicrate"));
    QVERIFY(client.text(6, SimModule::CmdTypeString).contains("LC4TDM0"));

    process.terminate();
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void TestSimulator::binaryRejectsBadCrate()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("crate.json");
    writeFile(path, R"({"modules":[{"address":40,"kind":"LC4HTM0"}]})");
    QProcess process;
    process.start(LC_SIMULATOR_BINARY,
                  {"--listen", "127.0.0.1", "--port", "0", "--no-discovery", "--crate", path});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(process.exitCode() != 0);
    const QByteArray error = process.readAllStandardError();
    QVERIFY2(error.contains(path.toUtf8()) && error.contains("address"), error.constData());
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
