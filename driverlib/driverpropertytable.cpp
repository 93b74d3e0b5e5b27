#include "driverpropertytable.h"

namespace {

template <typename Property> struct PropertyKind;
template <typename T> struct PropertyKind<DriverProperty<T>>
{
    using Value = T;
    static constexpr bool get = true;
    static constexpr bool set = true;
};
template <typename T> struct PropertyKind<DriverPropertyReadOnly<T>>
{
    using Value = T;
    static constexpr bool get = true;
    static constexpr bool set = false;
};
template <typename T> struct PropertyKind<DriverPropertyWriteOnly<T>>
{
    using Value = T;
    static constexpr bool get = false;
    static constexpr bool set = true;
};

template <typename Driver, typename Owner, typename Property>
DriverPropertyRow row(const char* name, Property* (Owner::*accessor)() const)
{
    static_assert(std::is_base_of<Owner, Driver>::value, "the accessor belongs to the driver");
    using Kind = PropertyKind<Property>;
    using T = typename Kind::Value;
    using Text = DriverValueText<T>;
    DriverPropertyRow result;
    result.name = QString::fromLatin1(name);
    result.type = Text::typeName();
    result.canGet = Kind::get;
    result.canSet = Kind::set;
    if constexpr (Kind::get) {
        result.read = [accessor](CommonDriver& driver, int attempts, QString* text) {
            auto* typed = qobject_cast<Driver*>(&driver);
            if (!typed)
                return false;
            bool ok = false;
            T value;
            // A cut answer would read as zeros in its missing bytes: no value at all.
            if constexpr (std::is_same<T, QString>::value)
                value = (typed->*accessor)()->getValueSync(&ok, attempts);
            else
                value = (typed->*accessor)()->getValueSyncExact(&ok, attempts);
            if (ok)
                *text = Text::text(value);
            return ok;
        };
    }
    if constexpr (Kind::set) {
        result.check = [](QString const& text, QString* error) {
            T value{};
            return driverValueFromText(text, &value, error);
        };
        result.write = [accessor](CommonDriver& driver, QString const& text, int attempts) {
            auto* typed = qobject_cast<Driver*>(&driver);
            T value{};
            QString error;
            if (!typed || !driverValueFromText(text, &value, &error))
                return false;
            bool ok = false;
            (typed->*accessor)()->setValueSync(value, &ok, attempts);
            return ok;
        };
    }
    return result;
}

template <typename Driver, typename Owner>
DriverPropertyRow row(const char* name, DriverCommand* (Owner::*accessor)() const)
{
    static_assert(std::is_base_of<Owner, Driver>::value, "the accessor belongs to the driver");
    DriverPropertyRow result;
    result.name = QString::fromLatin1(name);
    result.type = QStringLiteral("command");
    result.canSet = true;
    result.check = [](QString const& text, QString* error) {
        if (text.isEmpty())
            return true;
        *error = QStringLiteral("a command takes no value, not \"%1\"").arg(text);
        return false;
    };
    result.write = [accessor](CommonDriver& driver, QString const&, int attempts) {
        auto* typed = qobject_cast<Driver*>(&driver);
        bool ok = false;
        if (typed)
            (typed->*accessor)()->executeSync(&ok, attempts);
        return ok;
    };
    return result;
}

// Every kind answers these.
template <typename Driver> QVector<DriverPropertyRow> common()
{
    return {
        row<Driver>("deviceType", &CommonDriver::deviceType),
        row<Driver>("modificationVersion", &CommonDriver::modificationVersion),
        row<Driver>("hardwareVersion", &CommonDriver::hardwareVersion),
        row<Driver>("firmwareVersion", &CommonDriver::firmwareVersion),
        row<Driver>("deviceDescription", &CommonDriver::deviceDescription),
        row<Driver>("UDID", &CommonDriver::UDID),
        row<Driver>("init", &CommonDriver::init),
        row<Driver>("shutDown", &CommonDriver::shutDown),
        row<Driver>("silence", &CommonDriver::silence),
        row<Driver>("reboot", &CommonDriver::reboot),
        row<Driver>("writeEeprom", &CommonDriver::writeEeprom),
    };
}

// The two SSPD modifications share their names; M1's extra ones follow.
template <typename Driver> QVector<DriverPropertyRow> sspd()
{
    return common<Driver>() +
           QVector<DriverPropertyRow>{
               row<Driver>("data", &Driver::data),
               row<Driver>("current", &Driver::current),
               row<Driver>("voltage", &Driver::voltage),
               row<Driver>("counts", &Driver::counts),
               row<Driver>("status", &Driver::status),
               row<Driver>("shortEnable", &Driver::shortEnable),
               row<Driver>("amplifierEnable", &Driver::amplifierEnable),
               row<Driver>("comparatorLatchEnable", &Driver::cmpLatchEnable),
               row<Driver>("counterEnable", &Driver::counterEnable),
               row<Driver>("autoResetEnable", &Driver::autoResetEnable),
               row<Driver>("params", &Driver::params),
               row<Driver>("comparatorLevel", &Driver::cmpReferenceLevel),
               row<Driver>("timeConst", &Driver::timeConst),
               row<Driver>("autoResetThreshold", &Driver::autoResetThreshold),
               row<Driver>("autoResetTimeOut", &Driver::autoResetTimeOut),
               row<Driver>("autoResetAlarmsCounts", &Driver::autoResetAlarmsCounts),
               row<Driver>("eepromConst", &Driver::eepromConst),
               row<Driver>("currentAdcCoeff", &Driver::currentAdcCoeff),
               row<Driver>("voltageAdcCoeff", &Driver::voltageAdcCoeff),
               row<Driver>("currentDacCoeff", &Driver::currentDacCoeff),
               row<Driver>("comparatorCoeff", &Driver::cmpReferenceCoeff),
               row<Driver>("pidEnable", &Driver::PIDEnableStatus),
           };
}

template <typename Driver> CommonDriver* create(QObject* parent)
{
    return new Driver(parent);
}

QVector<DriverKind> makeKinds()
{
    using M0 = SspdDriverM0;
    using M1 = SspdDriverM1;
    using BS = SisBiasSourceDriverM0;
    using CL = SisControlLineDriverM0;
    using HT = HeaterDriverM0;
    using T0 = TempDriverM0;
    using T1 = TempDriverM1;
    // In the order the model codes are searched for.
    return {
        {QStringLiteral("LC4SDM0"), QStringLiteral("SSPD driver M0"), create<M0>,
         sspd<M0>() +
             QVector<DriverPropertyRow>{
                 row<M0>("rfKeyEnable", &M0::rfKeyEnable),
             }},
        {QStringLiteral("LC4SDM1"), QStringLiteral("SSPD driver M1"), create<M1>,
         sspd<M1>() +
             QVector<DriverPropertyRow>{
                 row<M1>("currentMonitor", &M1::currentMonitor),
                 row<M1>("highFrequencyModeEnable", &M1::highFrequencyModeEnable),
                 row<M1>("currentMonitorAdcCoeff", &M1::currentMonitorAdcCoeff),
                 row<M1>("pulseWidthCoeff", &M1::pulseWidthCoeff),
             }},
        {QStringLiteral("LC4TDM0"), QStringLiteral("temperature driver M0"), create<T0>,
         common<T0>() +
             QVector<DriverPropertyRow>{
                 row<T0>("data", &T0::data),
                 row<T0>("temperature", &T0::temperature),
                 row<T0>("pressure", &T0::pressure),
                 row<T0>("current", &T0::tempSensorCurrent),
                 row<T0>("voltage", &T0::tempSensorVoltage),
                 row<T0>("pressureVoltageP", &T0::pressSensorVoltageP),
                 row<T0>("pressureVoltageN", &T0::pressSensorVoltageN),
                 row<T0>("commutator", &T0::commutator),
                 row<T0>("eepromConst", &T0::eepromConst),
                 row<T0>("currentAdcCoeff", &T0::tempSensorCurrentAdcCoeff),
                 row<T0>("currentDacCoeff", &T0::tempSensorCurrentDacCoeff),
                 row<T0>("voltageCoeff", &T0::tempSensorVoltageCoeff),
                 row<T0>("pressureVoltagePCoeff", &T0::pressSensorVoltagePCoeff),
                 row<T0>("pressureVoltageNCoeff", &T0::pressSensorVoltageNCoeff),
                 row<T0>("pressureCoeff", &T0::pressSensorCoeff),
             }},
        {QStringLiteral("LC4TDM1"), QStringLiteral("temperature driver M1"), create<T1>,
         common<T1>() +
             QVector<DriverPropertyRow>{
                 row<T1>("relaysStatus", &T1::relaysStatus),
                 row<T1>("switcherMode", &T1::switcherMode),
             }},
        {QStringLiteral("LC4HTM"), QStringLiteral("heater M0"), create<HT>,
         common<HT>() +
             QVector<DriverPropertyRow>{
                 row<HT>("data", &HT::data),
                 row<HT>("current", &HT::current),
                 row<HT>("relayStatus", &HT::relayStatus),
                 row<HT>("mode", &HT::mode),
                 row<HT>("eepromConst", &HT::eepromConst),
                 row<HT>("currentAdcCoeff", &HT::currentAdcCoeff),
                 row<HT>("currentDacCoeff", &HT::currentDacCoeff),
                 row<HT>("maximumCurrent", &HT::maximumCurrent),
                 row<HT>("frontEdgeTime", &HT::frontEdgeTime),
                 row<HT>("holdTime", &HT::holdTime),
                 row<HT>("rearEdgeTime", &HT::rearEdgeTime),
                 row<HT>("startHeating", &HT::startHeating),
                 row<HT>("emergencyStop", &HT::emergencyStop),
             }},
        {QStringLiteral("LC4CLM"), QStringLiteral("SIS control line M0"), create<CL>,
         common<CL>() +
             QVector<DriverPropertyRow>{
                 row<CL>("data", &CL::data),
                 row<CL>("current", &CL::current),
                 row<CL>("shortEnable", &CL::shortEnable),
                 row<CL>("eepromConst", &CL::eepromConst),
                 row<CL>("currentAdcCoeff", &CL::currentAdcCoeff),
                 row<CL>("currentDacCoeff", &CL::currentDacCoeff),
                 row<CL>("currentLimits", &CL::currentLimits),
                 row<CL>("currentStep", &CL::currentStep),
                 row<CL>("pidEnable", &CL::pidEnable),
             }},
        {QStringLiteral("LC4BSM"), QStringLiteral("SIS bias source M0"), create<BS>,
         common<BS>() +
             QVector<DriverPropertyRow>{
                 row<BS>("data", &BS::data),
                 row<BS>("current", &BS::current),
                 row<BS>("voltage", &BS::voltage),
                 row<BS>("shortEnable", &BS::shortEnable),
                 row<BS>("mode", &BS::mode),
                 row<BS>("eepromConst", &BS::eepromConst),
                 row<BS>("currentAdcCoeff", &BS::currentAdcCoeff),
                 row<BS>("currentDacCoeff", &BS::currentDacCoeff),
                 row<BS>("currentLimits", &BS::currentLimits),
                 row<BS>("currentStep", &BS::currentStep),
                 row<BS>("voltageAdcCoeff", &BS::voltageAdcCoeff),
                 row<BS>("voltageDacCoeff", &BS::voltageDacCoeff),
                 row<BS>("voltageLimits", &BS::voltageLimits),
                 row<BS>("voltageStep", &BS::voltageStep),
                 row<BS>("currentMonitorResistance", &BS::currentMonitorResistance),
                 row<BS>("pidEnable", &BS::pidEnable),
                 row<BS>("sweepParams", &BS::sweepParams),
                 row<BS>("sweepStart", &BS::sweepStart),
                 row<BS>("sweepStop", &BS::sweepStop),
             }},
    };
}

} // namespace

QString DriverPropertyRow::direction() const
{
    if (canGet && canSet)
        return QStringLiteral("get-set");
    return canGet ? QStringLiteral("get") : QStringLiteral("set");
}

const DriverPropertyRow* DriverKind::property(QString const& name) const
{
    for (DriverPropertyRow const& row : properties) {
        if (row.name == name)
            return &row;
    }
    return nullptr;
}

const QVector<DriverKind>& driverKinds()
{
    static const QVector<DriverKind> kinds = makeKinds();
    return kinds;
}

const DriverKind* driverKindOf(QString const& deviceType)
{
    const DriverKind* found = nullptr;
    for (DriverKind const& kind : driverKinds()) {
        if (deviceType.contains(kind.modelCode, Qt::CaseSensitive))
            found = &kind;
    }
    return found;
}
