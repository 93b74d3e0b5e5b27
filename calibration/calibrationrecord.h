#ifndef CALIBRATIONRECORD_H
#define CALIBRATIONRECORD_H

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>

// A calibration record: the editor's module section plus "DeviceType" and "UDID",
// kept as files named after the module in one directory per device type, locally
// and on the calibration server.
namespace CalibrationRecord {

QString const deviceTypeKey = QStringLiteral("DeviceType");
QString const udidKey = QStringLiteral("UDID");
// The as-found and as-left tables of the runs since the last saved record, one
// entry per mode; loaders that do not know it ignore it.
QString const verificationKey = QStringLiteral("Verification");

// The device name (the UDID text), the minute and ".json".
QString fileName(QString const& deviceName, QDateTime const& time);
// The record as an indented JSON document in UTF-8.
QByteArray document(QJsonObject const& record);

// True for 24 upper-case hexadecimal digits in six groups of four joined by "-".
bool isDeviceName(QString const& text);
// True when the module's type string can name one directory: not empty, not "."
// or "..", and without control characters, '"', '/' or '\'.
bool isDirectoryName(QString const& deviceType);
// True when the text can stand between double quotes of a script line: no '"' and
// no control characters.
bool isQuotable(QString const& text);

// Where the server keeps a device type's records.
QString serverDirectory(QString const& deviceType);
// Where it publishes them: the device type's listing under the server's HTTP
// address, or one record file in it, each segment percent-encoded.
QUrl publishedUrl(QString const& httpAddress, QString const& deviceType,
                  QString const& file = QString());

// The record file names of one module in a server's directory listing, sorted:
// the link targets of the listing (the link texts where it has none) that end in
// ".json", contain the device name and cannot leave the directory.
QStringList listedRecords(QString const& listing, QString const& deviceName);

} // namespace CalibrationRecord

#endif // CALIBRATIONRECORD_H
