#ifndef MODULETYPETABLE_H
#define MODULETYPETABLE_H

#include "lc4drivertype.h"

class CommonCalibrator;
class CommonDriver;
class DriverWidget;
class QObject;
class QWidget;

// The one place where a module kind is tied to its model code, its driver and
// its EEPROM editor and its calibrator.
struct ModuleKind
{
    LC4DriverType type;
    const char* modelCode;
    CommonDriver* (*createDriver)(QObject* parent);
    DriverWidget* (*createEditor)(QWidget* parent);
    CommonCalibrator* (*createCalibrator)(QObject* parent);
};

// The row of a kind; null for UnknownType.
const ModuleKind* moduleKind(LC4DriverType type);

#endif // MODULETYPETABLE_H
