// Calibration records without real servers: names, paths, the upload script and
// listing parsing; the save and open dialogs on the simulator with a stand-in
// upload tool and a scripted HTTP server.
#include "calibrationrecord.h"
#include "calibrationtestsupport.h"
#include "fakeunit.h"
#include "opendialog.h"
#include "savedialog.h"
#include "simfixture.h"
#include "simmodule.h"
#include "uploadscript.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolButton>

namespace {

QSettings settings()
{
    return QSettings(QStringLiteral("Velmora"), QStringLiteral("Lumicrate4_Calibration"));
}

QString const udid = QStringLiteral("0123-4567-89AB-CDEF-0011-2233");
QString const otherUdid = QStringLiteral("0123-4567-89AB-CDEF-0011-2234");
QString const badRecord =
    QStringLiteral("Error|Something wrong at preparing calibration data. Please try again");

QByteArray readFile(QString const& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(QString const& path, QByteArray const& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every file and directory below `root`, relative to it.
QStringList treeOf(QString const& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(root).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

// A stand-in upload tool: it keeps its arguments, the script, the record it would
// send and what its standard input gave, then behaves as the file "behaviour" says.
QByteArray const fakeTool = R"sh(#!/bin/bash
dir=$(dirname "$0")
printf '%s\n' "$@" > "$dir/argv"
script=${2#/script=}
cp "$script" "$dir/script"
record=$(grep -o '^put "[^"]*"' "$script" | sed 's/^put "//; s/"$//')
cp "$record" "$dir/record"
stat -c %a "$(dirname "$record")" > "$dir/tempmode"
read -t 2 line; echo $? > "$dir/stdin"
echo "Session started."
echo "bad <b>news</b>" >&2
echo $$ > "$dir/pid"
case $(cat "$dir/behaviour") in
  fail) exit 1 ;;
  crash) kill -KILL $$ ;;
  hang) trap '' TERM; while :; do sleep 0.1; done ;;
esac
printf 'no line end'
)sh";

// A one-request-per-connection HTTP server with an answer per path; a path
// without an answer gets 404, a silent one none at all.
class HttpStub : public QObject
{
public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        bool silent = false;
    };

    HttpStub()
    {
        m_server.listen(QHostAddress(QHostAddress::LocalHost), 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
    }
    QString address() const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }

    QMap<QByteArray, Answer> answers;
    QList<QByteArray> requests;

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        if (!pending.contains("\r\n\r\n"))
            return;
        const QByteArray path = pending.split(' ').value(1);
        requests << path;
        const Answer answer = answers.value(path, Answer{404, "not here", false});
        if (answer.silent)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(answer.status) +
                      " X\r\nConnection: close\r\nContent-Length: " +
                      QByteArray::number(answer.body.size()) + "\r\n\r\n" + answer.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QMap<QTcpSocket*, QByteArray> m_pending;
};

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dialogs = std::make_unique<CalibrationTestDialogs>();
        settings().clear();
        QVERIFY(m_tree.isValid() && m_tool.isValid() && m_temp.isValid());
        // Temporary upload files are looked for here.
        qputenv("TMPDIR", m_temp.path().toUtf8());
        m_root = m_tree.filePath("records");
        QVERIFY(QDir().mkpath(m_root));
    }
    void cleanup()
    {
        m_dialog.reset();
        m_link.reset();
        m_unit.reset();
        m_fake.reset();
        m_dialogs.reset();
        for (QTemporaryDir const* directory : {&m_tree, &m_tool, &m_temp}) {
            QDir(directory->path()).removeRecursively();
            QDir().mkpath(directory->path());
        }
    }

    void recordNamesAndDirectories();
    void uploadScriptIsExact();
    void listingsYieldOnlyThisModulesRecords_data();
    void listingsYieldOnlyThisModulesRecords();
    void saveDialogTakesItsSettingsAndChoosers();
    void saveWithNothingCheckedOnlyWritesSettings();
    void localSaveWritesTheRecordTree();
    void failedLocalSaveStopsBeforeUpload();
    void hostileTypeStringsCreateNothing_data();
    void hostileTypeStringsCreateNothing();
    void identityReadsMustBeWhole_data();
    void identityReadsMustBeWhole();
    void keyAndToolPathsAreChecked_data();
    void keyAndToolPathsAreChecked();
    void uploadRunsTheToolWithItsScript();
    void toolFailuresAreReported_data();
    void toolFailuresAreReported();
    void openFromFileOffersOnlyThisModule();
    void openFromFileRefusesForeignOrBrokenRecords_data();
    void openFromFileRefusesForeignOrBrokenRecords();
    void serverListingOffersOnlyThisModule();
    void listingFailuresCloseWithAWarning_data();
    void listingFailuresCloseWithAWarning();
    void recordDownloadFailuresLeaveTheEditor_data();
    void recordDownloadFailuresLeaveTheEditor();

