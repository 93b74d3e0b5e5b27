#include "savedialog.h"
#include "lclogging.h"

#include "calibrationrecord.h"
#include "calibrationserver.h"
#include "calibrationsettings.h"
#include "operatordialogs.h"
#include "ui_savedialog.h"
#include "uploadscript.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

namespace {

QString const errorTitle = QStringLiteral("Error");
QString const badRecordText =
    QStringLiteral("Something wrong at preparing calibration data. Please try again");
QString const openFailedText = QStringLiteral("Couldn't open save file.");
QString const doneText = QStringLiteral("Done!!!");
// A stopped tool gets this long to end its own children before it is killed.
constexpr int toolKillDelayMs = 3000;

QString redHtml(QString const& text)
{
    return QStringLiteral("<font color=\"Red\">%1</font>").arg(text.toHtmlEscaped());
}

// The upload runner installed with the program, when there is one.
QString installedUploadTool()
{
    QString const tool = QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                         QStringLiteral(LC_INSTALLED_UPLOAD_RUNNER));
    return QFileInfo::exists(tool) ? tool : QString();
}

// Splits a process channel's output into whole lines as it arrives.
class LineBuffer
{
public:
    QStringList add(QByteArray const& bytes)
    {
        m_pending += bytes;
        QStringList lines;
        int end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            lines << line(m_pending.left(end));
            m_pending.remove(0, end + 1);
        }
        return lines;
    }
    QStringList rest()
    {
        QStringList lines;
        if (!m_pending.isEmpty())
            lines << line(m_pending);
        m_pending.clear();
        return lines;
    }

private:
    static QString line(QByteArray bytes)
    {
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        return QString::fromLocal8Bit(bytes);
    }
    QByteArray m_pending;
};

} // namespace

SaveDialog::SaveDialog(QWidget* parent) : GuardedDialog(parent), ui(new Ui::SaveDialog)
{
    Q_INIT_RESOURCE(calibration);
    ui->setupUi(this);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    QSettings settings = calibrationSettings();
    ui->leFilePath->setText(settings.value(QStringLiteral("FilePath")).toString());
    ui->lePrivateKey->setText(settings.value(QStringLiteral("PrivateKeyPath")).toString());
    ui->leWinScp->setText(
        settings.value(QStringLiteral("WinScp"), installedUploadTool()).toString());
    ui->gbSaveFile->setChecked(settings.value(QStringLiteral("SaveToFile"), false).toBool());
    ui->gbSaveFtp->setChecked(settings.value(QStringLiteral("SaveToFtp"), false).toBool());
}

SaveDialog::~SaveDialog()
{
    delete ui;
}

void SaveDialog::setJsonData(QJsonObject const& record)
{
    m_record = record;
}

int SaveDialog::exec()
{
    ui->teLog->hide();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    resize(0, 0);
    return GuardedDialog::exec();
}

void SaveDialog::on_tbFilePath_clicked()
{
    const QString directory = OperatorDialogs::chooseDirectory(
        this, QStringLiteral("Path to Directory containing calibration..."),
        ui->leFilePath->text());
    if (!directory.isEmpty())
        ui->leFilePath->setText(directory);
}

void SaveDialog::on_tbPrivateKeyPath_clicked()
{
    const QString file = OperatorDialogs::chooseFile(
        this, QStringLiteral("Private key file..."), ui->lePrivateKey->text(),
        QStringLiteral("Putty private key files (*.ppk)"));
    if (!file.isEmpty())
        ui->lePrivateKey->setText(file);
}

void SaveDialog::on_tbWinScp_clicked()
{
    const QString file =
        OperatorDialogs::chooseFile(this, QStringLiteral("WinScp Utility..."), ui->leWinScp->text(),
                                    QStringLiteral("WinScp Utility (winscp.com)"));
    if (!file.isEmpty())
        ui->leWinScp->setText(file);
}

void SaveDialog::on_tbDownload_clicked()
{
    OperatorDialogs::openUrl(QUrl(CalibrationServer::fromSettings().toolDownloadPage));
}

