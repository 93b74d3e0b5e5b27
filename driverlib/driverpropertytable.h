#ifndef DRIVERPROPERTYTABLE_H
#define DRIVERPROPERTYTABLE_H

#include "drivervaluetext.h"
#include "heaterdriverm0.h"
#include "sisbiassourcedriverm0.h"
#include "siscontrollinedriverm0.h"
#include "sspddriverm0.h"
#include "sspddriverm1.h"
#include "tempdriverm0.h"
#include "tempdriverm1.h"

#include <QString>
#include <QVector>

#include <functional>

// The typed properties of every module kind by stable names, for programs that
// reach them by text (lc-ctl). The names and the record fields live here only:
// a new property is one line in driverpropertytable.cpp.

// One property of a kind's driver. Commands have the type "command", take no
// value and can only be set.
struct DriverPropertyRow
{
    QString name;
    QString type;
    bool canGet = false;
    bool canSet = false;
    // "get", "set" or "get-set".
    QString direction() const;
    // Reads with up to `attempts` tries; the value's text, or false when the
    // module gave no whole answer.
    std::function<bool(CommonDriver& driver, int attempts, QString* text)> read;
    // True when the text is a value this property can send; the reason otherwise.
    std::function<bool(QString const& text, QString* error)> check;
    // Sends the value of a text that check() accepted; false without confirmation.
    std::function<bool(CommonDriver& driver, QString const& text, int attempts)> write;
};

struct DriverKind
{
    QString modelCode; // found anywhere in the module's type string
    QString name;
    std::function<CommonDriver*(QObject* parent)> create;
    QVector<DriverPropertyRow> properties;

    const DriverPropertyRow* property(QString const& name) const;
};

const QVector<DriverKind>& driverKinds();
// The kind whose model code the type string contains; when several do, the last
// in table order. Null for a type string of no known kind.
const DriverKind* driverKindOf(QString const& deviceType);

// The JSON field names of the records, in the order of their bytes.
#define LC_RECORD_NAME(type) static constexpr const char* name = #type;
#define LC_FIELD(type, member) recordField(#member, &type::member)