private:
    // The simulator's default crate, or modules of the given kinds and type strings.
    void openModule(int address, QJsonArray const& crate = {})
    {
        QStringList arguments;
        if (!crate.isEmpty()) {
            writeFile(m_tree.filePath("crate.json"),
                      QJsonDocument(QJsonObject{{"modules", crate}}).toJson());
            arguments << "--crate" << m_tree.filePath("crate.json");
        }
        QString error;
        m_unit = startSimUnit(arguments, &error);
        QVERIFY2(m_unit, qPrintable(error));
        m_link.reset(linkTo(*m_unit));
        m_dialog = openMainDialog(m_link.get(), address, module(address)->typeString());
        QVERIFY(m_dialogs->warnings.isEmpty());
    }
    SimModule* module(int address) const { return m_unit->crate().module(address); }
    QString deviceName(int address) const { return SimModule::udidToText(module(address)->udid()); }
    SaveDialog* saveDialog() const { return m_dialog->findChild<SaveDialog*>(); }
    OpenDialog* openDialog() const { return m_dialog->findChild<OpenDialog*>(); }
    QLineEdit* edit(QObject const* parent, QString const& name) const
    {
        return child<QLineEdit>(parent, name);
    }
    QString log() const { return child<QPlainTextEdit>(saveDialog(), "teLog")->toPlainText(); }

    // Fills the save dialog's form and presses its Save button.
    void save(SaveDialog* dialog, bool toFile, bool toServer, QString const& key = QString())
    {
        child<QGroupBox>(dialog, "gbSaveFile")->setChecked(toFile);
        child<QGroupBox>(dialog, "gbSaveFtp")->setChecked(toServer);
        edit(dialog, "leFilePath")->setText(m_root);
        edit(dialog, "leWinScp")->setText(m_tool.filePath("winscp.com"));
        edit(dialog, "lePrivateKey")->setText(key.isEmpty() ? m_tool.filePath("user.ppk") : key);
        QTest::mouseClick(
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Save),
            Qt::LeftButton);
    }
    // A stand-in tool and key, and server settings the tool is never asked about.
    void useFakeTool(QByteArray const& behaviour = "succeed")
    {
        writeFile(m_tool.filePath("winscp.com"), fakeTool);
        QFile::setPermissions(m_tool.filePath("winscp.com"), QFile::ReadOwner | QFile::ExeOwner);
        writeFile(m_tool.filePath("behaviour"), behaviour);
        writeFile(m_tool.filePath("user.ppk"), "PuTTY-User-Key-File-3: ssh-ed25519\n");
        settings().setValue("ServerSshHost", "records.example");
        settings().setValue("ServerSshUser", "lumicrate");
        settings().setValue("ServerSshPort", 2222);
        settings().setValue("ServerHostKey",
                            "ssh-ed25519 255 AAAAC3NzaC1lZDI1NTE5AAAAIJTg60+wf2yR5o");
    }
    bool toolRan() const { return QFile::exists(m_tool.filePath("argv")); }
    // The fields of the current editor, in order.
    QStringList fields() const
    {
        QStringList texts;
        for (QLineEdit* field : m_dialog->driverWidget()->findChildren<QLineEdit*>())
            texts << field->text();
        return texts;
    }
    QStringList allFields(QString const& text) const
    {
        QStringList texts;
        for (int i = 0; i < fields().size(); ++i)
            texts << text;
        return texts;
    }
    void setAllFields(QString const& text)
    {
        for (QLineEdit* field : m_dialog->driverWidget()->findChildren<QLineEdit*>())
            field->setText(text);
    }
    QByteArray recordOf(int address) const
    {
        QJsonObject record = m_dialog->driverWidget()->eepromToJson();
        record.insert("DeviceType", module(address)->typeString());
        record.insert("UDID", deviceName(address));
        return CalibrationRecord::document(record);
    }
    QString listingPath(int address) const
    {
        return CalibrationRecord::publishedUrl("http://h", module(address)->typeString())
            .path(QUrl::FullyEncoded);
    }

    QTemporaryDir m_tree;
    QTemporaryDir m_tool;
    QTemporaryDir m_temp;
    QString m_root;
    std::unique_ptr<CalibrationTestDialogs> m_dialogs;
    std::unique_ptr<SimUnit> m_unit;
    std::unique_ptr<FakeUnit> m_fake;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
    std::unique_ptr<MainDialog> m_dialog;
};

void TestRecords::recordNamesAndDirectories()
{
    const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 59));
    QCOMPARE(CalibrationRecord::fileName(udid, time),
             QString("0123-4567-89AB-CDEF-0011-2233_2026_03_04_05_06.json"));
    QCOMPARE(CalibrationRecord::fileName(udid, time).size(), 51);
    QVERIFY(CalibrationRecord::isDeviceName(udid));
    for (const char* name : {"", "0123-4567-89ab-CDEF-0011-2233", "0123-4567-89AB-CDEF-0011-223",
                             "0123-4567-89AB-CDEF-0011-2233/", "01234567-89AB-CDEF-0011-2233-"})
        QVERIFY2(!CalibrationRecord::isDeviceName(name), name);

    for (const char* type : {"LC4HTM0", "LC4HTM0 heater #1?", "LC4SDM1 (v2) 100%"})
        QVERIFY2(CalibrationRecord::isDirectoryName(type), type);
    for (QString type : {"", ".", "..", "LC4HTM0 ../../x", "LC4HTM0/x", "LC4HTM0\\x",
                         "LC4HTM0\r\nx", "LC4HTM0 \"x\"", "LC4HTM0\tx", "LC4HTM0\x7f"})
        QVERIFY2(!CalibrationRecord::isDirectoryName(type), qPrintable(type));

    // Every segment is percent-encoded; a base address may carry a path of its own.
    QCOMPARE(CalibrationRecord::publishedUrl("http://h:8080", "LC4HTM0 #1?%")
                 .toString(QUrl::FullyEncoded),
             QString("http://h:8080/lumicrate4/Calibration/LC4HTM0%20%231%3F%25/"));
    QCOMPARE(CalibrationRecord::publishedUrl("https://h/mirror/", "LC4BSM0", "a b.json")
                 .toString(QUrl::FullyEncoded),
             QString("https://h/mirror/lumicrate4/Calibration/LC4BSM0/a%20b.json"));
    QCOMPARE(CalibrationRecord::serverDirectory("LC4BSM0"),
             QString("/var/www/html/lumicrate4/Calibration/LC4BSM0/"));
}

