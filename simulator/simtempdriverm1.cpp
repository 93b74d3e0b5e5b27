#include "simtempdriverm1.h"

SimTempDriverM1::SimTempDriverM1(quint8 address, QObject* parent)
    : SimModule(QStringLiteral("LC4TDM1"), address, parent)
{
    setTypeString(QStringLiteral("LC4TDM1 temperature driver"));
    setModificationVersion(QStringLiteral("1"));
    setDescription(QStringLiteral("Temperature driver, modification 1 (simulated)"));
    setConstantsRecord(eepromSize);
}
