#include "simsisbiassourcem0.h"

SimSisBiasSourceM0::SimSisBiasSourceM0(quint8 address, QObject* parent)
    : SimModule(QStringLiteral("LC4BSM0"), address, parent)
{
    setTypeString(QStringLiteral("LC4BSM0 SIS bias source"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("SIS bias source (simulated)"));
    setConstantsRecord(eepromSize);
}
