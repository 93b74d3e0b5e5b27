#ifndef MAINDIALOG_H
#define MAINDIALOG_H

#include "cagilent34401avisainterface.h"
#include "commondriver.h"
#include "driverwidget.h"
#include "guardeddialog.h"
#include "lc4drivertype.h"
#include "lciointerfaceimpl.h"

#include <QPointer>

#include <memory>

class OpenDialog;
class SaveDialog;

namespace Ui {
class MainDialog;
}

// The calibration tool's main window for one module: the EEPROM editor of the
// module's kind beside the buttons that read, send and permanently write its
// constants, calibrate it and save or load its calibration record.
class CalibrateDialog;

class MainDialog : public GuardedDialog
{
    Q_OBJECT
public:
    // The calibration dialog's multimeter; tests give one.
    explicit MainDialog(QWidget* parent = nullptr,
                        std::unique_ptr<cAgilent34401aVisaInterface> agilent = {});
    ~MainDialog() override;

    // What the start dialog found; called once, in this order, before initializeUI().
    void setInterface(lcIOInterfaceImpl* interface);
    void setDeviceType(QString const& type);
    void setDeviceAddress(int address);

    // Creates the driver and the editor of the module's kind and reads the EEPROM.
    // False for an unknown kind, after its warning: the program must end then.
    bool initializeUI();
    void enableGUI(bool enable);

    LC4DriverType driverType() const { return m_driverType; }
    CommonDriver* driver() const { return m_driver; }
    DriverWidget* driverWidget() const { return m_driverWidget; }
    CalibrateDialog* calibrateDialog() const { return m_calibrateDialog; }

public slots:
    void on_pbGetEeprom_clicked();
    void on_pbSetEeprom_clicked();
    void on_pbWriteEeprom_clicked();
    void on_pbCalibrate_clicked();
    void on_pbSave_clicked();
    void on_pbLoad_clicked();

private:
    // Runs one button's exchange with the buttons and the editor disabled.
    template <typename Action> void runAction(Action action);
    // Reads the module's type string and UDID for a calibration record; false,
    // after an error box, when either read fails or comes back short.
    bool readRecordIdentity(QString* deviceType, QString* deviceName);

    Ui::MainDialog* ui;
    SaveDialog* m_saveDialog;
    OpenDialog* m_openDialog;
    CalibrateDialog* m_calibrateDialog;
    QPointer<DriverWidget> m_driverWidget;
    LC4DriverType m_driverType = UnknownType;
    QPointer<CommonDriver> m_driver;
    lcIOInterfaceImpl* m_interface = nullptr;
    int m_deviceAddress = 0;
    QString m_deviceType;
};

#endif // MAINDIALOG_H