void TestRecords::uploadScriptIsExact()
{
    CalibrationServer server;
    server.sshHost = "records.example";
    server.sshUser = "lumicrate";
    server.hostKey = "ssh-ed25519 255 abc+/def";
    const QByteArray tail =
        " -privatekey=\"/keys/my key.ppk\" -hostkey=\"ssh-ed25519 255 abc+/def\" -rawsettings "
        "Cipher=\"aes,blowfish,3des,chacha20,WARN,arcfour,des\" "
        "KEX=\"ecdh,dh-gex-sha1,dh-group14-sha1,dh-group1-sha1,rsa,WARN\"\r\n"
        "option batch continue\r\n"
        "mkdir \"/var/www/html/lumicrate4/Calibration/LC4HTM0 %1/\"\r\n"
        "option batch abort\r\n"
        "put \"/tmp/x y/%2.json\" \"/var/www/html/lumicrate4/Calibration/LC4HTM0 %1/\"\r\n"
        "exit";
    QCOMPARE(uploadScript(server, "/keys/my key.ppk", "/tmp/x y/%2.json", "LC4HTM0 %1"),
             "open scp://lumicrate@records.example/" + tail);
    server.sshPort = 2222;
    QCOMPARE(uploadScript(server, "/keys/my key.ppk", "/tmp/x y/%2.json", "LC4HTM0 %1"),
             "open scp://lumicrate@records.example:2222/" + tail);

    for (const char* host : {"", "-oProxyCommand=x", "a b", "a\"b", "user@host"}) {
        server.sshHost = host;
        QCOMPARE(server.uploadProblem(), QString("ServerSshHost"));
    }
    server.sshHost = "records.example";
    server.hostKey = "ssh-ed25519 255 abc\" -x=\"";
    QCOMPARE(server.uploadProblem(), QString("ServerHostKey"));
    server.hostKey.clear();
    QCOMPARE(server.uploadProblem(), QString("ServerHostKey"));
}

void TestRecords::listingsYieldOnlyThisModulesRecords_data()
{
    const QString name1 = udid + "_2026_01_02_03_04.json";
    const QString name2 = udid + "_2026_01_02_03_05.json";
    const QString foreign = otherUdid + "_2026_01_02_03_04.json";
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QStringList>("records");
    // nginx shortens link texts of more than 50 characters.
    QTest::newRow("shortened link texts")
        << QString("<html><body><h1>Index of /x/</h1><hr><pre><a href=\"../\">../</a>\r\n"
                   "<a href=\"%2\">%3..&gt;</a> 09-Dec-2026 20:00  912\r\n"
                   "<a href=\"%1\">%3..&gt;</a> 09-Dec-2026 20:00  912\r\n"
                   "<a href=\"%4\">%5..&gt;</a> 09-Dec-2026 20:00  912\r\n</pre></body></html>")
               .arg(name1, name2, name1.left(47), foreign, foreign.left(47))
        << QStringList{name1, name2};
    QTest::newRow("percent-encoded targets and entities")
        << QString("<ul><li><a href='%1'>x</a></li><li><a title=t HREF=%2>y</a></li>"
                   "<li><a href=\"%3\">z</a></li></ul>")
               .arg(QString(name1).replace("-", "%2D"), name2,
                    QString(name1).replace(".json", "&amp;.json"))
        << QStringList{udid + "_2026_01_02_03_04&.json", name1, name2};
    QTest::newRow("names that leave the directory are skipped")
        << QString(
               "<a href=\"..%2FNAME\">a</a><a href=\"%2FNAME\">b</a><a href=\"sub/NAME\">c</a>"
               "<a href=\"x%5CNAME\">d</a><a href=\"NAME?x.json\">e</a><a "
               "href=\"NAME%23.json\">f</a>"
               "<a href=\"NAME%0D%0A.json\">g</a><a href=\"..NAME\">h</a><a href=\"NAME.txt\">i</a>"
               "<a href=\"NAME\">ok</a><a href=\"NAME\">twice</a>")
               .replace("NAME", name1)
        << QStringList{name1};
    // Without link targets the link texts count.
    QTest::newRow("texts only") << QString("<p>%1\">%2.json</a></p><p>%3\">%3.json</a>")
                                       .arg(".json", QString(name1).chopped(5), foreign)
                                << QStringList{name1};
    QTest::newRow("empty") << QString() << QStringList();
}

void TestRecords::listingsYieldOnlyThisModulesRecords()
{
    QFETCH(QString, listing);
    QFETCH(QStringList, records);
    QCOMPARE(CalibrationRecord::listedRecords(listing, udid), records);
}