template <> struct RecordFields<LC4SDM0V1_Data_t>
{
    LC_RECORD_NAME(LC4SDM0V1_Data_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4SDM0V1_Data_t, current), LC_FIELD(LC4SDM0V1_Data_t, voltage),
                        LC_FIELD(LC4SDM0V1_Data_t, counts), LC_FIELD(LC4SDM0V1_Data_t, status));
};
template <> struct RecordFields<LC4SDM0V1_Param_t>
{
    LC_RECORD_NAME(LC4SDM0V1_Param_t)
    static constexpr auto fields = std::make_tuple(
        LC_FIELD(LC4SDM0V1_Param_t, cmpReferenceLevel), LC_FIELD(LC4SDM0V1_Param_t, timeConst),
        LC_FIELD(LC4SDM0V1_Param_t, autoResetThreshold),
        LC_FIELD(LC4SDM0V1_Param_t, autoResetTimeOut),
        LC_FIELD(LC4SDM0V1_Param_t, autoResetAlarmsCounts));
};
template <> struct RecordFields<LC4SDM0V1_EEPROM_Const_t>
{
    LC_RECORD_NAME(LC4SDM0V1_EEPROM_Const_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4SDM0V1_EEPROM_Const_t, currentAdcCoeff),
                        LC_FIELD(LC4SDM0V1_EEPROM_Const_t, voltageAdcCoeff),
                        LC_FIELD(LC4SDM0V1_EEPROM_Const_t, currentDacCoeff),
                        LC_FIELD(LC4SDM0V1_EEPROM_Const_t, cmpReferenceCoeff));
};
template <> struct RecordFields<LC4SDM1_Data_t>
{
    LC_RECORD_NAME(LC4SDM1_Data_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4SDM1_Data_t, current), LC_FIELD(LC4SDM1_Data_t, currentMonitor),
                        LC_FIELD(LC4SDM1_Data_t, voltage), LC_FIELD(LC4SDM1_Data_t, counts),
                        LC_FIELD(LC4SDM1_Data_t, status));
};
template <> struct RecordFields<LC4SDM1_EEPROM_Const_t>
{
    LC_RECORD_NAME(LC4SDM1_EEPROM_Const_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4SDM1_EEPROM_Const_t, currentAdcCoeff),
                        LC_FIELD(LC4SDM1_EEPROM_Const_t, voltageAdcCoeff),
                        LC_FIELD(LC4SDM1_EEPROM_Const_t, currentDacCoeff),
                        LC_FIELD(LC4SDM1_EEPROM_Const_t, currentMonitorAdcCoeff),
                        LC_FIELD(LC4SDM1_EEPROM_Const_t, pulseWidthCoeff),
                        LC_FIELD(LC4SDM1_EEPROM_Const_t, cmpReferenceCoeff));
};
template <> struct RecordFields<LC4BSM0_Data_t>
{
    LC_RECORD_NAME(LC4BSM0_Data_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4BSM0_Data_t, current), LC_FIELD(LC4BSM0_Data_t, voltage),
                        LC_FIELD(LC4BSM0_Data_t, shortEnable), LC_FIELD(LC4BSM0_Data_t, mode));
};
template <> struct RecordFields<LC4BSM0_SWEEP_PARAMS_t>
{
    LC_RECORD_NAME(LC4BSM0_SWEEP_PARAMS_t)
    static constexpr auto fields = std::make_tuple(
        LC_FIELD(LC4BSM0_SWEEP_PARAMS_t, start), LC_FIELD(LC4BSM0_SWEEP_PARAMS_t, stop),
        LC_FIELD(LC4BSM0_SWEEP_PARAMS_t, step), LC_FIELD(LC4BSM0_SWEEP_PARAMS_t, timeStep),
        LC_FIELD(LC4BSM0_SWEEP_PARAMS_t, mode));
};
template <> struct RecordFields<LC4BSM0V0_EEPROM_Const_t>
{
    LC_RECORD_NAME(LC4BSM0V0_EEPROM_Const_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4BSM0V0_EEPROM_Const_t, currentAdcCoeff),
                        LC_FIELD(LC4BSM0V0_EEPROM_Const_t, voltageAdcCoeff),
                        LC_FIELD(LC4BSM0V0_EEPROM_Const_t, currentDacCoeff),
                        LC_FIELD(LC4BSM0V0_EEPROM_Const_t, voltageDacCoeff),
                        LC_FIELD(LC4BSM0V0_EEPROM_Const_t, currentLimits),
                        LC_FIELD(LC4BSM0V0_EEPROM_Const_t, voltageLimits),
                        LC_FIELD(LC4BSM0V0_EEPROM_Const_t, currentStep),
                        LC_FIELD(LC4BSM0V0_EEPROM_Const_t, voltageStep),
                        LC_FIELD(LC4BSM0V0_EEPROM_Const_t, currentMonitorResistance));
};
template <> struct RecordFields<LC4CLM0V0_Data_t>
{
    LC_RECORD_NAME(LC4CLM0V0_Data_t)
    static constexpr auto fields = std::make_tuple(LC_FIELD(LC4CLM0V0_Data_t, current),
                                                   LC_FIELD(LC4CLM0V0_Data_t, shortEnable));
};
template <> struct RecordFields<LC4CLM0V0_EEPROM_Const_t>
{
    LC_RECORD_NAME(LC4CLM0V0_EEPROM_Const_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4CLM0V0_EEPROM_Const_t, currentAdcCoeff),
                        LC_FIELD(LC4CLM0V0_EEPROM_Const_t, currentDacCoeff),
                        LC_FIELD(LC4CLM0V0_EEPROM_Const_t, currentLimits),
                        LC_FIELD(LC4CLM0V0_EEPROM_Const_t, currentStep));
};
template <> struct RecordFields<LC4HTM0V0_Data_t>
{
    LC_RECORD_NAME(LC4HTM0V0_Data_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4HTM0V0_Data_t, relayStatus), LC_FIELD(LC4HTM0V0_Data_t, mode),
                        LC_FIELD(LC4HTM0V0_Data_t, current));
};
template <> struct RecordFields<LC4HT0V0_EEPROM_Const_t>
{
    LC_RECORD_NAME(LC4HT0V0_EEPROM_Const_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4HT0V0_EEPROM_Const_t, currentAdcCoeff),
                        LC_FIELD(LC4HT0V0_EEPROM_Const_t, currentDacCoeff),
                        LC_FIELD(LC4HT0V0_EEPROM_Const_t, maximumCurrent),
                        LC_FIELD(LC4HT0V0_EEPROM_Const_t, frontEdgeTime),
                        LC_FIELD(LC4HT0V0_EEPROM_Const_t, holdTime),
                        LC_FIELD(LC4HT0V0_EEPROM_Const_t, rearEdgeTime));
};
template <> struct RecordFields<LC4TDM0V1_Data_t>
{
    LC_RECORD_NAME(LC4TDM0V1_Data_t)
    static constexpr auto fields = std::make_tuple(
        LC_FIELD(LC4TDM0V1_Data_t, temperature), LC_FIELD(LC4TDM0V1_Data_t, pressure),
        LC_FIELD(LC4TDM0V1_Data_t, tempSensorCurrent),
        LC_FIELD(LC4TDM0V1_Data_t, tempSensorVoltage),
        LC_FIELD(LC4TDM0V1_Data_t, pressSensorVoltageP),
        LC_FIELD(LC4TDM0V1_Data_t, pressSensorVoltageN), LC_FIELD(LC4TDM0V1_Data_t, commutator));
};
template <> struct RecordFields<LC4TDM0V1_EEPROM_Const_t>
{
    LC_RECORD_NAME(LC4TDM0V1_EEPROM_Const_t)
    static constexpr auto fields =
        std::make_tuple(LC_FIELD(LC4TDM0V1_EEPROM_Const_t, tempSensorCurrentAdcCoeff),
                        LC_FIELD(LC4TDM0V1_EEPROM_Const_t, tempSensorCurrentDacCoeff),
                        LC_FIELD(LC4TDM0V1_EEPROM_Const_t, tempSensorVoltageCoeff),
                        LC_FIELD(LC4TDM0V1_EEPROM_Const_t, pressSensorVoltagePCoeff),
                        LC_FIELD(LC4TDM0V1_EEPROM_Const_t, pressSensorVoltageNCoeff),
                        LC_FIELD(LC4TDM0V1_EEPROM_Const_t, pressSensorCoeff));
};

#undef LC_FIELD
#undef LC_RECORD_NAME

#endif // DRIVERPROPERTYTABLE_H
