#ifndef STARTDIALOG_H
#define STARTDIALOG_H

#include "guardeddialog.h"
#include "lctcpsocketiointerface.h"
#include "lumicratepicker.h"

#include <QPointer>

namespace Ui {
class StartDialog;
}

// The first window of the calibration tool: the operator picks the unit and the
// module's device address; OK proves that a unit and a module answer there and
// reads the module's type string. Close ends the program.
class StartDialog : public GuardedDialog
{
    Q_OBJECT
public:
    // An empty discovery means the unit broadcast of the driver library.
    explicit StartDialog(QWidget* parent = nullptr, LumicratePicker::Discovery discovery = {});
    ~StartDialog() override;

    // The unit's frame port; tests point it at a local stand-in.
    quint16 unitPort = 9876;

    QString deviceType() const { return m_deviceType; }
    int deviceAddress() const;
    // The link of the successful check; it stays the dialog's.
    lcTcpSocketIOInterface* interface() const { return m_interface; }
    LumicratePicker* picker() const { return m_picker; }

public slots:
    void on_buttonBox_accepted();
    void updateLumicrateList();
    void on_cbTcpIp_activated(QString const& text);

private:
    // True when a unit and a module answered; the warnings are shown here.
    bool checkConnection();
    void restoreSettings();

    Ui::StartDialog* ui;
    LumicratePicker* m_picker;
    QPointer<lcTcpSocketIOInterface> m_interface;
    QString m_deviceType;
};

#endif // STARTDIALOG_H
