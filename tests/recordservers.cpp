#include "recordservers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr int startMs = 10000;
QString const sshd = QStringLiteral("/usr/sbin/sshd");
QString const nginx = QStringLiteral("/usr/sbin/nginx");
QString const python = QStringLiteral("/usr/bin/python3");

bool writeText(QString const& path, QString const& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

// "ssh-ed25519 255 " and the SHA-256 digest of the public key in base 64.
QString fingerprintOf(QString const& publicKeyFile)
{
    QFile file(publicKeyFile);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QList<QByteArray> fields = file.readAll().split(' ');
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromBase64(fields.value(1)),
                                                       QCryptographicHash::Sha256);
    return QStringLiteral("ssh-ed25519 255 ") +
           QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

} // namespace

RecordServers::RecordServers() = default;

RecordServers::~RecordServers()
{
    for (auto& process : m_processes) {
        process->terminate();
        if (!process->waitForFinished(3000))
            process->kill();
        process->waitForFinished(3000);
    }
}

QString RecordServers::sshUser() const
{
    const passwd* user = getpwuid(geteuid());
    return user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("root");
}

QString RecordServers::httpAddress(Listing listing) const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(listing == Nginx ? m_nginxPort : m_pythonPort);
}

QString RecordServers::start(bool* missing)
{
    *missing = true;
    for (QString const& program :
         {sshd, nginx, python, QStringLiteral("/usr/bin/ssh-keygen"),
          QStringLiteral("/usr/bin/puttygen"), QStringLiteral("/usr/bin/sftp"),
          QStringLiteral("/usr/bin/ssh-keyscan")}) {
        if (!QFileInfo(program).isExecutable())
            return program + QStringLiteral(" is missing (scripts/deps.sh installs it)");
    }
    *missing = false;

    const QString files = m_files.path();
    for (const char* key : {"host", "other", "user"}) {
        const QString problem = run(QStringLiteral("/usr/bin/ssh-keygen"),
                                    {"-q", "-t", "ed25519", "-N", "", "-C", key, "-f",
                                     m_files.filePath(QLatin1String(key))});
        if (!problem.isEmpty())
            return problem;
    }
    writeText(m_files.filePath("passphrase"), QStringLiteral("secret"));
    for (QStringList const& arguments :
         {QStringList{m_files.filePath("user"), "-O", "private", "-o", userKey()},
          QStringList{m_files.filePath("user"), "-O", "private", "-o", encryptedUserKey(),
                      "--new-passphrase", m_files.filePath("passphrase")}}) {
        const QString problem = run(QStringLiteral("/usr/bin/puttygen"), arguments);
        if (!problem.isEmpty())
            return problem;
    }
    QFile::copy(m_files.filePath("user.pub"), m_files.filePath("authorized_keys"));
    m_hostKey = fingerprintOf(m_files.filePath("host.pub"));
    m_otherHostKey = fingerprintOf(m_files.filePath("other.pub"));

    // sshd refuses a chroot below a directory others may write to, such as /tmp.
    m_root = std::make_unique<QTemporaryDir>(QStringLiteral("/run/lc-records-XXXXXX"));
    if (!m_root->isValid() ||
        !QFile::setPermissions(m_root->path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ReadGroup |
                                                   QFile::ExeGroup | QFile::ReadOther |
                                                   QFile::ExeOther) ||
        !QDir().mkpath(local("/var/www/html/lumicrate4/Calibration")) ||
        !QDir().mkpath(QStringLiteral("/run/sshd")))
        return QStringLiteral("cannot make the server tree under /run");

    m_sshPort = freePort();
    writeText(m_files.filePath("sshd_config"),
              QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile none\n"
                             "AuthorizedKeysFile %3\nUsePAM no\nStrictModes no\n"
                             "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                             "PermitRootLogin prohibit-password\nAllowUsers %4\n"
                             "ChrootDirectory %5\nForceCommand internal-sftp\n"
                             "Subsystem sftp internal-sftp\nLogLevel ERROR\n")
                  .arg(m_sshPort)
                  .arg(m_files.filePath("host"), m_files.filePath("authorized_keys"), sshUser(),
                       m_root->path()));
    QString problem =
        startProcess(sshd, {"-D", "-e", "-f", m_files.filePath("sshd_config")}, m_sshPort);
    if (!problem.isEmpty())
        return problem;

    m_nginxPort = freePort();
    QDir().mkpath(m_files.filePath("nginx"));
    writeText(m_files.filePath("nginx/nginx.conf"),
              QStringLiteral("user root;\nworker_processes 1;\npid %1/nginx.pid;\n"
                             "events { worker_connections 64; }\n"
                             "http {\n access_log off;\n client_body_temp_path %1/body;\n"
                             " proxy_temp_path %1/proxy;\n fastcgi_temp_path %1/fastcgi;\n"
                             " uwsgi_temp_path %1/uwsgi;\n scgi_temp_path %1/scgi;\n"
                             " server {\n  listen 127.0.0.1:%2;\n  root %3;\n"
                             "  location / { autoindex on; }\n }\n}\n")
                  .arg(m_files.filePath("nginx"))
                  .arg(m_nginxPort)
                  .arg(local("/var/www/html")));
    problem =
        startProcess(nginx,
                     {"-p", m_files.filePath("nginx"), "-e", m_files.filePath("nginx/error.log"),
                      "-c", m_files.filePath("nginx/nginx.conf"), "-g", "daemon off;"},
                     m_nginxPort);
    if (!problem.isEmpty())
        return problem;

    m_pythonPort = freePort();
    problem = startProcess(python,
                           {"-m", "http.server", QString::number(m_pythonPort), "--bind",
                            "127.0.0.1", "--directory", local("/var/www/html")},
                           m_pythonPort, false);
    return problem;
}

QString RecordServers::startProcess(QString const& program, QStringList const& arguments,
                                    quint16 port, bool showErrors)
{
    m_processes.push_back(std::make_unique<QProcess>());
    QProcess* process = m_processes.back().get();
    process->setStandardOutputFile(QProcess::nullDevice());
    if (showErrors)
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program, arguments);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < startMs) {
        if (process->state() == QProcess::NotRunning)
            return QStringLiteral("%1 ended at start (exit code %2)")
                .arg(program)
                .arg(process->exitCode());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        if (socket.waitForConnected(200))
            return QString();
        QThread::msleep(50);
        process->waitForFinished(0);
    }
    return QStringLiteral("%1 does not listen on port %2").arg(program).arg(port);
}

QString RecordServers::run(QString const& program, QStringList const& arguments)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QStringLiteral("%1 failed: %2")
            .arg(program, QString::fromLocal8Bit(process.readAllStandardError()));
    return QString();
}

quint16 RecordServers::freePort()
{
    QTcpServer server;
    server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return server.serverPort();
}
