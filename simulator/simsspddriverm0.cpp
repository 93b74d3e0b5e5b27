#include "simsspddriverm0.h"

SimSspdDriverM0::SimSspdDriverM0(quint8 address, QObject* parent)
    : SimModule(QStringLiteral("LC4SDM0"), address, parent)
{
    setTypeString(QStringLiteral("LC4SDM0 SSPD driver"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("SSPD driver, modification 0 (simulated)"));
    setConstantsRecord(eepromSize);
}
