#ifndef SSPDDRIVERM0_H
#define SSPDDRIVERM0_H

#include "commondriver.h"

#include <QMetaType>

#include <cstddef>

// A status byte of the SSPD driver modules; a set bit means "on".
struct SspdStatusByte
{
    quint8 byte;

    bool bit(int index) const { return (byte >> index) & 1; }
    void setBit(int index, bool on)
    {
        byte = on ? quint8(byte | (1u << index)) : quint8(byte & ~(1u << index));
    }
};

struct LC4SDM0_Status_t : SspdStatusByte
{
    enum Bit
    {
        shortEnableBit = 1,
        amplifierEnableBit = 2,
        rfKeyEnableBit = 3,
        cmpLatchEnableBit = 4,
        counterEnableBit = 5,
        autoResetEnableBit = 6
    };
};
static_assert(sizeof(LC4SDM0_Status_t) == 1, "status record is one byte");

struct LC4SDM0V1_Data_t
{
    float current;
    float voltage;
    float counts;
    LC4SDM0_Status_t status;
    quint8 reserved[3];
};
static_assert(sizeof(LC4SDM0V1_Data_t) == 16, "data record size");
static_assert(offsetof(LC4SDM0V1_Data_t, voltage) == 4 && offsetof(LC4SDM0V1_Data_t, counts) == 8 &&
                  offsetof(LC4SDM0V1_Data_t, status) == 12,
              "data record offsets");

struct LC4SDM0V1_Param_t
{
    float cmpReferenceLevel;
    float timeConst;
    float autoResetThreshold;
    float autoResetTimeOut;
    quint32 autoResetAlarmsCounts;
};
static_assert(sizeof(LC4SDM0V1_Param_t) == 20, "parameter record size");
static_assert(offsetof(LC4SDM0V1_Param_t, timeConst) == 4 &&
                  offsetof(LC4SDM0V1_Param_t, autoResetThreshold) == 8 &&
                  offsetof(LC4SDM0V1_Param_t, autoResetTimeOut) == 12 &&
                  offsetof(LC4SDM0V1_Param_t, autoResetAlarmsCounts) == 16,
              "parameter record offsets");

struct LC4SDM0V1_EEPROM_Const_t
{
    pair_t<float> currentAdcCoeff;
    pair_t<float> voltageAdcCoeff;
    pair_t<float> currentDacCoeff;
    pair_t<float> cmpReferenceCoeff;
};
static_assert(sizeof(LC4SDM0V1_EEPROM_Const_t) == 32, "constants record size");
static_assert(offsetof(LC4SDM0V1_EEPROM_Const_t, voltageAdcCoeff) == 8 &&
                  offsetof(LC4SDM0V1_EEPROM_Const_t, currentDacCoeff) == 16 &&
                  offsetof(LC4SDM0V1_EEPROM_Const_t, cmpReferenceCoeff) == 24,
              "constants record offsets");

// A confirmed single-switch set: the cached status with that switch's bit
// replaced by the value sent goes to `update`.
template <typename Status, typename Update>
void patchStatusBitOnSetted(DriverPropertyWriteOnly<bool>* enable, DriverProperty<Status>* status,
                            int bit, Update update)
{
    enable->settedSignal().append([=] {
        Status patched = status->currentValue();
        patched.setBit(bit, enable->lastSettedValue());
        update(patched);
    });
}

Q_DECLARE_METATYPE(LC4SDM0V1_Data_t)
Q_DECLARE_METATYPE(LC4SDM0_Status_t)
Q_DECLARE_METATYPE(LC4SDM0V1_Param_t)
Q_DECLARE_METATYPE(LC4SDM0V1_EEPROM_Const_t)

// SSPD driver module, modification 0: bias current, detector voltage, pulse
// counter, comparator, and three cached records kept in step with the values.
class SspdDriverM0 : public CommonDriver
{
    Q_OBJECT
public:
    explicit SspdDriverM0(QObject* parent = nullptr);
    ~SspdDriverM0() override;

