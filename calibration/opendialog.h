#ifndef OPENDIALOG_H
#define OPENDIALOG_H

#include "guardeddialog.h"

#include <QJsonObject>

class QNetworkAccessManager;
class QUrl;

namespace Ui {
class OpenDialog;
}

// Fetches a calibration record of the connected module from the local record
// tree or from the calibration server's listing. Only a record that names this
// very module is accepted; anything else leaves the last record in place.
class OpenDialog : public GuardedDialog
{
    Q_OBJECT
public:
    explicit OpenDialog(QWidget* parent = nullptr);
    ~OpenDialog() override;

    // How long the listing and the record download may take each.
    int networkTimeoutMs = 10000;

    void setDeviceType(QString const& deviceType);
    void setDeviceName(QString const& deviceName);
    // The record of the last accepted run.
    QJsonObject jsonData() const { return m_record; }

public slots:
    void on_pbOpenFile_clicked();
    void on_pbReceiveFromFtp_clicked();

private:
    enum class Fetch
    {
        Done,
        TimedOut,
        Failed
    };
    // One bounded GET; Done only for a whole 200 answer.
    Fetch fetch(QNetworkAccessManager* manager, QUrl const& url, QByteArray* body);
    void receiveFromServer();
    // Takes the bytes as the loaded record and accepts, or says why not.
    void takeRecord(QByteArray const& bytes);
    bool checkDeviceType();
    void showError(QString const& text);

    Ui::OpenDialog* ui;
    QString m_deviceType;
    QString m_deviceName;
    QJsonObject m_record;
};

#endif // OPENDIALOG_H
