#ifndef RECORDSERVERS_H
#define RECORDSERVERS_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// The calibration server for tests, made of real servers on 127.0.0.1: OpenSSH's
// sshd takes uploads into a chroot of its own (so the server's /var/www/html lies
// in a temporary tree), and nginx and Python's http.server publish that tree with
// directory listings. Everything is stopped and removed with the object.
class RecordServers
{
public:
    enum Listing
    {
        Nginx,
        Python
    };

    RecordServers();
    ~RecordServers();

    // Empty when all three run; otherwise why not. `missing` tells a lacking
    // program apart from a server that failed. Needs root, for sshd's chroot.
    QString start(bool* missing);

    quint16 sshPort() const { return m_sshPort; }
    QString sshUser() const;
    // The host key's fingerprint as the upload tool takes it, and one of another key.
    QString hostKey() const { return m_hostKey; }
    QString otherHostKey() const { return m_otherHostKey; }
    // The upload account's key in PuTTY's format, and one with a passphrase.
    QString userKey() const { return m_files.filePath("user.ppk"); }
    QString encryptedUserKey() const { return m_files.filePath("encrypted.ppk"); }
    QString httpAddress(Listing listing) const;
    // The local path of a path on the server.
    QString local(QString const& serverPath) const { return m_root->path() + serverPath; }

private:
    // Waits until it listens; `showErrors` false for a server that logs every request.
    QString startProcess(QString const& program, QStringList const& arguments, quint16 port,
                         bool showErrors = true);
    static QString run(QString const& program, QStringList const& arguments);
    static quint16 freePort();

    QTemporaryDir m_files;
    std::unique_ptr<QTemporaryDir> m_root;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    quint16 m_sshPort = 0;
    quint16 m_nginxPort = 0;
    quint16 m_pythonPort = 0;
    QString m_hostKey;
    QString m_otherHostKey;
};

#endif // RECORDSERVERS_H
