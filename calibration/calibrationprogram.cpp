#include "calibrationprogram.h"

#include "maindialog.h"
#include "startdialog.h"

#include "lctcpsocketiointerface.h"

#include <QApplication>

int runDevCalibration(StartDialog& startDialog, MainDialog& mainDialog)
{
    if (startDialog.exec() != QDialog::Accepted)
        return 0;
    mainDialog.setInterface(startDialog.interface());
    mainDialog.setDeviceType(startDialog.deviceType());
    mainDialog.setDeviceAddress(startDialog.deviceAddress());
    mainDialog.show();
    // A close during the first EEPROM read has ended the dialog already.
    if (!mainDialog.initializeUI() || !mainDialog.isVisible())
        return 0;
    return QApplication::exec();
}
