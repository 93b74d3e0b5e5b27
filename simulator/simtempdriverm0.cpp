#include "simtempdriverm0.h"

SimTempDriverM0::SimTempDriverM0(quint8 address, QObject* parent)
    : SimModule(QStringLiteral("LC4TDM0"), address, parent)
{
    setTypeString(QStringLiteral("LC4TDM0 temperature driver"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("Temperature driver, modification 0 (simulated)"));
    setConstantsRecord(eepromSize);
}
