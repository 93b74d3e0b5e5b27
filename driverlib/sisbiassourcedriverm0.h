#ifndef SISBIASSOURCEDRIVERM0_H
#define SISBIASSOURCEDRIVERM0_H

#include "commondriver.h"

#include <QMetaType>

#include <cstddef>

struct LC4BSM0_Data_t
{
    float current;
    float voltage;
    // A byte rather than bool: the module's byte is taken as it comes, and any
    // value other than 0 means on.
    quint8 shortEnable;
    char mode; // 1 voltage mode, 0 current mode
    quint8 reserved[2];
};
static_assert(sizeof(LC4BSM0_Data_t) == 12, "data record size");
static_assert(offsetof(LC4BSM0_Data_t, voltage) == 4 &&
                  offsetof(LC4BSM0_Data_t, shortEnable) == 8 && offsetof(LC4BSM0_Data_t, mode) == 9,
              "data record offsets");

struct LC4BSM0_SWEEP_PARAMS_t
{
    float start;
    float stop;
    float step;
    quint32 timeStep; // milliseconds per point
    quint8 mode;      // 1 voltage sweep, 0 current sweep
    quint8 reserved[3];
};
static_assert(sizeof(LC4BSM0_SWEEP_PARAMS_t) == 20, "sweep record size");
static_assert(offsetof(LC4BSM0_SWEEP_PARAMS_t, stop) == 4 &&
                  offsetof(LC4BSM0_SWEEP_PARAMS_t, step) == 8 &&
                  offsetof(LC4BSM0_SWEEP_PARAMS_t, timeStep) == 12 &&
                  offsetof(LC4BSM0_SWEEP_PARAMS_t, mode) == 16,
              "sweep record offsets");

// The record's field order differs from the order of the single-constant codes;
// both are the module's.
struct LC4BSM0V0_EEPROM_Const_t
{
    pair_t<float> currentAdcCoeff;
    pair_t<float> voltageAdcCoeff;
    pair_t<float> currentDacCoeff;
    pair_t<float> voltageDacCoeff;
    pair_t<float> currentLimits;
    pair_t<float> voltageLimits;
    float currentStep;
    float voltageStep;
    float currentMonitorResistance;
};
static_assert(sizeof(LC4BSM0V0_EEPROM_Const_t) == 60, "constants record size");
static_assert(offsetof(LC4BSM0V0_EEPROM_Const_t, voltageAdcCoeff) == 8 &&
                  offsetof(LC4BSM0V0_EEPROM_Const_t, currentDacCoeff) == 16 &&
                  offsetof(LC4BSM0V0_EEPROM_Const_t, voltageDacCoeff) == 24 &&
                  offsetof(LC4BSM0V0_EEPROM_Const_t, currentLimits) == 32 &&
                  offsetof(LC4BSM0V0_EEPROM_Const_t, voltageLimits) == 40 &&
                  offsetof(LC4BSM0V0_EEPROM_Const_t, currentStep) == 48 &&
                  offsetof(LC4BSM0V0_EEPROM_Const_t, voltageStep) == 52 &&
                  offsetof(LC4BSM0V0_EEPROM_Const_t, currentMonitorResistance) == 56,
              "constants record offsets");

Q_DECLARE_METATYPE(LC4BSM0_Data_t)
Q_DECLARE_METATYPE(LC4BSM0_SWEEP_PARAMS_t)
Q_DECLARE_METATYPE(LC4BSM0V0_EEPROM_Const_t)

// SIS bias source module: voltage or current bias, short switch, regulation
// mode, calibration constants and a sweep the module runs by itself. While a
// sweep runs the module sends unasked frames with sweepFrameCommand, which no
// property takes: their readers listen on the link.
class SisBiasSourceDriverM0 : public CommonDriver
{
    Q_OBJECT
public:
    static constexpr quint8 sweepFrameCommand = 51;
    // A sweep frame of this length is a point; the end frame carries 4 bytes.
    static constexpr quint8 sweepPointLength = sizeof(LC4BSM0_Data_t);

    explicit SisBiasSourceDriverM0(QObject* parent = nullptr);
    ~SisBiasSourceDriverM0() override;

    DriverPropertyReadOnly<LC4BSM0_Data_t>* data() const { return m_data; }
    DriverProperty<float>* current() const { return m_current; }
    DriverProperty<float>* voltage() const { return m_voltage; }
    DriverProperty<bool>* shortEnable() const { return m_shortEnable; }
    DriverProperty<char>* mode() const { return m_mode; }
    DriverProperty<LC4BSM0V0_EEPROM_Const_t>* eepromConst() const { return m_eepromConst; }
    DriverProperty<pair_t<float>>* currentAdcCoeff() const { return m_currentAdcCoeff; }
    DriverProperty<pair_t<float>>* currentDacCoeff() const { return m_currentDacCoeff; }
    DriverProperty<pair_t<float>>* currentLimits() const { return m_currentLimits; }
    DriverProperty<float>* currentStep() const { return m_currentStep; }
    DriverProperty<pair_t<float>>* voltageAdcCoeff() const { return m_voltageAdcCoeff; }
    DriverProperty<pair_t<float>>* voltageDacCoeff() const { return m_voltageDacCoeff; }
    DriverProperty<pair_t<float>>* voltageLimits() const { return m_voltageLimits; }
    DriverProperty<float>* voltageStep() const { return m_voltageStep; }
    DriverProperty<float>* currentMonitorResistance() const { return m_currentMonitorResistance; }
    DriverProperty<bool>* pidEnable() const { return m_pidEnable; }
    DriverProperty<LC4BSM0_SWEEP_PARAMS_t>* sweepParams() const { return m_sweepParams; }
    DriverCommand* sweepStart() const { return m_sweepStart; }
    DriverCommand* sweepStop() const { return m_sweepStop; }

signals:
    void dataUpdated(LC4BSM0_Data_t data);
    void eepromConstUpdated(LC4BSM0V0_EEPROM_Const_t eepromConst);

public slots:
    void updateData(const LC4BSM0_Data_t& data);
    void updateEEPROM(const LC4BSM0V0_EEPROM_Const_t& eepromConst);

private:
    DriverPropertyReadOnly<LC4BSM0_Data_t>* m_data;
    DriverProperty<float>* m_current;
    DriverProperty<float>* m_voltage;
    DriverProperty<bool>* m_shortEnable;
    DriverProperty<char>* m_mode;
    DriverProperty<LC4BSM0V0_EEPROM_Const_t>* m_eepromConst;
    DriverProperty<pair_t<float>>* m_currentAdcCoeff;
    DriverProperty<pair_t<float>>* m_currentDacCoeff;
    DriverProperty<pair_t<float>>* m_currentLimits;
    DriverProperty<float>* m_currentStep;
    DriverProperty<pair_t<float>>* m_voltageAdcCoeff;
    DriverProperty<pair_t<float>>* m_voltageDacCoeff;
    DriverProperty<pair_t<float>>* m_voltageLimits;
    DriverProperty<float>* m_voltageStep;
    DriverProperty<float>* m_currentMonitorResistance;
    DriverProperty<bool>* m_pidEnable;
    DriverProperty<LC4BSM0_SWEEP_PARAMS_t>* m_sweepParams;
    DriverCommand* m_sweepStart;
    DriverCommand* m_sweepStop;
};

#endif // SISBIASSOURCEDRIVERM0_H
