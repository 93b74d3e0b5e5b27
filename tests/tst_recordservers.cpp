// Calibration records through real servers: the upload tool against OpenSSH's
// sshd, listings and downloads from nginx and Python's http.server, and a record
// of every module kind saved, uploaded, listed, downloaded and loaded back.
#include "calibrationrecord.h"
#include "calibrationtestsupport.h"
#include "opendialog.h"
#include "recordservers.h"
#include "savedialog.h"
#include "simfixture.h"
#include "simmodule.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>

#include <unistd.h>

namespace {

QSettings settings()
{
    return QSettings(QStringLiteral("Velmora"), QStringLiteral("Lumicrate4_Calibration"));
}

QString const runner = QStringLiteral(LC_WINSCP_RUNNER);
QString const records = QStringLiteral("/var/www/html/lumicrate4/Calibration/");

QByteArray readFile(QString const& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(QString const& path, QByteArray const& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(QString const& directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

struct Run
{
    int exitCode = -1;
    QString output;
    QString errors;
};

} // namespace

class TestRecordServers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("the record servers need root: sshd's chroot");
        bool missing = false;
        const QString problem = m_servers.start(&missing);
        if (missing && qgetenv("LC_REQUIRE_SERVERS") != "1")
            QSKIP(qPrintable("the record servers cannot run here: " + problem));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(QFileInfo(runner).isExecutable());
    }
    void init()
    {
        m_dialogs = std::make_unique<CalibrationTestDialogs>();
        settings().clear();
        settings().setValue("ServerSshHost", "127.0.0.1");
        settings().setValue("ServerSshPort", m_servers.sshPort());
        settings().setValue("ServerSshUser", m_servers.sshUser());
        settings().setValue("ServerHostKey", m_servers.hostKey());
        QVERIFY(m_local.isValid() && m_work.isValid());
        QDir(m_local.path()).removeRecursively();
        QDir().mkpath(m_local.path());
    }
    void cleanup()
    {
        m_dialog.reset();
        m_link.reset();
        m_unit.reset();
        m_dialogs.reset();
    }

    void recordsRoundTripThroughTheServers_data();
    void recordsRoundTripThroughTheServers();
    void anotherHostKeyIsRefused();
    void runnerScripts_data();
    void runnerScripts();
    void listingsOfRealServersYieldOnlyPlainRecordNames();

private:
    SimModule* module(int address) const { return m_unit->crate().module(address); }
    void save(SaveDialog* dialog, bool toFile = true)
    {
        child<QGroupBox>(dialog, "gbSaveFile")->setChecked(toFile);
        child<QGroupBox>(dialog, "gbSaveFtp")->setChecked(true);
        child<QLineEdit>(dialog, "leFilePath")->setText(m_local.path());
        child<QLineEdit>(dialog, "leWinScp")->setText(runner);
        child<QLineEdit>(dialog, "lePrivateKey")->setText(m_servers.userKey());
        QTest::mouseClick(
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Save),
            Qt::LeftButton);
    }
    QString saveLog() const
    {
        return child<QPlainTextEdit>(m_dialog->findChild<SaveDialog*>(), "teLog")->toPlainText();
    }
    Run runScript(QString const& script)
    {
        writeFile(m_work.filePath("script.tmp"), script.toUtf8());
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(runner, {"/ini=nul", "/script=" + m_work.filePath("script.tmp")});
        process.waitForFinished(60000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }
    QString openLine(QString const& hostKey, QString const& key = QString()) const
    {
        return QStringLiteral("open scp://%1@127.0.0.1:%2/ -privatekey=\"%3\" -hostkey=\"%4\"\r\n")
            .arg(m_servers.sshUser())
            .arg(m_servers.sshPort())
            .arg(key.isEmpty() ? m_servers.userKey() : key, hostKey);
    }

    RecordServers m_servers;
    QTemporaryDir m_local;
    QTemporaryDir m_work;
    std::unique_ptr<CalibrationTestDialogs> m_dialogs;
    std::unique_ptr<SimUnit> m_unit;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
    std::unique_ptr<MainDialog> m_dialog;
};

void TestRecordServers::recordsRoundTripThroughTheServers_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("listing");
    const char* kinds[] = {"LC4SDM0", "LC4SDM1", "LC4BSM0", "LC4CLM0",
                           "LC4HTM0", "LC4TDM0", "LC4TDM1"};
    for (int address = 1; address <= 7; ++address) {
        QTest::addRow("%s, nginx", kinds[address - 1]) << address << int(RecordServers::Nginx);
        QTest::addRow("%s, http.server", kinds[address - 1])
            << address << int(RecordServers::Python);
    }
}