void SaveDialog::on_buttonBox_accepted()
{
    if (isBusy())
        return;
    BusyScope busy(this);
    setEnabled(false);
    ui->teLog->clear();
    ui->teLog->show();
    resize(0, 0);
    QCoreApplication::processEvents();

    m_saveTime = QDateTime::currentDateTime();
    const bool saved = (!ui->gbSaveFile->isChecked() || saveToFile()) &&
                       (!ui->gbSaveFtp->isChecked() || sendToFtp());
    m_saveTime = QDateTime();
    if (saved)
        saveSettings();
    if (saved && (ui->gbSaveFile->isChecked() || ui->gbSaveFtp->isChecked()))
        emit recordSaved();
    setEnabled(true);
    if (saved && ui->cbCloseAfterSaving->isChecked())
        accept();
}

void SaveDialog::saveSettings()
{
    QSettings settings = calibrationSettings();
    settings.setValue(QStringLiteral("FilePath"), ui->leFilePath->text());
    settings.setValue(QStringLiteral("PrivateKeyPath"), ui->lePrivateKey->text());
    settings.setValue(QStringLiteral("SaveToFile"), ui->gbSaveFile->isChecked());
    settings.setValue(QStringLiteral("SaveToFtp"), ui->gbSaveFtp->isChecked());
    settings.setValue(QStringLiteral("WinScp"), ui->leWinScp->text());
}

bool SaveDialog::saveToFile()
{
    const QString directory = ui->leFilePath->text();
    if (directory.isEmpty())
        return fail(QStringLiteral("Directory string is empty"));
    QString deviceType;
    QString deviceName;
    if (!recordIdentity(&deviceType, &deviceName))
        return false;
    const QString target = directory + QLatin1Char('/') + deviceType + QLatin1Char('/');
    if (!QDir().mkpath(target))
        return fail(QStringLiteral("Couldn't create target path."));
    const QString path = target + recordFileName(deviceName);
    logHtml(QStringLiteral("<font color=\"Blue\">Save data to file!!!</font>"));
    logText(QStringLiteral("Save data to the file: %1").arg(path));
    if (!writeFile(path, CalibrationRecord::document(m_record), openFailedText))
        return false;
    logText(doneText);
    return true;
}

bool SaveDialog::sendToFtp()
{
    const QString key = ui->lePrivateKey->text();
    if (!key.toLower().contains(QLatin1String(".ppk")) || !QFile::exists(key) ||
        !CalibrationRecord::isQuotable(key))
        return fail(QStringLiteral("Thre is some problem with private key filename."));
    const QString tool = ui->leWinScp->text();
    if (!tool.toLower().contains(QLatin1String("winscp.com")) || !QFile::exists(tool))
        return fail(QStringLiteral("Thre is some problem with WinScp location."));
    QString deviceType;
    QString deviceName;
    if (!recordIdentity(&deviceType, &deviceName))
        return false;
    const CalibrationServer server = CalibrationServer::fromSettings();
    const QString problem = server.uploadProblem();
    if (!problem.isEmpty())
        return fail(
            QStringLiteral("The calibration server is not configured: check the setting \"%1\".")
                .arg(problem));

    // A directory of our own, so that nobody else can swap the files the tool reads.
    QTemporaryDir temporary(
        QStandardPaths::standardLocations(QStandardPaths::TempLocation).value(0, QDir::tempPath()) +
        QStringLiteral("/lc-upload-XXXXXX"));
    const QString directory = QDir::fromNativeSeparators(temporary.path());
    if (!temporary.isValid() || !CalibrationRecord::isQuotable(directory))
        return fail(openFailedText);
    const QString recordPath = directory + QLatin1Char('/') + recordFileName(deviceName);
    logHtml(QStringLiteral("<font color=\"Blue\">Save data to ftp!!!</font>"));
    logText(QStringLiteral("Preparing tmp_file: %1").arg(recordPath));
    if (!writeFile(recordPath, CalibrationRecord::document(m_record), openFailedText))
        return false;
    logText(doneText);

    const QString scriptPath = directory + QStringLiteral("/script.tmp");
    logText(QStringLiteral("Preparing script file: %1").arg(scriptPath));
    bool sent = writeFile(scriptPath, uploadScript(server, key, recordPath, deviceType),
                          QStringLiteral("Couldn't write script file."));
    if (sent) {
        logText(doneText);
        sent = runTool(tool, scriptPath);
    }
    logText(QStringLiteral("Delete tmp_file"));
    QFile::remove(recordPath);
    logText(doneText);
    return sent;
}

