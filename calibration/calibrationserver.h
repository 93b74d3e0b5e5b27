#ifndef CALIBRATIONSERVER_H
#define CALIBRATIONSERVER_H

#include <QString>

// Where calibration records are uploaded (SSH) and read (HTTP). Each value has a
// build-time default and may be overridden by a key in the calibration tool's
// settings, so that an operator can point the tool at another server.
struct CalibrationServer
{
    QString sshHost;
    int sshPort = 22;
    QString sshUser;
    // The SSH host key's fingerprint as the upload tool takes it, for example
    // "ssh-ed25519 255 " and the key's SHA-256 digest in base 64. Empty means not
    // configured: nothing is uploaded then.
    QString hostKey;
    // Scheme, host and optional port (and path prefix) of the HTTP listing.
    QString httpAddress;
    // Opened by the download button of the save dialog.
    QString toolDownloadPage;

    static CalibrationServer fromSettings();

    // Empty when the upload settings can go into a script unchanged; otherwise
    // what is wrong with them.
    QString uploadProblem() const;
};

#endif // CALIBRATIONSERVER_H
