#include "simsspddriverm1.h"

SimSspdDriverM1::SimSspdDriverM1(quint8 address, QObject* parent)
    : SimModule(QStringLiteral("LC4SDM1"), address, parent)
{
    setTypeString(QStringLiteral("LC4SDM1 SSPD driver"));
    setModificationVersion(QStringLiteral("1"));
    setDescription(QStringLiteral("SSPD driver, modification 1 (simulated)"));
    setConstantsRecord(eepromSize);
}
