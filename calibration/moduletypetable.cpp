#include "moduletypetable.h"

#include "heaterdriverm0.h"
#include "lc4bsm0calibrator.h"
#include "lc4clm0calibrator.h"
#include "lc4htm0calibrator.h"
#include "lc4sdm0calibrator.h"
#include "lc4sdm1calibrator.h"
#include "lc4tdm0calibrator.h"
#include "lc4tdm1calibrator.h"
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

template <typename Calibrator> CommonCalibrator* createCalibrator(QObject* parent)
{
    return new Calibrator(parent);
}

template <typename Editor> DriverWidget* createEditor(QWidget* parent)
{
    return new Editor(parent);
}

// In the order the model codes are searched for.
const ModuleKind moduleKinds[] = {
    {SspdM0, "LC4SDM0", create<SspdDriverM0>, createEditor<wSspdDriver>,
     createCalibrator<LC4SDM0Calibrator>},
    {SspdM1, "LC4SDM1", create<SspdDriverM1>, createEditor<wSspdDriver>,
     createCalibrator<LC4SDM1Calibrator>},
    {TempM0, "LC4TDM0", create<TempDriverM0>, createEditor<wTempCalibr>,
     createCalibrator<LC4TDM0Calibrator>},
    {TempM1, "LC4TDM1", create<TempDriverM1>, createEditor<wTempM1Calibr>,
     createCalibrator<LC4TDM1Calibrator>},
    {HeaterM0, "LC4HTM", create<HeaterDriverM0>, createEditor<wHeaterDriver>,
     createCalibrator<LC4HTM0Calibrator>},
    {ControlLineM0, "LC4CLM", create<SisControlLineDriverM0>, createEditor<wSisControlLineDriver>,
     createCalibrator<LC4CLM0Calibrator>},
    {BiasSourceM0, "LC4BSM", create<SisBiasSourceDriverM0>, createEditor<wSisBiasSourceDriver>,
     createCalibrator<LC4BSM0Calibrator>},
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