void TestRecordServers::recordsRoundTripThroughTheServers()
{
    QFETCH(int, address);
    QFETCH(int, listing);
    settings().setValue("ServerHttpAddress",
                        m_servers.httpAddress(RecordServers::Listing(listing)));
    QString error;
    m_unit = startSimUnit({}, &error);
    QVERIFY2(m_unit, qPrintable(error));
    m_link.reset(linkTo(*m_unit));
    const QString type = module(address)->typeString();
    const QString name = SimModule::udidToText(module(address)->udid());
    m_dialog = openMainDialog(m_link.get(), address, type);
    // Constants of many digits; a module's -0 would come back as 0, as JSON keeps no sign of zero.
    const QList<QLineEdit*> fields = m_dialog->driverWidget()->findChildren<QLineEdit*>();
    for (int i = 0; i < fields.size(); ++i)
        fields.at(i)->setText(QString::number(-1.7 + 0.3183099 * i, 'g', 9));
    click(m_dialog.get(), "pbSetEeprom");
    const QByteArray constants = module(address)->workingConstants();
    QVERIFY(!constants.isEmpty());

    const QStringList uploadedBefore = entries(m_servers.local(records + type));
    QVERIFY(!whileShown<SaveDialog>(m_dialog.get(), "pbSave",
                                    [this](SaveDialog* dialog) { save(dialog); }));
    QVERIFY2(m_dialogs->errors.isEmpty(), qPrintable(m_dialogs->errors.join('\n') + saveLog()));
    QVERIFY(saveLog().contains("Session started."));
    const QStringList saved = entries(m_local.filePath(type));
    QCOMPARE(saved.size(), 1);
    const QByteArray file = readFile(m_local.filePath(type + "/" + saved.first()));
    QCOMPARE(readFile(m_servers.local(records + type + "/" + saved.first())), file);
    QVERIFY(entries(m_servers.local(records + type)).size() <= uploadedBefore.size() + 1);

    // Other constants in the module, then the record back from the server.
    for (QLineEdit* field : fields)
        field->setText("7");
    click(m_dialog.get(), "pbSetEeprom");
    QVERIFY(module(address)->workingConstants() != constants);
    m_dialogs->itemToChoose = [&](QStringList const& items) {
        return items.contains(saved.first()) ? saved.first() : QString();
    };
    QVERIFY(!whileShown<OpenDialog>(m_dialog.get(), "pbLoad", [](OpenDialog* dialog) {
        dialog->on_pbReceiveFromFtp_clicked();
    }));
    QVERIFY2(m_dialogs->errors.isEmpty() && m_dialogs->warnings.isEmpty(),
             qPrintable((m_dialogs->errors + m_dialogs->warnings).join('\n')));
    for (QString const& item : m_dialogs->itemChoices.first().section('|', 2).split(','))
        QVERIFY2(item.startsWith(name + "_"), qPrintable(item));
    QCOMPARE(m_dialog->findChild<OpenDialog*>()->jsonData(),
             QJsonDocument::fromJson(file).object());
    click(m_dialog.get(), "pbSetEeprom");
    QCOMPARE(module(address)->workingConstants(), constants);
    QVERIFY(m_dialogs->warnings.isEmpty());
}

