#include "simheaterm0.h"

SimHeaterM0::SimHeaterM0(quint8 address, QObject* parent)
    : SimModule(QStringLiteral("LC4HTM0"), address, parent)
{
    setTypeString(QStringLiteral("LC4HTM0 heater"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("Heater (simulated)"));
    setConstantsRecord(eepromSize);
}
