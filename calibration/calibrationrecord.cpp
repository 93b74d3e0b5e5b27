#include "calibrationrecord.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace CalibrationRecord {

namespace {

bool hasControlCharacters(QString const& text)
{
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

QString decodedEntities(QString text)
{
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&#39;"), QLatin1String("'"));
    text.replace(QLatin1String("&#x27;"), QLatin1String("'"));
    return text.replace(QLatin1String("&amp;"), QLatin1String("&"));
}

// A name that stays inside the listed directory when appended to its URL.
bool isPlainFileName(QString const& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QLatin1Char('?')) && !name.contains(QLatin1Char('#')) &&
           !name.contains(QLatin1String("..")) && !hasControlCharacters(name);
}

// Servers that shorten long link texts keep the whole name in the link target.
QStringList linkTargets(QString const& listing)
{
    static const QRegularExpression anchor(
        QStringLiteral(R"re(<a\s[^>]*?\bhref\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>"']+)))re"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList targets;
    auto matches = anchor.globalMatch(listing);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QString raw = match.captured(1) + match.captured(2) + match.captured(3);
        targets << QUrl::fromPercentEncoding(decodedEntities(raw).toUtf8());
    }
    return targets;
}

// Listings without link targets: the text of each link up to the name's end.
QStringList linkTexts(QString const& listing, QString const& deviceName)
{
    QStringList texts;
    QStringList pieces = listing.split(QStringLiteral(".json\">"));
    pieces.removeFirst();
    for (QString const& piece : pieces) {
        if (piece.contains(deviceName))
            texts << piece.left(piece.indexOf(QLatin1String("</a>")));
    }
    return texts;
}

} // namespace

QString fileName(QString const& deviceName, QDateTime const& time)
{
    return deviceName + time.toString(QStringLiteral("_yyyy_MM_dd_hh_mm")) +
           QStringLiteral(".json");
}

QByteArray document(QJsonObject const& record)
{
    return QJsonDocument(record).toJson(QJsonDocument::Indented);
}

bool isDeviceName(QString const& text)
{
    static const QRegularExpression name(QStringLiteral("^[0-9A-F]{4}(-[0-9A-F]{4}){5}$"));
    return name.match(text).hasMatch();
}

bool isDirectoryName(QString const& deviceType)
{
    return !deviceType.isEmpty() && deviceType != QLatin1String(".") &&
           deviceType != QLatin1String("..") && isQuotable(deviceType) &&
           !deviceType.contains(QLatin1Char('/')) && !deviceType.contains(QLatin1Char('\\'));
}

bool isQuotable(QString const& text)
{
    return !text.contains(QLatin1Char('"')) && !hasControlCharacters(text);
}

QString serverDirectory(QString const& deviceType)
{
    return QStringLiteral("/var/www/html/lumicrate4/Calibration/%1/").arg(deviceType);
}

QUrl publishedUrl(QString const& httpAddress, QString const& deviceType, QString const& file)
{
    QUrl url(httpAddress);
    QString path = url.path(QUrl::FullyEncoded);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    path += QStringLiteral("/lumicrate4/Calibration/") +
            QString::fromLatin1(QUrl::toPercentEncoding(deviceType)) + QLatin1Char('/') +
            QString::fromLatin1(QUrl::toPercentEncoding(file));
    url.setPath(path, QUrl::StrictMode);
    return url;
}

QStringList listedRecords(QString const& listing, QString const& deviceName)
{
    QStringList names = linkTargets(listing);
    if (names.isEmpty())
        names = linkTexts(listing, deviceName);
    QStringList records;
    for (QString const& name : names) {
        if (name.endsWith(QLatin1String(".json")) && name.contains(deviceName) &&
            isPlainFileName(name) && !records.contains(name))
            records << name;
    }
    records.sort();
    return records;
}

} // namespace CalibrationRecord