void TestRecordServers::anotherHostKeyIsRefused()
{
    settings().setValue("ServerHostKey", m_servers.otherHostKey());
    settings().setValue("FilePath", "/before");
    m_unit = startSimUnit();
    QVERIFY(m_unit);
    m_link.reset(linkTo(*m_unit));
    m_dialog = openMainDialog(m_link.get(), 4, module(4)->typeString());
    const QString directory = m_servers.local(records + module(4)->typeString());
    const QStringList before = entries(directory);
    QVERIFY(whileShown<SaveDialog>(m_dialog.get(), "pbSave",
                                   [this](SaveDialog* dialog) { save(dialog, false); }));
    QCOMPARE(m_dialogs->errors.size(), 1);
    QVERIFY(m_dialogs->errors.at(0).startsWith("Error|WinScp ended with exit code 1."));
    QVERIFY(saveLog().contains("Host key does not match"));
    QVERIFY(!saveLog().contains("Authenticating"));
    QCOMPARE(entries(directory), before);
    QCOMPARE(settings().value("FilePath").toString(), QString("/before"));
}

void TestRecordServers::runnerScripts_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("created");
    const QString good = "GOOD";
    const QString file = m_work.filePath("a \"b\" c.json");
    QTest::newRow("existing directory under continue, then a put")
        << good +
               "option batch continue\r\nmkdir \"/var/www/html/run1\"\r\nmkdir "
               "\"/var/www/html/run1\"\r\noption batch abort\r\nput \"" +
               QString(file).replace("\"", "\"\"") + "\" \"/var/www/html/run1/\"\r\nexit"
        << 0 << "Session started." << QStringList{"run1", "run1/a \"b\" c.json"};
    QTest::newRow("put into a missing directory aborts")
        << good + "put \"" + QString(file).replace("\"", "\"\"") +
               "\" \"/var/www/html/none/\"\r\nmkdir \"/var/www/html/run2\"\r\nexit"
        << 1 << "Error transferring file" << QStringList();
    QTest::newRow("failed mkdir under abort")
        << good + "mkdir \"/var/www/html/none/deeper\"\r\nexit" << 1
        << "Error creating folder '/var/www/html/none/deeper'." << QStringList();
    QTest::newRow("an unknown command anywhere sends nothing")
        << good + "mkdir \"/var/www/html/run3\"\r\nrm /var/www/html\r\nexit" << 1
        << "Script line 3: Unknown command \"rm\"" << QStringList();
    QTest::newRow("any host key") << openLine("*") + "mkdir \"/var/www/html/run4\"" << 1
                                  << "Accepting any host key is not allowed" << QStringList();
    QTest::newRow("no host key") << openLine("") + "mkdir \"/var/www/html/run4\"" << 1
                                 << "No host key fingerprint given" << QStringList();
    QTest::newRow("another host key") << "OTHER" + QString("mkdir \"/var/www/html/run4\"") << 1
                                      << "Host key does not match" << QStringList();
    QTest::newRow("key with a passphrase")
        << "ENCRYPTED" + QString("mkdir \"/var/www/html/run5\"") << 1
        << "passphrase-protected keys are not supported" << QStringList();
    QTest::newRow("no session") << "mkdir \"/var/www/html/run6\"\r\nexit" << 1 << "Not connected"
                                << QStringList();
    QTest::newRow("nobody listens")
        << QString("open scp://root@127.0.0.1:1/ -privatekey=\"k.ppk\" -hostkey=\"ssh-ed25519 "
                   "255 FyidM2FAeaydisJ2xlUgqdMfkTJUkwFgQDAYe53knAg\"\r\nexit")
        << 1 << "cannot reach host 127.0.0.1 port 1" << QStringList();
    // Lines end at LF or CR LF only: a name holding another line end is refused
    // whole, quoted or not, before anything connects.
    const QString refused = "Script line 2: Invalid character in the line";
    QTest::newRow("line separator in a name")
        << good + QString::fromUtf8("put /tmp/a\u2028put /etc/passwd /var/www/html/\r\nexit") << 1
        << refused << QStringList();
    QTest::newRow("paragraph separator in a quoted name")
        << good + QString::fromUtf8("put \"/tmp/a\u2029put /etc/passwd\" /var/www/html/\r\nexit")
        << 1 << refused << QStringList();
    QTest::newRow("next-line character in a name")
        << good + QString::fromUtf8("mkdir /var/www/html/x\u0085mkdir /var/www/html/y\r\nexit") << 1
        << refused << QStringList();
    QTest::newRow("carriage return inside a line")
        << good + "mkdir \"/var/www/html/run7\rmkdir /var/www/html/run8\"\r\nexit" << 1 << refused
        << QStringList();
    QTest::newRow("file masks") << good + "put \"/tmp/*.json\" \"/var/www/html/\"" << 1
                                << "File masks are not supported" << QStringList();
}

