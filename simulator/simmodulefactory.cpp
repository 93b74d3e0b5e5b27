#include "simmodulefactory.h"

#include "simheaterm0.h"
#include "simsisbiassourcem0.h"
#include "simsiscontrollinem0.h"
#include "simsspddriverm0.h"
#include "simsspddriverm1.h"
#include "simtempdriverm0.h"
#include "simtempdriverm1.h"

QStringList SimModuleFactory::kinds()
{
    return {QStringLiteral("LC4SDM0"), QStringLiteral("LC4SDM1"), QStringLiteral("LC4BSM0"),
            QStringLiteral("LC4CLM0"), QStringLiteral("LC4HTM0"), QStringLiteral("LC4TDM0"),
            QStringLiteral("LC4TDM1")};
}

std::unique_ptr<SimModule> SimModuleFactory::create(const QString& kind, quint8 address)
{
    if (kind == QLatin1String("LC4SDM0"))
        return std::make_unique<SimSspdDriverM0>(address);
    if (kind == QLatin1String("LC4SDM1"))
        return std::make_unique<SimSspdDriverM1>(address);
    if (kind == QLatin1String("LC4BSM0"))
        return std::make_unique<SimSisBiasSourceM0>(address);
    if (kind == QLatin1String("LC4CLM0"))
        return std::make_unique<SimSisControlLineM0>(address);
    if (kind == QLatin1String("LC4HTM0"))
        return std::make_unique<SimHeaterM0>(address);
    if (kind == QLatin1String("LC4TDM0"))
        return std::make_unique<SimTempDriverM0>(address);
    if (kind == QLatin1String("LC4TDM1"))
        return std::make_unique<SimTempDriverM1>(address);
    return nullptr;
}
