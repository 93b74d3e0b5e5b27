#ifndef LC4DRIVERTYPE_H
#define LC4DRIVERTYPE_H

#include <QString>

// The module kinds the calibration tool serves.
enum LC4DriverType
{
    SspdM0 = 0,
    SspdM1 = 1,
    TempM0 = 2,
    TempM1 = 3,
    HeaterM0 = 4,
    ControlLineM0 = 5,
    BiasSourceM0 = 6,
    UnknownType = 7
};

// The kind whose model code the type string contains, case-sensitively and
// anywhere; when several occur, the last of the table's order wins.
LC4DriverType driverTypeOf(QString const& deviceType);

#endif // LC4DRIVERTYPE_H
