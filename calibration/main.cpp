#include "calibrationprogram.h"
#include "lclogging.h"
#include "maindialog.h"
#include "startdialog.h"

#include <QApplication>
#include <QDebug>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    qCDebug(lcCalibration) << "Start";
    StartDialog startDialog;
    MainDialog mainDialog;
    return runDevCalibration(startDialog, mainDialog);
}