void TestRecords::saveDialogTakesItsSettingsAndChoosers()
{
    settings().setValue("FilePath", "/records");
    settings().setValue("PrivateKeyPath", "/keys/a.ppk");
    settings().setValue("WinScp", "/opt/winscp.com");
    settings().setValue("SaveToFile", true);
    settings().setValue("SaveToFtp", true);
    settings().setValue("WinScpDownloadPage", "https://example.org/tool");
    SaveDialog dialog;
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString("Save data..."));
    QCOMPARE(edit(&dialog, "leFilePath")->text(), QString("/records"));
    QCOMPARE(edit(&dialog, "lePrivateKey")->text(), QString("/keys/a.ppk"));
    QCOMPARE(edit(&dialog, "leWinScp")->text(), QString("/opt/winscp.com"));
    QVERIFY(child<QGroupBox>(&dialog, "gbSaveFile")->isChecked());
    QVERIFY(child<QGroupBox>(&dialog, "gbSaveFtp")->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, "cbCloseAfterSaving")->isChecked());
    QCOMPARE(edit(&dialog, "leWinScp")->minimumWidth(), 260);
    QVERIFY(!child<QToolButton>(&dialog, "tbDownload")->icon().isNull());

    m_dialogs->fileToOpen = "/chosen";
    for (const char* button : {"tbFilePath", "tbPrivateKeyPath", "tbWinScp"})
        QTest::mouseClick(child<QToolButton>(&dialog, button), Qt::LeftButton);
    QCOMPARE(m_dialogs->fileDialogs,
             (QStringList{"Path to Directory containing calibration...|/records",
                          "Private key file...|/keys/a.ppk|Putty private key files (*.ppk)",
                          "WinScp Utility...|/opt/winscp.com|WinScp Utility (winscp.com)"}));
    QCOMPARE(edit(&dialog, "leWinScp")->text(), QString("/chosen"));
    // A cancelled chooser leaves the path.
    m_dialogs->fileToOpen.clear();
    QTest::mouseClick(child<QToolButton>(&dialog, "tbFilePath"), Qt::LeftButton);
    QCOMPARE(edit(&dialog, "leFilePath")->text(), QString("/chosen"));

    QTest::mouseClick(child<QToolButton>(&dialog, "tbDownload"), Qt::LeftButton);
    QCOMPARE(m_dialogs->openedUrls, (QList<QUrl>{QUrl("https://example.org/tool")}));
}

void TestRecords::saveWithNothingCheckedOnlyWritesSettings()
{
    openModule(4);
    const bool leftOpen = whileShown<SaveDialog>(
        m_dialog.get(), "pbSave", [this](SaveDialog* dialog) { save(dialog, false, false); });
    QVERIFY(!leftOpen);
    QCOMPARE(settings().value("FilePath").toString(), m_root);
    QCOMPARE(settings().value("WinScp").toString(), m_tool.filePath("winscp.com"));
    QCOMPARE(settings().value("PrivateKeyPath").toString(), m_tool.filePath("user.ppk"));
    QCOMPARE(settings().value("SaveToFile").toBool(), false);
    QVERIFY(treeOf(m_root).isEmpty());
    QVERIFY(m_dialogs->errors.isEmpty());
}

void TestRecords::localSaveWritesTheRecordTree()
{
    openModule(3);
    const QString type = module(3)->typeString();
    QString before;
    QString after;
    // Two saves in one minute give one file; a minute that turns between them is retried.
    for (int round = 0; round < 2 && (before.isEmpty() || before != after); ++round) {
        QDir(m_root).removeRecursively();
        before = CalibrationRecord::fileName(deviceName(3), QDateTime::currentDateTime());
        for (int i = 0; i < 2; ++i)
            QVERIFY(!whileShown<SaveDialog>(m_dialog.get(), "pbSave", [this](SaveDialog* dialog) {
                save(dialog, true, false);
            }));
        after = CalibrationRecord::fileName(deviceName(3), QDateTime::currentDateTime());
    }
    QCOMPARE(treeOf(m_root), (QStringList{type, type + "/" + before}));
    const QByteArray saved = readFile(m_root + "/" + type + "/" + before);
    QCOMPARE(saved, recordOf(3));
    const QJsonObject record = QJsonDocument::fromJson(saved).object();
    QCOMPARE(record.value("UDID").toString(), deviceName(3));
    QCOMPARE(record.value("DeviceType").toString(), type);
    QVERIFY(record.contains("CurrentLimits"));
    QVERIFY(saved.contains("\n    \"CurrentStep\""));
    QVERIFY(log().contains("Save data to file!!!\nSave data to the file: " + m_root + "/" + type +
                           "/" + before + "\nDone!!!"));
    QCOMPARE(settings().value("SaveToFile").toBool(), true);

    // A record that cannot be written is reported, and the settings stay.
    settings().clear();
    QDir(m_root).removeRecursively();
    // Both minutes the save may fall into.
    for (int seconds : {0, 60})
        QVERIFY(QDir().mkpath(m_root + "/" + type + "/" +
                              CalibrationRecord::fileName(
                                  deviceName(3), QDateTime::currentDateTime().addSecs(seconds))));
    QVERIFY2(whileShown<SaveDialog>(m_dialog.get(), "pbSave",
                                    [this](SaveDialog* dialog) { save(dialog, true, false); }),
             qPrintable(log()));
    QCOMPARE(m_dialogs->errors, QStringList{"Error|Couldn't open save file."});
    QVERIFY(settings().allKeys().isEmpty());
}

