#include "uploadscript.h"

#include "calibrationrecord.h"

#include <QStringList>

QByteArray uploadScript(CalibrationServer const& server, QString const& privateKey,
                        QString const& recordFile, QString const& deviceType)
{
    const QString session =
        server.sshPort == 22
            ? QStringLiteral("%1@%2").arg(server.sshUser, server.sshHost)
            : QStringLiteral("%1@%2:%3").arg(server.sshUser, server.sshHost).arg(server.sshPort);
    const QString directory = CalibrationRecord::serverDirectory(deviceType);
    const QStringList lines = {
        QStringLiteral("open scp://%1/ -privatekey=\"%2\" -hostkey=\"%3\" -rawsettings "
                       "Cipher=\"aes,blowfish,3des,chacha20,WARN,arcfour,des\" "
                       "KEX=\"ecdh,dh-gex-sha1,dh-group14-sha1,dh-group1-sha1,rsa,WARN\"")
            .arg(session, privateKey, server.hostKey),
        // An existing directory must not stop the upload.
        QStringLiteral("option batch continue"),
        QStringLiteral("mkdir \"%1\"").arg(directory),
        QStringLiteral("option batch abort"),
        QStringLiteral("put \"%1\" \"%2\"").arg(recordFile, directory),
        QStringLiteral("exit"),
    };
    return lines.join(QStringLiteral("\r\n")).toUtf8();
}
