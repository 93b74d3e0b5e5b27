#ifndef UPLOADSCRIPT_H
#define UPLOADSCRIPT_H

#include "calibrationserver.h"

#include <QByteArray>

// The upload tool's script that puts one record file into the server's directory
// of its device type, creating that directory when it is missing. Every line but
// the last ends in CR LF. The caller has checked that the paths and the server's
// values can stand between double quotes.
QByteArray uploadScript(CalibrationServer const& server, QString const& privateKey,
                        QString const& recordFile, QString const& deviceType);

#endif // UPLOADSCRIPT_H