void TestRecords::failedLocalSaveStopsBeforeUpload()
{
    useFakeTool();
    openModule(5);
    bool enabled = false;
    QVERIFY(whileShown<SaveDialog>(m_dialog.get(), "pbSave", [&](SaveDialog* dialog) {
        edit(dialog, "leFilePath")->clear();
        child<QGroupBox>(dialog, "gbSaveFile")->setChecked(true);
        child<QGroupBox>(dialog, "gbSaveFtp")->setChecked(true);
        dialog->on_buttonBox_accepted();
        enabled = dialog->isEnabled();
    }));
    QVERIFY(enabled);
    QCOMPARE(m_dialogs->errors, QStringList{"Error|Directory string is empty"});
    QVERIFY(!toolRan());
    QVERIFY(!settings().contains("FilePath"));
}

void TestRecords::hostileTypeStringsCreateNothing_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("traversal") << "LC4HTM0 ../../x";
    QTest::newRow("line break") << "LC4HTM0\r\nx";
    QTest::newRow("quote") << "LC4HTM0 \"x";
    QTest::newRow("backslash") << "LC4HTM0\\..\\x";
}

void TestRecords::hostileTypeStringsCreateNothing()
{
    QFETCH(QString, type);
    useFakeTool();
    openModule(2, {QJsonObject{{"address", 2}, {"kind", "LC4HTM0"}, {"typeString", type}}});
    const QStringList outside = treeOf(m_tree.path());
    QVERIFY(!whileShown<SaveDialog>(m_dialog.get(), "pbSave",
                                    [this](SaveDialog* dialog) { save(dialog, true, true); }));
    QCOMPARE(m_dialogs->errors.size(), 1);
    QVERIFY2(m_dialogs->errors.at(0).contains("cannot name a directory"),
             qPrintable(m_dialogs->errors.at(0)));
    QCOMPARE(treeOf(m_tree.path()), outside);
    QVERIFY(!toolRan());

    // The server is never asked for such a type's records either.
    m_dialogs->errors.clear();
    HttpStub server;
    settings().setValue("ServerHttpAddress", server.address());
    QVERIFY(whileShown<OpenDialog>(m_dialog.get(), "pbLoad", [](OpenDialog* dialog) {
        dialog->on_pbReceiveFromFtp_clicked();
        dialog->on_pbOpenFile_clicked();
    }));
    QCOMPARE(m_dialogs->errors.size(), 2);
    QVERIFY(server.requests.isEmpty());
    QVERIFY(m_dialogs->fileDialogs.isEmpty());
}

void TestRecords::identityReadsMustBeWhole_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("udid");
    QTest::newRow("no UDID answer") << QByteArray("LC4SDM0 SSPD driver") << QByteArray();
    QTest::newRow("short UDID") << QByteArray("LC4SDM0 SSPD driver") << QByteArray(6, '\x11');
    QTest::newRow("empty type") << QByteArray() << QByteArray(12, '\x11');
    QTest::newRow("whole") << QByteArray("LC4SDM0 SSPD driver") << QByteArray(12, '\x11');
}

void TestRecords::identityReadsMustBeWhole()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, udid);
    m_fake = std::make_unique<FakeUnit>();
    m_fake->answer(3, 0x06, FakeUnit::frame(3, 0x06, "LC4SDM0 SSPD driver"));
    m_fake->answer(3, 0x29, FakeUnit::frame(3, 0x29, QByteArray(32, '\0')));
    m_link = std::make_unique<lcTcpSocketIOInterface>();
    m_link->setAddress(m_fake->address());
    m_link->setPort(m_fake->port());
    m_dialog = openMainDialog(m_link.get(), 3, "LC4SDM0 SSPD driver");
    m_fake->clearRules();
    m_fake->answer(3, 0x06, FakeUnit::frame(3, 0x06, type + '\0'));
    if (!udid.isEmpty())
        m_fake->answer(3, 0x05, FakeUnit::frame(3, 0x05, udid));

    QStringList shown;
    whileShown<SaveDialog>(m_dialog.get(), "pbSave", [&](SaveDialog* dialog) {
        shown << "save";
        shown << dialog->findChild<QGroupBox*>("gbSaveFile")->title();
    });
    whileShown<OpenDialog>(m_dialog.get(), "pbLoad", [&](OpenDialog*) { shown << "open"; });
    if (QTest::currentDataTag() == QLatin1String("whole")) {
        QCOMPARE(shown, (QStringList{"save", "Save to File", "open"}));
        QVERIFY(m_dialogs->errors.isEmpty());
    } else {
        QVERIFY(shown.isEmpty());
        QCOMPARE(m_dialogs->errors, (QStringList{badRecord, badRecord}));
    }
    for (QWidget* control : mainDialogControls(m_dialog.get()))
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
}