void TestRecordServers::runnerScripts()
{
    QFETCH(QString, script);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QStringList, created);
    QVERIFY(writeFile(m_work.filePath("a \"b\" c.json"), "{}\n"));
    script.replace("GOOD", openLine(m_servers.hostKey()));
    script.replace("OTHER", openLine(m_servers.otherHostKey()));
    script.replace("ENCRYPTED", openLine(m_servers.hostKey(), m_servers.encryptedUserKey()));
    const QStringList before = entries(m_servers.local("/var/www/html"));

    const Run run = runScript(script);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2((exitCode ? run.errors : run.output).contains(message),
             qPrintable(run.output + run.errors));
    QStringList after = entries(m_servers.local("/var/www/html"));
    for (QString const& entry : created) {
        if (entry.contains('/'))
            QVERIFY(QFileInfo(m_servers.local("/var/www/html/" + entry)).isFile());
        else
            after.removeOne(entry);
    }
    QCOMPARE(after, before);
    QVERIFY(entries(QDir::tempPath()).filter("lc-upload-").isEmpty());
    // Anyone may read what was uploaded, whatever the local file's mode.
    if (!created.isEmpty())
        QVERIFY(QFileInfo(m_servers.local("/var/www/html/" + created.last())).permissions() &
                QFile::ReadOther);
}

void TestRecordServers::listingsOfRealServersYieldOnlyPlainRecordNames()
{
    const QString name = "0123-4567-89AB-CDEF-0011-2233";
    const QString type = "LC4HTM0 hostile listing";
    const QString directory = m_servers.local(records + type);
    QVERIFY(QDir().mkpath(directory + "/" + name + "_folder.json"));
    const QString good = name + "_2026_01_01_00_00.json";
    for (QString const& file :
         {good, name + "_2026?.json", name + "_2026#.json", name + "\\x.json",
          ".." + name + ".json", name + "\r\n.json", name + "\x01.json", name + ".json.txt",
          QString("0123-4567-89AB-CDEF-0011-2234_2026_01_01_00_00.json")})
        QVERIFY2(writeFile(directory + "/" + file, "{}"), qPrintable(file));

    QNetworkAccessManager manager;
    for (auto listing : {RecordServers::Nginx, RecordServers::Python}) {
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(
            CalibrationRecord::publishedUrl(m_servers.httpAddress(listing), type))));
        QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, 10000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        const QString page = QString::fromUtf8(reply->readAll());
        // nginx cuts the link texts of these names short.
        if (listing == RecordServers::Nginx)
            QVERIFY(page.contains("..&gt;</a>"));
        QCOMPARE(CalibrationRecord::listedRecords(page, name), QStringList{good});
    }
}

QTEST_MAIN(TestRecordServers)
#include "tst_recordservers.moc"
