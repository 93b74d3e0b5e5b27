// Units on several addresses seen from another host: three simulators listen on
// three addresses of this namespace, and a second namespace joined to it by a veth
// pair discovers them with lc-ctl and with the windows' address picker.
#include "lumicratepicker.h"

#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <memory>

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QStringList unitAddresses = {"10.251.0.1", "10.251.0.2", "10.251.0.3"};
const QString hostAddress = QStringLiteral("10.251.0.10");

bool run(QString const& program, QStringList const& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(' ')),
                 process.readAllStandardError().constData());
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

ino_t netNamespaceOf(QString const& pid)
{
    struct stat info = {};
    return ::stat(qPrintable("/proc/" + pid + "/ns/net"), &info) == 0 ? info.st_ino : 0;
}

} // namespace

class TestDiscoveryHosts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void otherHostSeesEveryUnitAtItsAddress();

private:
    bool inHost(QStringList const& command, QByteArray* output = nullptr)
    {
        return run("nsenter", QStringList{"-t", m_hostPid, "-n"} + command, output);
    }

    QProcess m_host;
    QString m_hostPid;
    std::vector<std::unique_ptr<QProcess>> m_units;
};

void TestDiscoveryHosts::initTestCase()
{
    if (qEnvironmentVariableIsSet("LC_NO_BROADCAST") || ::geteuid() != 0)
        QSKIP("needs root inside the private test namespace");
    // The other host: a namespace of its own, kept by a process that waits.
    m_host.start("unshare", {"-n", "sleep", "600"});
    QVERIFY(m_host.waitForStarted());
    m_hostPid = QString::number(m_host.processId());
    QTRY_VERIFY(netNamespaceOf(m_hostPid) != 0 &&
                netNamespaceOf(m_hostPid) != netNamespaceOf("self"));
    QVERIFY(run(
        "ip", {"link", "add", "lch0", "type", "veth", "peer", "name", "lch1", "netns", m_hostPid}));
    for (QString const& address : unitAddresses)
        QVERIFY(run("ip", {"addr", "add", address + "/24", "brd", "+", "dev", "lch0"}));
    QVERIFY(run("ip", {"link", "set", "lch0", "up"}));
    QVERIFY(inHost({"ip", "link", "set", "lo", "up"}));
    QVERIFY(inHost({"ip", "addr", "add", hostAddress + "/24", "brd", "+", "dev", "lch1"}));
    QVERIFY(inHost({"ip", "link", "set", "lch1", "up"}));

    for (QString const& address : unitAddresses) {
        auto unit = std::make_unique<QProcess>();
        unit->setProcessChannelMode(QProcess::MergedChannels);
        unit->start(LC_SIMULATOR_BINARY, {"--listen", address});
        QVERIFY(unit->waitForStarted());
        QByteArray said;
        QTRY_VERIFY((said += unit->readAll()).contains("answering discovery"));
        m_units.push_back(std::move(unit));
    }
}

void TestDiscoveryHosts::cleanupTestCase()
{
    for (auto& unit : m_units) {
        unit->terminate();
        unit->waitForFinished(3000);
    }
    run("ip", {"link", "del", "lch0"});
    m_host.kill();
    m_host.waitForFinished(3000);
}

void TestDiscoveryHosts::otherHostSeesEveryUnitAtItsAddress()
{
    QByteArray listed;
    QVERIFY(inHost({LC_CTL_BINARY, "discover"}, &listed));
    QStringList units = QString::fromLatin1(listed).split('\n', Qt::SkipEmptyParts);
    units.sort();
    QCOMPARE(units, unitAddresses);

    // The picker of the windows, on this thread moved into the other host's namespace.
    const int own = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int other = ::open(qPrintable("/proc/" + m_hostPid + "/ns/net"), O_RDONLY | O_CLOEXEC);
    QVERIFY(own >= 0 && other >= 0);
    QVERIFY(::setns(other, CLONE_NEWNET) == 0);
    QStringList picked;
    {
        QWidget window;
        auto* combo = new QComboBox(&window);
        LumicratePicker picker(combo, &window);
        picker.updateLumicrateList();
        for (int i = 0; i < combo->count(); ++i)
            picked << combo->itemText(i);
    }
    const bool back = ::setns(own, CLONE_NEWNET) == 0;
    ::close(own);
    ::close(other);
    QVERIFY(back);
    picked.removeAll(LumicratePicker::updateEntry);
    picked.removeAll(LumicratePicker::manualEntry);
    picked.sort();
    QCOMPARE(picked, unitAddresses);
}

QTEST_MAIN(TestDiscoveryHosts)
#include "tst_discoveryhosts.moc"