    DriverPropertyReadOnly<LC4SDM0V1_Data_t>* data() const { return m_data; }
    DriverProperty<float>* current() const { return m_current; }
    DriverPropertyReadOnly<float>* voltage() const { return m_voltage; }
    DriverPropertyReadOnly<float>* counts() const { return m_counts; }
    DriverProperty<LC4SDM0_Status_t>* status() const { return m_status; }
    DriverPropertyWriteOnly<bool>* shortEnable() const { return m_shortEnable; }
    DriverPropertyWriteOnly<bool>* amplifierEnable() const { return m_amplifierEnable; }
    DriverPropertyWriteOnly<bool>* rfKeyEnable() const { return m_rfKeyEnable; }
    DriverPropertyWriteOnly<bool>* cmpLatchEnable() const { return m_cmpLatchEnable; }
    DriverPropertyWriteOnly<bool>* counterEnable() const { return m_counterEnable; }
    DriverPropertyWriteOnly<bool>* autoResetEnable() const { return m_autoResetEnable; }
    DriverProperty<LC4SDM0V1_Param_t>* params() const { return m_params; }
    DriverProperty<float>* cmpReferenceLevel() const { return m_cmpReferenceLevel; }
    DriverProperty<float>* timeConst() const { return m_timeConst; }
    DriverProperty<float>* autoResetThreshold() const { return m_autoResetThreshold; }
    DriverProperty<float>* autoResetTimeOut() const { return m_autoResetTimeOut; }
    DriverProperty<unsigned int>* autoResetAlarmsCounts() const { return m_autoResetAlarmsCounts; }
    DriverProperty<LC4SDM0V1_EEPROM_Const_t>* eepromConst() const { return m_eepromConst; }
    DriverProperty<pair_t<float>>* currentAdcCoeff() const { return m_currentAdcCoeff; }
    DriverProperty<pair_t<float>>* voltageAdcCoeff() const { return m_voltageAdcCoeff; }
    DriverProperty<pair_t<float>>* currentDacCoeff() const { return m_currentDacCoeff; }
    DriverProperty<pair_t<float>>* cmpReferenceCoeff() const { return m_cmpReferenceCoeff; }
    DriverProperty<bool>* PIDEnableStatus() const { return m_PIDEnableStatus; }

signals:
    void dataUpdated(LC4SDM0V1_Data_t data);
    void paramsUpdated(LC4SDM0V1_Param_t params);
    void eepromConstUpdated(LC4SDM0V1_EEPROM_Const_t eepromConst);

public slots:
    void updateData(const LC4SDM0V1_Data_t& data);
    void updateStatus(const LC4SDM0_Status_t& status);
    void updateParams(const LC4SDM0V1_Param_t& params);
    void updateEEPROM(const LC4SDM0V1_EEPROM_Const_t& eepromConst);

private:
    DriverPropertyReadOnly<LC4SDM0V1_Data_t>* m_data;
    DriverProperty<float>* m_current;
    DriverPropertyReadOnly<float>* m_voltage;
    DriverPropertyReadOnly<float>* m_counts;
    DriverProperty<LC4SDM0_Status_t>* m_status;
    DriverPropertyWriteOnly<bool>* m_shortEnable;
    DriverPropertyWriteOnly<bool>* m_amplifierEnable;
    DriverPropertyWriteOnly<bool>* m_rfKeyEnable;
    DriverPropertyWriteOnly<bool>* m_cmpLatchEnable;
    DriverPropertyWriteOnly<bool>* m_counterEnable;
    DriverPropertyWriteOnly<bool>* m_autoResetEnable;
    DriverProperty<LC4SDM0V1_Param_t>* m_params;
    DriverProperty<float>* m_cmpReferenceLevel;
    DriverProperty<float>* m_timeConst;
    DriverProperty<float>* m_autoResetThreshold;
    DriverProperty<float>* m_autoResetTimeOut;
    DriverProperty<unsigned int>* m_autoResetAlarmsCounts;
    DriverProperty<LC4SDM0V1_EEPROM_Const_t>* m_eepromConst;
    DriverProperty<pair_t<float>>* m_currentAdcCoeff;
    DriverProperty<pair_t<float>>* m_voltageAdcCoeff;
    DriverProperty<pair_t<float>>* m_currentDacCoeff;
    DriverProperty<pair_t<float>>* m_cmpReferenceCoeff;
    DriverProperty<bool>* m_PIDEnableStatus;
};

#endif // SSPDDRIVERM0_H
