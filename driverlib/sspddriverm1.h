#ifndef SSPDDRIVERM1_H
#define SSPDDRIVERM1_H

#include "sspddriverm0.h"

// As modification 0, with the high-frequency mode in place of the RF key.
struct LC4SDM1_Status_t : SspdStatusByte
{
    enum Bit
    {
        shortEnableBit = 1,
        amplifierEnableBit = 2,
        highFrequencyModeEnableBit = 3,
        cmpLatchEnableBit = 4,
        counterEnableBit = 5,
        autoResetEnableBit = 6
    };
};
static_assert(sizeof(LC4SDM1_Status_t) == 1, "status record is one byte");

struct LC4SDM1_Data_t
{
    float current;
    float currentMonitor;
    float voltage;
    float counts;
    LC4SDM1_Status_t status;
    quint8 reserved[3];
};
static_assert(sizeof(LC4SDM1_Data_t) == 20, "data record size");
static_assert(offsetof(LC4SDM1_Data_t, currentMonitor) == 4 &&
                  offsetof(LC4SDM1_Data_t, voltage) == 8 &&
                  offsetof(LC4SDM1_Data_t, counts) == 12 && offsetof(LC4SDM1_Data_t, status) == 16,
              "data record offsets");

using LC4SDM1_Param_t = LC4SDM0V1_Param_t;

struct LC4SDM1_EEPROM_Const_t
{
    pair_t<float> currentAdcCoeff;
    pair_t<float> voltageAdcCoeff;
    pair_t<float> currentDacCoeff;
    pair_t<float> currentMonitorAdcCoeff;
    float pulseWidthCoeff;
    pair_t<float> cmpReferenceCoeff;
};
static_assert(sizeof(LC4SDM1_EEPROM_Const_t) == 44, "constants record size");
static_assert(offsetof(LC4SDM1_EEPROM_Const_t, voltageAdcCoeff) == 8 &&
                  offsetof(LC4SDM1_EEPROM_Const_t, currentDacCoeff) == 16 &&
                  offsetof(LC4SDM1_EEPROM_Const_t, currentMonitorAdcCoeff) == 24 &&
                  offsetof(LC4SDM1_EEPROM_Const_t, pulseWidthCoeff) == 32 &&
                  offsetof(LC4SDM1_EEPROM_Const_t, cmpReferenceCoeff) == 36,
              "constants record offsets");

Q_DECLARE_METATYPE(LC4SDM1_Data_t)
Q_DECLARE_METATYPE(LC4SDM1_Status_t)
Q_DECLARE_METATYPE(LC4SDM1_EEPROM_Const_t)

// SSPD driver module, modification 1: adds a current monitor, the
// high-frequency mode and two more calibration constants.
class SspdDriverM1 : public CommonDriver
{
    Q_OBJECT
public:
    explicit SspdDriverM1(QObject* parent = nullptr);
    ~SspdDriverM1() override;

