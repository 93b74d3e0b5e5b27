#include "calibrationserver.h"

#include "calibrationserverdefaults.h"
#include "calibrationsettings.h"

#include <QRegularExpression>

CalibrationServer CalibrationServer::fromSettings()
{
    QSettings settings = calibrationSettings();
    CalibrationServer server;
    server.sshHost =
        settings.value(QStringLiteral("ServerSshHost"), QStringLiteral(LC_SERVER_SSH_HOST))
            .toString();
    server.sshPort = settings.value(QStringLiteral("ServerSshPort"), LC_SERVER_SSH_PORT).toInt();
    server.sshUser =
        settings.value(QStringLiteral("ServerSshUser"), QStringLiteral(LC_SERVER_SSH_USER))
            .toString();
    server.hostKey =
        settings.value(QStringLiteral("ServerHostKey"), QStringLiteral(LC_SERVER_HOST_KEY))
            .toString();
    server.httpAddress =
        settings.value(QStringLiteral("ServerHttpAddress"), QStringLiteral(LC_SERVER_HTTP_ADDRESS))
            .toString();
    server.toolDownloadPage =
        settings
            .value(QStringLiteral("WinScpDownloadPage"), QStringLiteral(LC_WINSCP_DOWNLOAD_PAGE))
            .toString();
    return server;
}

QString CalibrationServer::uploadProblem() const
{
    // Host and user go into the session URL, the fingerprint between quotes.
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9._-]*$"));
    static const QRegularExpression fingerprint(QStringLiteral("^[A-Za-z0-9+/=:;. -]+$"));
    if (!name.match(sshHost).hasMatch())
        return QStringLiteral("ServerSshHost");
    if (sshPort < 1 || sshPort > 65535)
        return QStringLiteral("ServerSshPort");
    if (!name.match(sshUser).hasMatch())
        return QStringLiteral("ServerSshUser");
    if (!fingerprint.match(hostKey).hasMatch())
        return QStringLiteral("ServerHostKey");
    return QString();
}
