#ifndef SISCONTROLLINEDRIVERM0_H
#define SISCONTROLLINEDRIVERM0_H

#include "commondriver.h"

#include <QMetaType>

#include <cstddef>

struct LC4CLM0V0_Data_t
{
    float current;
    // A byte rather than bool: any value other than 0 means on.
    quint8 shortEnable;
    quint8 reserved[3];
};
static_assert(sizeof(LC4CLM0V0_Data_t) == 8, "data record size");
static_assert(offsetof(LC4CLM0V0_Data_t, current) == 0 &&
                  offsetof(LC4CLM0V0_Data_t, shortEnable) == 4 &&
                  offsetof(LC4CLM0V0_Data_t, reserved) == 5,
              "data record offsets");

struct LC4CLM0V0_EEPROM_Const_t
{
    pair_t<float> currentAdcCoeff;
    pair_t<float> currentDacCoeff;
    pair_t<float> currentLimits;
    float currentStep;
};
static_assert(sizeof(LC4CLM0V0_EEPROM_Const_t) == 28, "constants record size");
static_assert(offsetof(LC4CLM0V0_EEPROM_Const_t, currentAdcCoeff) == 0 &&
                  offsetof(LC4CLM0V0_EEPROM_Const_t, currentDacCoeff) == 8 &&
                  offsetof(LC4CLM0V0_EEPROM_Const_t, currentLimits) == 16 &&
                  offsetof(LC4CLM0V0_EEPROM_Const_t, currentStep) == 24,
              "constants record offsets");

Q_DECLARE_METATYPE(LC4CLM0V0_Data_t)
Q_DECLARE_METATYPE(LC4CLM0V0_EEPROM_Const_t)

// SIS control line module: a current source with a short switch, PID
// regulation and its calibration constants.
class SisControlLineDriverM0 : public CommonDriver
{
    Q_OBJECT
public:
    explicit SisControlLineDriverM0(QObject* parent = nullptr);
    ~SisControlLineDriverM0() override;

    DriverPropertyReadOnly<LC4CLM0V0_Data_t>* data() const { return m_data; }
    DriverProperty<float>* current() const { return m_current; }
    DriverProperty<bool>* shortEnable() const { return m_shortEnable; }
    DriverProperty<LC4CLM0V0_EEPROM_Const_t>* eepromConst() const { return m_eepromConst; }
    DriverProperty<pair_t<float>>* currentAdcCoeff() const { return m_currentAdcCoeff; }
    DriverProperty<pair_t<float>>* currentDacCoeff() const { return m_currentDacCoeff; }
    DriverProperty<pair_t<float>>* currentLimits() const { return m_currentLimits; }
    DriverProperty<float>* currentStep() const { return m_currentStep; }
    DriverProperty<bool>* pidEnable() const { return m_pidEnable; }

signals:
    void dataUpdated(LC4CLM0V0_Data_t data);
    void eepromConstUpdated(LC4CLM0V0_EEPROM_Const_t eepromConst);

public slots:
    void updateData(const LC4CLM0V0_Data_t& data);
    void updateEEPROM(const LC4CLM0V0_EEPROM_Const_t& eepromConst);

private:
    DriverPropertyReadOnly<LC4CLM0V0_Data_t>* m_data;
    DriverProperty<float>* m_current;
    DriverProperty<bool>* m_shortEnable;
    DriverProperty<LC4CLM0V0_EEPROM_Const_t>* m_eepromConst;
    DriverProperty<pair_t<float>>* m_currentAdcCoeff;
    DriverProperty<pair_t<float>>* m_currentDacCoeff;
    DriverProperty<pair_t<float>>* m_currentLimits;
    DriverProperty<float>* m_currentStep;
    DriverProperty<bool>* m_pidEnable;
};

#endif // SISCONTROLLINEDRIVERM0_H
