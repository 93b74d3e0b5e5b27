#ifndef CALIBRATEDIALOG_H
#define CALIBRATEDIALOG_H

#include "cagilent34401avisainterface.h"
#include "commoncalibrator.h"
#include "commondriver.h"
#include "lc4drivertype.h"

#include <QDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QPointer>

#include <memory>

namespace Ui {
class CalibrateDialog;
}

// The window of a calibration run: the operator picks the multimeter and the mode,
// starts the run and watches its points; Close stops a run at its next check.
class CalibrateDialog : public QDialog
{
    Q_OBJECT
public:
    // The multimeter is the dialog's for the life of the program; tests give one.
    explicit CalibrateDialog(QWidget* parent = nullptr,
                             std::unique_ptr<cAgilent34401aVisaInterface> agilent = {});
    ~CalibrateDialog() override;

    // Prepares a calibrator and runs the dialog modally; -1, showing nothing, when
    // the VISA library is missing.
    int exec() override;
    void reject() override;

    void setDriver(CommonDriver* driver) { m_driver = driver; }
    CommonDriver* driver() const { return m_driver; }
    void setDriverType(LC4DriverType const& type) { m_driverType = type; }
    LC4DriverType driverType() const { return m_driverType; }
    void setChannel(int channel) { m_channel = channel; }
    int channel() const { return m_channel; }
    CommonCalibrator* calibrator() const { return m_calibrator; }
    cAgilent34401aVisaInterface* agilent() const { return m_agilent.get(); }

    void enableComponents(bool enable);

    // The verifications of the runs completed since the last saved record, the
    // latest of each mode: the "Verification" entry of the next record.
    QJsonArray verifications() const;
    void clearVerifications() { m_verifications.clear(); }

public slots:
    void on_pbStart_clicked();
    void changeProgress(int progress);
    void appendPoints(int graphIndex, double x, double y, bool update);
    void messagePerform(QString text);
    void plotPerform();
    void stopCalibration();

private:
    void prepareCalibrator();
    // Both tables from the calibrator's verification.
    void showVerification();
    void calibrationFinished();

    Ui::CalibrateDialog* ui;
    LC4DriverType m_driverType = UnknownType;
    QPointer<CommonDriver> m_driver;
    std::unique_ptr<cAgilent34401aVisaInterface> m_agilent;
    QPointer<CommonCalibrator> m_calibrator;
    int m_channel = 0;
    QMap<QString, QJsonObject> m_verifications;
};

#endif // CALIBRATEDIALOG_H