void TestRecords::keyAndToolPathsAreChecked_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("error");
    const QString keyError = "Error|Thre is some problem with private key filename.";
    QTest::newRow("upper-case PPK") << "KEY.PPK"
                                    << "winscp.com" << QString();
    QTest::newRow("key missing") << "missing.ppk"
                                 << "winscp.com" << keyError;
    QTest::newRow("not a ppk name") << "key.pem"
                                    << "winscp.com" << keyError;
    QTest::newRow("quote in key path") << "my\"key.ppk"
                                       << "winscp.com" << keyError;
    QTest::newRow("line break in key path") << "my\nkey.ppk"
                                            << "winscp.com" << keyError;
    QTest::newRow("tool of another name") << "KEY.PPK"
                                          << "upload.sh"
                                          << "Error|Thre is some problem with WinScp location.";
    QTest::newRow("tool missing") << "KEY.PPK"
                                  << "gone/winscp.com"
                                  << "Error|Thre is some problem with WinScp location.";
}

void TestRecords::keyAndToolPathsAreChecked()
{
    QFETCH(QString, key);
    QFETCH(QString, tool);
    QFETCH(QString, error);
    useFakeTool();
    for (const char* name : {"KEY.PPK", "key.pem", "my\"key.ppk", "my\nkey.ppk"})
        writeFile(m_tool.filePath(name), "key");
    QFile::copy(m_tool.filePath("winscp.com"), m_tool.filePath("upload.sh"));
    openModule(6);
    const bool leftOpen = whileShown<SaveDialog>(m_dialog.get(), "pbSave", [&](SaveDialog* dialog) {
        child<QGroupBox>(dialog, "gbSaveFtp")->setChecked(true);
        edit(dialog, "leWinScp")->setText(m_tool.filePath(tool));
        edit(dialog, "lePrivateKey")->setText(m_tool.filePath(key));
        dialog->on_buttonBox_accepted();
    });
    QCOMPARE(m_dialogs->errors, error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(leftOpen, !error.isEmpty());
    QCOMPARE(toolRan(), error.isEmpty());
    QCOMPARE(settings().contains("WinScp"), error.isEmpty());
}

void TestRecords::uploadRunsTheToolWithItsScript()
{
    useFakeTool();
    openModule(7);
    const QString type = module(7)->typeString();
    QVERIFY(!whileShown<SaveDialog>(m_dialog.get(), "pbSave",
                                    [this](SaveDialog* dialog) { save(dialog, false, true); }));
    QVERIFY2(m_dialogs->errors.isEmpty(), qPrintable(m_dialogs->errors.join('\n')));

    const QString script = QString::fromUtf8(readFile(m_tool.filePath("argv"))).section('\n', 1, 1);
    QVERIFY(script.startsWith("/script="));
    const QString scriptPath = script.mid(8);
    const QString directory = QFileInfo(scriptPath).path();
    QCOMPARE(readFile(m_tool.filePath("argv")), ("/ini=nul\n" + script + "\n").toUtf8());
    QCOMPARE(QFileInfo(scriptPath).fileName(), QString("script.tmp"));
    QVERIFY(QFileInfo(directory).fileName().startsWith("lc-upload-"));
    QCOMPARE(readFile(m_tool.filePath("tempmode")), QByteArray("700\n"));
    // Its standard input ends at once instead of waiting for a user.
    QCOMPARE(readFile(m_tool.filePath("stdin")), QByteArray("1\n"));
    QCOMPARE(readFile(m_tool.filePath("record")), recordOf(7));

    const QString recordPath = directory + "/" +
                               QString::fromUtf8(readFile(m_tool.filePath("script")))
                                   .section("put \"", 1)
                                   .section('"', 0, 0)
                                   .section('/', -1);
    QCOMPARE(readFile(m_tool.filePath("script")),
             uploadScript(CalibrationServer::fromSettings(), m_tool.filePath("user.ppk"),
                          recordPath, type));
    QVERIFY(QFileInfo(recordPath).fileName().startsWith(deviceName(7) + "_"));
    // Both temporary files go with their directory.
    QVERIFY(!QFileInfo::exists(directory));

    const QString text = log();
    QVERIFY(text.contains("Save data to ftp!!!\nPreparing tmp_file: " + recordPath +
                          "\nDone!!!\nPreparing script file: " + scriptPath +
                          "\nDone!!!\nStart WinScp process\n\"" + m_tool.filePath("winscp.com") +
                          "\" /ini=nul /script=\"" + scriptPath + "\"\n"));
    QVERIFY(text.contains("Session started.\n"));
    QVERIFY(text.contains("bad <b>news</b>\n"));
    QVERIFY(text.endsWith("no line end\nDelete tmp_file\nDone!!!"));
    QVERIFY(
        child<QPlainTextEdit>(saveDialog(), "teLog")->document()->toHtml().contains("&lt;b&gt;"));
    QCOMPARE(settings().value("SaveToFtp").toBool(), true);
}

void TestRecords::toolFailuresAreReported_data()
{
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<QString>("error");
    QTest::newRow("exit 1") << QByteArray("fail")
                            << "Error|WinScp ended with exit code 1. The record was not uploaded.";
    QTest::newRow("killed") << QByteArray("crash") << "Error|WinScp ended abnormally.";
    QTest::newRow("hangs") << QByteArray("hang")
                           << "Error|WinScp did not finish within 0.4 s and was stopped.";
    QTest::newRow("not executable") << QByteArray() << "Error|Can't start WinScp process!!!";
}

void TestRecords::toolFailuresAreReported()
{
    QFETCH(QByteArray, behaviour);
    QFETCH(QString, error);
    useFakeTool(behaviour);
    if (behaviour.isEmpty())
        QFile::setPermissions(m_tool.filePath("winscp.com"), QFile::ReadOwner);
    settings().setValue("FilePath", "/before");
    openModule(1);
    saveDialog()->toolTimeoutMs = 400;
    bool enabled = false;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(whileShown<SaveDialog>(m_dialog.get(), "pbSave", [&](SaveDialog* dialog) {
        save(dialog, false, true);
        enabled = dialog->isEnabled();
    }));
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(m_dialogs->errors, QStringList{error});
    QVERIFY(enabled);
    QCOMPARE(settings().value("FilePath").toString(), QString("/before"));
    QVERIFY(
        QDir(m_temp.path()).entryList({"lc-upload-*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
    // A stopped tool is gone, not left running.
    const QByteArray pid = readFile(m_tool.filePath("pid")).trimmed();
    if (!pid.isEmpty())
        QVERIFY(!QFileInfo::exists("/proc/" + pid));
}

void TestRecords::openFromFileOffersOnlyThisModule()
{
    openModule(4);
    const QString type = module(4)->typeString();
    settings().setValue("FilePath", m_root);
    setAllFields("7");
    writeFile(m_tree.filePath("record.json"), recordOf(4));
    setAllFields("0");

    // A cancelled chooser leaves the dialog open and the fields as they are.
    QVERIFY(whileShown<OpenDialog>(m_dialog.get(), "pbLoad", [](OpenDialog* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Open data..."));
        dialog->on_pbOpenFile_clicked();
    }));
    QCOMPARE(m_dialogs->fileDialogs, QStringList{"Open file...|" + m_root + "/" + type +
                                                 "|DEVICE (" + deviceName(4) + "*.json)"});
    QCOMPARE(fields(), allFields("0"));

    m_dialogs->fileToOpen = m_tree.filePath("record.json");
    QVERIFY(!whileShown<OpenDialog>(m_dialog.get(), "pbLoad",
                                    [](OpenDialog* dialog) { dialog->on_pbOpenFile_clicked(); }));
    QCOMPARE(fields(), allFields("7"));
    QVERIFY(m_dialogs->errors.isEmpty());
}

void TestRecords::openFromFileRefusesForeignOrBrokenRecords_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    const QString notRecord = "Error|This is not a calibration record.";
    const QString foreign = "Error|This record belongs to another module (its \"UDID\" or "
                            "\"DeviceType\" differs from this module's).";
    QTest::newRow("not JSON") << QByteArray("{\"CurrentStep\": 1,") << notRecord;
    QTest::newRow("array") << QByteArray("[1, 2]") << notRecord;
    QTest::newRow("empty file") << QByteArray() << notRecord;
    QTest::newRow("other module") << QByteArray("OTHER") << foreign;
    QTest::newRow("other type") << QByteArray("TYPE") << foreign;
    QTest::newRow("no identity") << QByteArray("{\"CurrentStep\": 1}") << foreign;
    QTest::newRow("unreadable") << QByteArray("DIRECTORY") << "Error|Couldn't open save file.";
}

void TestRecords::openFromFileRefusesForeignOrBrokenRecords()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    openModule(4);
    QJsonObject record = QJsonDocument::fromJson(recordOf(4)).object();
    record.insert("CurrentStep", 9.0);
    if (content == "OTHER")
        record.insert("UDID", otherUdid);
    if (content == "TYPE")
        record.insert("DeviceType", "LC4HTM0");
    if (content == "OTHER" || content == "TYPE")
        content = QJsonDocument(record).toJson();
    m_dialogs->fileToOpen = m_tree.filePath("record.json");
    if (content == "DIRECTORY")
        QDir().mkpath(m_dialogs->fileToOpen);
    else
        writeFile(m_dialogs->fileToOpen, content);
    const QStringList before = fields();
    QVERIFY(whileShown<OpenDialog>(m_dialog.get(), "pbLoad",
                                   [](OpenDialog* dialog) { dialog->on_pbOpenFile_clicked(); }));
    QCOMPARE(m_dialogs->errors, QStringList{error});
    QCOMPARE(fields(), before);
}

void TestRecords::serverListingOffersOnlyThisModule()
{
    // A type string with characters that must be percent-encoded in the URL.
    openModule(4, {QJsonObject{{"address", 4}, {"kind", "LC4CLM0"}, {"typeString", "LC4CLM0 #1"}},
                   QJsonObject{{"address", 5}, {"kind", "LC4CLM0"}}});
    HttpStub server;
    settings().setValue("ServerHttpAddress", server.address());
    const QString name = deviceName(4);
    const QString mine = name + "_2026_01_01_00_00.json";
    const QString newer = name + "_2026_02_01_00_00.json";
    const QString foreign = deviceName(5) + "_2026_01_01_00_00.json";
    const QByteArray listing =
        QString("<a href=\"%1\">a</a><a href=\"%2\">b</a><a href=\"%3\">c</a>"
                "<a href=\"..%2F%3\">d</a>")
            .arg(newer, foreign, mine)
            .toUtf8();
    const QByteArray directory = "/lumicrate4/Calibration/LC4CLM0%20%231/";
    server.answers[directory] = {200, listing, false};
    setAllFields("7");
    server.answers[directory + mine.toUtf8()] = {200, recordOf(4), false};
    setAllFields("0");

    // The first candidate is offered first; cancelling loads nothing.
    QVERIFY(whileShown<OpenDialog>(m_dialog.get(), "pbLoad", [](OpenDialog* dialog) {
        dialog->on_pbReceiveFromFtp_clicked();
    }));
    QCOMPARE(m_dialogs->itemChoices,
             QStringList{"Get file...|Please download correct version of calibrations|" + mine +
                         "," + newer});
    QCOMPARE(server.requests, QList<QByteArray>{directory});

    m_dialogs->itemToChoose = [](QStringList const& items) { return items.first(); };
    QVERIFY(!whileShown<OpenDialog>(m_dialog.get(), "pbLoad", [](OpenDialog* dialog) {
        dialog->on_pbReceiveFromFtp_clicked();
    }));
    QCOMPARE(server.requests.last(), directory + mine.toUtf8());
    QCOMPARE(fields(), allFields("7"));
    QVERIFY(m_dialogs->errors.isEmpty());

    // A listing without this module's records ends silently, the dialog open and enabled.
    server.answers[directory] = {200, "<a href=\"" + foreign.toUtf8() + "\">x</a>", false};
    m_dialogs->itemChoices.clear();
    bool enabled = false;
    QVERIFY2(
        whileShown<OpenDialog>(m_dialog.get(), "pbLoad",
                               [&](OpenDialog* dialog) {
                                   dialog->on_pbReceiveFromFtp_clicked();
                                   enabled = dialog->isEnabled();
                               }),
        qPrintable((m_dialogs->warnings + m_dialogs->errors + m_dialogs->itemChoices).join('\n')));
    QVERIFY(enabled);
    QVERIFY(m_dialogs->itemChoices.isEmpty());
    QVERIFY(m_dialogs->warnings.isEmpty() && m_dialogs->errors.isEmpty());
}

void TestRecords::listingFailuresCloseWithAWarning_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("silent");
    QTest::newRow("never answers") << 200 << true;
    QTest::newRow("404") << 404 << false;
    QTest::newRow("500") << 500 << false;
    QTest::newRow("redirect") << 301 << false;
    QTest::newRow("refused") << 0 << false;
}

void TestRecords::listingFailuresCloseWithAWarning()
{
    QFETCH(int, status);
    QFETCH(bool, silent);
    openModule(4);
    HttpStub server;
    settings().setValue("ServerHttpAddress", status ? server.address() : "http://127.0.0.1:1");
    const QByteArray directory = listingPath(4).toUtf8();
    server.answers[directory] = {status, "<a href=\"" + deviceName(4).toUtf8() + "_1.json\">",
                                 silent};
    openDialog()->networkTimeoutMs = 300;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!whileShown<OpenDialog>(m_dialog.get(), "pbLoad", [](OpenDialog* dialog) {
        dialog->on_pbReceiveFromFtp_clicked();
    }));
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(m_dialogs->warnings, QStringList{"Error|Can't download calibration list"});
    QVERIFY(m_dialogs->itemChoices.isEmpty());
    // The next Load finds the dialog enabled.
    bool enabled = false;
    whileShown<OpenDialog>(m_dialog.get(), "pbLoad",
                           [&](OpenDialog* dialog) { enabled = dialog->isEnabled(); });
    QVERIFY(enabled);
}

