#include "opendialog.h"
#include "lclogging.h"

#include "calibrationrecord.h"
#include "calibrationserver.h"
#include "calibrationsettings.h"
#include "operatordialogs.h"
#include "ui_opendialog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSslError>
#include <QTimer>

#include <memory>

namespace {

QString const errorTitle = QStringLiteral("Error");
// Far beyond any record or listing; a server that sends more is not one of ours.
constexpr qint64 maximumBytes = 16 * 1024 * 1024;

} // namespace

OpenDialog::OpenDialog(QWidget* parent) : GuardedDialog(parent), ui(new Ui::OpenDialog)
{
    ui->setupUi(this);
    connect(ui->pushButton_3, &QPushButton::clicked, this, &QDialog::reject);
}

OpenDialog::~OpenDialog()
{
    delete ui;
}

void OpenDialog::setDeviceType(QString const& deviceType)
{
    m_deviceType = deviceType;
}

void OpenDialog::setDeviceName(QString const& deviceName)
{
    m_deviceName = deviceName;
}

void OpenDialog::on_pbOpenFile_clicked()
{
    if (!checkDeviceType())
        return;
    const QString directory = calibrationSettings().value(QStringLiteral("FilePath")).toString() +
                              QLatin1Char('/') + m_deviceType;
    qCDebug(lcCalibration) << directory;
    const QString path =
        OperatorDialogs::chooseFile(this, QStringLiteral("Open file..."), directory,
                                    QStringLiteral("DEVICE (%1*.json)").arg(m_deviceName));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        OperatorDialogs::critical(this, errorTitle, QStringLiteral("Couldn't open save file."));
        return;
    }
    takeRecord(file.read(maximumBytes + 1));
}

void OpenDialog::on_pbReceiveFromFtp_clicked()
{
    if (isBusy() || !checkDeviceType())
        return;
    BusyScope busy(this);
    setEnabled(false);
    QCoreApplication::processEvents();
    receiveFromServer();
    setEnabled(true);
}

void OpenDialog::receiveFromServer()
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    const QString address = CalibrationServer::fromSettings().httpAddress;

    QByteArray listing;
    if (fetch(&manager, CalibrationRecord::publishedUrl(address, m_deviceType), &listing) !=
        Fetch::Done) {
        reject();
        OperatorDialogs::warning(this, errorTitle,
                                 QStringLiteral("Can't download calibration list"));
        return;
    }
    const QString text = QString::fromUtf8(listing);
    qCDebug(lcCalibration) << text;
    const QStringList records = CalibrationRecord::listedRecords(text, m_deviceName);
    if (records.isEmpty())
        return;
    const QString chosen = OperatorDialogs::chooseItem(
        this, QStringLiteral("Get file..."),
        QStringLiteral("Please download correct version of calibrations"), records);
    if (chosen.isEmpty())
        return;

    QByteArray record;
    const Fetch fetched =
        fetch(&manager, CalibrationRecord::publishedUrl(address, m_deviceType, chosen), &record);
    if (fetched == Fetch::TimedOut)
        showError(QStringLiteral("The calibration server did not send %1 in time.").arg(chosen));
    else if (fetched == Fetch::Failed)
        showError(QStringLiteral("Can't download %1 from the calibration server.").arg(chosen));
    else
        takeRecord(QString::fromUtf8(record).toUtf8());
}

OpenDialog::Fetch OpenDialog::fetch(QNetworkAccessManager* manager, QUrl const& url,
                                    QByteArray* body)
{
    std::unique_ptr<QNetworkReply> reply(manager->get(QNetworkRequest(url)));
    connect(reply.get(), &QNetworkReply::errorOccurred, this,
            [](QNetworkReply::NetworkError code) { qCDebug(lcCalibration) << "Error" << code; });
    connect(reply.get(), &QNetworkReply::sslErrors, this, [](QList<QSslError> const& errors) {
        for (int i = 0; i < errors.size(); ++i)
            qCDebug(lcCalibration) << "Error " << i << errors.at(i).errorString();
    });
    bool tooLarge = false;
    connect(reply.get(), &QNetworkReply::downloadProgress, this, [&](qint64 received, qint64) {
        if (received > maximumBytes && !tooLarge) {
            tooLarge = true;
            reply->abort();
        }
    });
    QEventLoop loop;
    connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(networkTimeoutMs, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();

    const bool finished = reply->isFinished();
    reply->disconnect(this);
    if (!finished) {
        reply->abort();
        return Fetch::TimedOut;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (tooLarge || reply->error() != QNetworkReply::NoError || status != 200) {
        qCDebug(lcCalibration) << url << "status" << status << reply->errorString();
        return Fetch::Failed;
    }
    *body = reply->readAll();
    return Fetch::Done;
}

void OpenDialog::takeRecord(QByteArray const& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (bytes.size() > maximumBytes || error.error != QJsonParseError::NoError ||
        !document.isObject()) {
        showError(QStringLiteral("This is not a calibration record."));
        return;
    }
    const QJsonObject record = document.object();
    if (record.value(CalibrationRecord::udidKey).toString() != m_deviceName ||
        record.value(CalibrationRecord::deviceTypeKey).toString() != m_deviceType) {
        showError(QStringLiteral("This record belongs to another module (its \"UDID\" or "
                                 "\"DeviceType\" differs from this module's)."));
        return;
    }
    m_record = record;
    accept();
}

bool OpenDialog::checkDeviceType()
{
    if (CalibrationRecord::isDirectoryName(m_deviceType) &&
        CalibrationRecord::isDeviceName(m_deviceName))
        return true;
    showError(QStringLiteral("The module's type string or UDID cannot name a record (the type "
                             "is \".\" or \"..\", or holds control characters, '\"', '/' or "
                             "'\\')."));
    return false;
}

void OpenDialog::showError(QString const& text)
{
    OperatorDialogs::critical(this, errorTitle, text);
}
