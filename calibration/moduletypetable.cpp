#include "moduletypetable.h"

#include "heaterdriverm0.h"
#include "sisbiassourcedriverm0.h"
#include "siscontrollinedriverm0.h"
#include "sspddriverm0.h"
#include "sspddriverm1.h"
#include "tempdriverm0.h"
#include "tempdriverm1.h"
#include "wheaterdriver.h"
#include "wsisbiassourcedriver.h"
#include "wsiscontrollinedriver.h"
#include "wsspddriver.h"
#include "wtempcalibr.h"
#include "wtempm1calibr.h"

namespace {

template <typename Driver> CommonDriver* create(QObject* parent)
{
    return new Driver(parent);
}

template <typename Editor> DriverWidget* createEditor(QWidget* parent)
{
    return new Editor(parent);
}

// In the order the model codes are searched for.
const ModuleKind moduleKinds[] = {
    {SspdM0, "LC4SDM0", create<SspdDriverM0>, createEditor<wSspdDriver>},
    {SspdM1, "LC4SDM1", create<SspdDriverM1>, createEditor<wSspdDriver>},
    {TempM0, "LC4TDM0", create<TempDriverM0>, createEditor<wTempCalibr>},
    {TempM1, "LC4TDM1", create<TempDriverM1>, createEditor<wTempM1Calibr>},
    {HeaterM0, "LC4HTM", create<HeaterDriverM0>, createEditor<wHeaterDriver>},
    {ControlLineM0, "LC4CLM", create<SisControlLineDriverM0>, createEditor<wSisControlLineDriver>},
    {BiasSourceM0, "LC4BSM", create<SisBiasSourceDriverM0>, createEditor<wSisBiasSourceDriver>},
};

} // namespace

LC4DriverType driverTypeOf(QString const& deviceType)
{
    LC4DriverType type = UnknownType;
    for (const ModuleKind& kind : moduleKinds) {
        if (deviceType.contains(QLatin1String(kind.modelCode), Qt::CaseSensitive))
            type = kind.type;
    }
    return type;
}

const ModuleKind* moduleKind(LC4DriverType type)
{
    for (const ModuleKind& kind : moduleKinds) {
        if (kind.type == type)
            return &kind;
    }
    return nullptr;
}