void TestRecords::recordDownloadFailuresLeaveTheEditor_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error");
    const QString name = "0000-0000-0000-0000-0000-0000_2026.json";
    QTest::newRow("404") << 404 << false << QByteArray()
                         << "Error|Can't download " + name + " from the calibration server.";
    QTest::newRow("never answers")
        << 200 << true << QByteArray()
        << "Error|The calibration server did not send " + name + " in time.";
    QTest::newRow("not an object")
        << 200 << false << QByteArray("[]") << QString("Error|This is not a calibration record.");
    QTest::newRow("HTML") << 200 << false << QByteArray("<html>")
                          << QString("Error|This is not a calibration record.");
    QTest::newRow("other module")
        << 200 << false << QByteArray("{\"UDID\": \"0000\"}")
        << QString("Error|This record belongs to another module (its \"UDID\" or "
                   "\"DeviceType\" differs from this module's).");
}

void TestRecords::recordDownloadFailuresLeaveTheEditor()
{
    QFETCH(int, status);
    QFETCH(bool, silent);
    QFETCH(QByteArray, body);
    QFETCH(QString, error);
    openModule(4);
    const QString name = deviceName(4) + "_2026.json";
    error.replace("0000-0000-0000-0000-0000-0000", deviceName(4));
    HttpStub server;
    settings().setValue("ServerHttpAddress", server.address());
    const QByteArray directory = listingPath(4).toUtf8();
    server.answers[directory] = {200, "<a href=\"" + name.toUtf8() + "\">x</a>", false};
    server.answers[directory + name.toUtf8()] = {status, body, silent};
    m_dialogs->itemToChoose = [](QStringList const& items) { return items.first(); };
    openDialog()->networkTimeoutMs = 300;
    const QStringList before = fields();
    bool enabled = false;
    QVERIFY(whileShown<OpenDialog>(m_dialog.get(), "pbLoad", [&](OpenDialog* dialog) {
        dialog->on_pbReceiveFromFtp_clicked();
        enabled = dialog->isEnabled();
    }));
    QCOMPARE(m_dialogs->errors, QStringList{error});
    QVERIFY(enabled);
    QCOMPARE(fields(), before);
    QVERIFY(openDialog()->jsonData().isEmpty());
}

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