    DriverPropertyReadOnly<LC4SDM1_Data_t>* data() const { return m_data; }
    DriverProperty<float>* current() const { return m_current; }
    DriverPropertyReadOnly<float>* currentMonitor() const { return m_currentMonitor; }
    DriverPropertyReadOnly<float>* voltage() const { return m_voltage; }
    DriverPropertyReadOnly<float>* counts() const { return m_counts; }
    DriverProperty<LC4SDM1_Status_t>* status() const { return m_status; }
    DriverPropertyWriteOnly<bool>* shortEnable() const { return m_shortEnable; }
    DriverPropertyWriteOnly<bool>* amplifierEnable() const { return m_amplifierEnable; }
    DriverPropertyWriteOnly<bool>* highFrequencyModeEnable() const
    {
        return m_highFrequencyModeEnable;
    }
    DriverPropertyWriteOnly<bool>* cmpLatchEnable() const { return m_cmpLatchEnable; }
    DriverPropertyWriteOnly<bool>* counterEnable() const { return m_counterEnable; }
    DriverPropertyWriteOnly<bool>* autoResetEnable() const { return m_autoResetEnable; }
    DriverProperty<LC4SDM1_Param_t>* params() const { return m_params; }
    DriverProperty<float>* cmpReferenceLevel() const { return m_cmpReferenceLevel; }
    DriverProperty<float>* timeConst() const { return m_timeConst; }
    DriverProperty<float>* autoResetThreshold() const { return m_autoResetThreshold; }
    DriverProperty<float>* autoResetTimeOut() const { return m_autoResetTimeOut; }
    DriverProperty<unsigned int>* autoResetAlarmsCounts() const { return m_autoResetAlarmsCounts; }
    DriverProperty<LC4SDM1_EEPROM_Const_t>* eepromConst() const { return m_eepromConst; }
    DriverProperty<pair_t<float>>* currentAdcCoeff() const { return m_currentAdcCoeff; }
    DriverProperty<pair_t<float>>* currentMonitorAdcCoeff() const
    {
        return m_currentMonitorAdcCoeff;
    }
    DriverProperty<pair_t<float>>* voltageAdcCoeff() const { return m_voltageAdcCoeff; }
    DriverProperty<pair_t<float>>* currentDacCoeff() const { return m_currentDacCoeff; }
    DriverProperty<pair_t<float>>* cmpReferenceCoeff() const { return m_cmpReferenceCoeff; }
    DriverProperty<float>* pulseWidthCoeff() const { return m_pulseWidthCoeff; }
    DriverProperty<bool>* PIDEnableStatus() const { return m_PIDEnableStatus; }

signals:
    void dataUpdated(LC4SDM1_Data_t data);
    void paramsUpdated(LC4SDM1_Param_t params);
    void eepromConstUpdated(LC4SDM1_EEPROM_Const_t eepromConst);

public slots:
    void updateData(const LC4SDM1_Data_t& data);
    void updateStatus(const LC4SDM1_Status_t& status);
    void updateParams(const LC4SDM1_Param_t& params);
    void updateEEPROM(const LC4SDM1_EEPROM_Const_t& eepromConst);

private:
    DriverPropertyReadOnly<LC4SDM1_Data_t>* m_data;
    DriverProperty<float>* m_current;
    DriverPropertyReadOnly<float>* m_currentMonitor;
    DriverPropertyReadOnly<float>* m_voltage;
    DriverPropertyReadOnly<float>* m_counts;
    DriverProperty<LC4SDM1_Status_t>* m_status;
    DriverPropertyWriteOnly<bool>* m_shortEnable;
    DriverPropertyWriteOnly<bool>* m_amplifierEnable;
    DriverPropertyWriteOnly<bool>* m_highFrequencyModeEnable;
    DriverPropertyWriteOnly<bool>* m_cmpLatchEnable;
    DriverPropertyWriteOnly<bool>* m_counterEnable;
    DriverPropertyWriteOnly<bool>* m_autoResetEnable;
    DriverProperty<LC4SDM1_Param_t>* m_params;
    DriverProperty<float>* m_cmpReferenceLevel;
    DriverProperty<float>* m_timeConst;
    DriverProperty<float>* m_autoResetThreshold;
    DriverProperty<float>* m_autoResetTimeOut;
    DriverProperty<unsigned int>* m_autoResetAlarmsCounts;
    DriverProperty<LC4SDM1_EEPROM_Const_t>* m_eepromConst;
    DriverProperty<pair_t<float>>* m_currentAdcCoeff;
    DriverProperty<pair_t<float>>* m_currentMonitorAdcCoeff;
    DriverProperty<pair_t<float>>* m_voltageAdcCoeff;
    DriverProperty<pair_t<float>>* m_currentDacCoeff;
    DriverProperty<pair_t<float>>* m_cmpReferenceCoeff;
    DriverProperty<float>* m_pulseWidthCoeff;
    DriverProperty<bool>* m_PIDEnableStatus;
};

#endif // SSPDDRIVERM1_H
