#ifndef CALIBRATIONSETTINGS_H
#define CALIBRATIONSETTINGS_H

#include <QSettings>

// The calibration tool's settings store; the address pickers of all three
// programs read its unit address.
inline QSettings calibrationSettings()
{
    return QSettings(QStringLiteral("Velmora"), QStringLiteral("Lumicrate4_Calibration"));
}

#endif // CALIBRATIONSETTINGS_H
