#ifndef SAVEDIALOG_H
#define SAVEDIALOG_H

#include "guardeddialog.h"

#include <QDateTime>
#include <QJsonObject>

class QProcess;

namespace Ui {
class SaveDialog;
}

// Stores one calibration record in the local record tree and uploads it to the
// calibration server through the upload tool. The form's paths and choices are
// kept in the settings after a save that fully succeeded.
class SaveDialog : public GuardedDialog
{
    Q_OBJECT
public:
    explicit SaveDialog(QWidget* parent = nullptr);
    ~SaveDialog() override;

    // How long the upload tool may run before it is stopped.
    int toolTimeoutMs = 120000;

    // The record to save: the module section with "DeviceType" and "UDID".
    void setJsonData(QJsonObject const& record);
    int exec() override;

    // Each reports its failure in a box and in the log.
    bool saveToFile();
    bool sendToFtp();

public slots:
    void on_tbFilePath_clicked();
    void on_tbPrivateKeyPath_clicked();
    void on_tbWinScp_clicked();
    void on_tbDownload_clicked();
    void on_buttonBox_accepted();

signals:
    // The record went to every place the form asked for.
    void recordSaved();

private:
    // False, after its box, when the record cannot name its directory and file;
    // the record is refused then and the dialog closes.
    bool recordIdentity(QString* deviceType, QString* deviceName);
    // Writes the bytes whole or leaves the file as it was.
    bool writeFile(QString const& path, QByteArray const& bytes, QString const& failure);
    bool runTool(QString const& tool, QString const& script);
    bool fail(QString const& text);
    void logText(QString const& text);
    void logHtml(QString const& html);
    void saveSettings();

    // The record's file name, the same locally and on the server.
    QString recordFileName(QString const& deviceName) const;

    Ui::SaveDialog* ui;
    QJsonObject m_record;
    // When the current Save click began; invalid between clicks.
    QDateTime m_saveTime;
};

#endif // SAVEDIALOG_H