bool SaveDialog::recordIdentity(QString* deviceType, QString* deviceName)
{
    *deviceType = m_record.value(CalibrationRecord::deviceTypeKey).toString();
    *deviceName = m_record.value(CalibrationRecord::udidKey).toString();
    if (deviceType->isEmpty() || !CalibrationRecord::isDeviceName(*deviceName)) {
        fail(badRecordText);
        reject();
        return false;
    }
    if (!CalibrationRecord::isDirectoryName(*deviceType)) {
        fail(QStringLiteral("The module's type string cannot name a directory (it is \".\" or "
                            "\"..\", or holds control characters, '\"', '/' or '\\'). "
                            "Nothing was saved."));
        reject();
        return false;
    }
    return true;
}

QString SaveDialog::recordFileName(QString const& deviceName) const
{
    return CalibrationRecord::fileName(
        deviceName, m_saveTime.isValid() ? m_saveTime : QDateTime::currentDateTime());
}

bool SaveDialog::writeFile(QString const& path, QByteArray const& bytes, QString const& failure)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(failure);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return fail(QStringLiteral("Couldn't write %1: %2").arg(path, file.errorString()));
    return true;
}

bool SaveDialog::runTool(QString const& tool, QString const& script)
{
    QProcess process;
    process.setProgram(tool);
#ifdef Q_OS_WIN
    process.setNativeArguments(QStringLiteral("/ini=nul /script=\"%1\"").arg(script));
#else
    process.setArguments({QStringLiteral("/ini=nul"), QStringLiteral("/script=") + script});
#endif
    process.setStandardInputFile(QProcess::nullDevice());
    logText(QStringLiteral("Start WinScp process"));
    logText(QStringLiteral("\"%1\" /ini=nul /script=\"%2\"").arg(tool, script));

    LineBuffer output;
    LineBuffer errors;
    auto showOutput = [&] {
        for (QString const& line : output.add(process.readAllStandardOutput()))
            logText(line);
    };
    auto showErrors = [&] {
        for (QString const& line : errors.add(process.readAllStandardError()))
            logHtml(redHtml(line));
    };
    connect(&process, &QProcess::readyReadStandardOutput, this, showOutput);
    connect(&process, &QProcess::readyReadStandardError, this, showErrors);

    QEventLoop loop;
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
            &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    bool stopped = false;
    QTimer kill;
    kill.setSingleShot(true);
    connect(&kill, &QTimer::timeout, &process, &QProcess::kill);
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &process, [&] {
        stopped = true;
        process.terminate();
        kill.start(toolKillDelayMs);
    });

    process.start(QIODevice::ReadWrite);
    if (process.state() != QProcess::NotRunning) {
        limit.start(toolTimeoutMs);
        loop.exec();
    }
    if (process.error() == QProcess::FailedToStart) {
        logHtml(QStringLiteral("<font color=\"Red\">Can't start WinScp process!!!</font>"));
        OperatorDialogs::critical(this, errorTitle,
                                  QStringLiteral("Can't start WinScp process!!!"));
        return false;
    }
    // The application may be quitting; the process must not outlive the wait.
    if (process.state() != QProcess::NotRunning) {
        process.disconnect(this);
        process.kill();
        process.waitForFinished(toolKillDelayMs);
        return fail(QStringLiteral("WinScp was stopped before it finished."));
    }
    showOutput();
    showErrors();
    for (QString const& line : output.rest())
        logText(line);
    for (QString const& line : errors.rest())
        logHtml(redHtml(line));
    QCoreApplication::processEvents();
    qCDebug(lcCalibration) << "WinScp exit code" << process.exitCode() << process.exitStatus();
    if (stopped)
        return fail(QStringLiteral("WinScp did not finish within %1 s and was stopped.")
                        .arg(toolTimeoutMs / 1000.0));
    if (process.exitStatus() != QProcess::NormalExit)
        return fail(QStringLiteral("WinScp ended abnormally."));
    if (process.exitCode() != 0)
        return fail(QStringLiteral("WinScp ended with exit code %1. The record was not uploaded.")
                        .arg(process.exitCode()));
    return true;
}

bool SaveDialog::fail(QString const& text)
{
    logHtml(redHtml(text));
    OperatorDialogs::critical(this, errorTitle, text);
    return false;
}

void SaveDialog::logText(QString const& text)
{
    ui->teLog->appendPlainText(text);
}

void SaveDialog::logHtml(QString const& html)
{
    ui->teLog->appendHtml(html);
}
