#ifndef HEATERDRIVERM0_H
#define HEATERDRIVERM0_H

#include "commondriver.h"

#include <QMetaType>

#include <cstddef>

// The module puts its two bytes first and the float last.
struct LC4HTM0V0_Data_t
{
    char relayStatus;
    char mode;
    quint8 reserved[2];
    float current; // amperes
};
static_assert(sizeof(LC4HTM0V0_Data_t) == 8, "data record size");
static_assert(offsetof(LC4HTM0V0_Data_t, relayStatus) == 0 &&
                  offsetof(LC4HTM0V0_Data_t, mode) == 1 &&
                  offsetof(LC4HTM0V0_Data_t, reserved) == 2 &&
                  offsetof(LC4HTM0V0_Data_t, current) == 4,
              "data record offsets");

// No M after HT in this name, unlike the data record.
struct LC4HT0V0_EEPROM_Const_t
{
    pair_t<float> currentAdcCoeff;
    pair_t<float> currentDacCoeff;
    float maximumCurrent; // amperes
    float frontEdgeTime;  // seconds
    float holdTime;       // seconds
    float rearEdgeTime;   // seconds
};
static_assert(sizeof(LC4HT0V0_EEPROM_Const_t) == 32, "constants record size");
static_assert(offsetof(LC4HT0V0_EEPROM_Const_t, currentAdcCoeff) == 0 &&
                  offsetof(LC4HT0V0_EEPROM_Const_t, currentDacCoeff) == 8 &&
                  offsetof(LC4HT0V0_EEPROM_Const_t, maximumCurrent) == 16 &&
                  offsetof(LC4HT0V0_EEPROM_Const_t, frontEdgeTime) == 20 &&
                  offsetof(LC4HT0V0_EEPROM_Const_t, holdTime) == 24 &&
                  offsetof(LC4HT0V0_EEPROM_Const_t, rearEdgeTime) == 28,
              "constants record offsets");

Q_DECLARE_METATYPE(LC4HTM0V0_Data_t)
Q_DECLARE_METATYPE(LC4HT0V0_EEPROM_Const_t)

// Heater module: heating current, a relay, and a heating pulse shaped by its
// front edge, hold and rear edge times.
class HeaterDriverM0 : public CommonDriver
{
    Q_OBJECT
public:
    explicit HeaterDriverM0(QObject* parent = nullptr);
    ~HeaterDriverM0() override;

    DriverPropertyReadOnly<LC4HTM0V0_Data_t>* data() const { return m_data; }
    DriverProperty<float>* current() const { return m_current; }
    DriverProperty<char>* relayStatus() const { return m_relayStatus; }
    DriverProperty<char>* mode() const { return m_mode; }
    DriverProperty<LC4HT0V0_EEPROM_Const_t>* eepromConst() const { return m_eepromConst; }
    DriverProperty<pair_t<float>>* currentAdcCoeff() const { return m_currentAdcCoeff; }
    DriverProperty<pair_t<float>>* currentDacCoeff() const { return m_currentDacCoeff; }
    DriverProperty<float>* maximumCurrent() const { return m_maximumCurrent; }
    DriverProperty<float>* frontEdgeTime() const { return m_frontEdgeTime; }
    DriverProperty<float>* holdTime() const { return m_holdTime; }
    DriverProperty<float>* rearEdgeTime() const { return m_rearEdgeTime; }
    DriverCommand* startHeating() const { return m_startHeating; }
    DriverCommand* emergencyStop() const { return m_emergencyStop; }

signals:
    void dataUpdated(LC4HTM0V0_Data_t data);
    void eepromConstUpdated(LC4HT0V0_EEPROM_Const_t eepromConst);

public slots:
    void updateData(const LC4HTM0V0_Data_t& data);
    void updateEEPROM(const LC4HT0V0_EEPROM_Const_t& eepromConst);

private:
    DriverPropertyReadOnly<LC4HTM0V0_Data_t>* m_data;
    DriverProperty<float>* m_current;
    DriverProperty<char>* m_relayStatus;
    DriverProperty<char>* m_mode;
    DriverProperty<LC4HT0V0_EEPROM_Const_t>* m_eepromConst;
    DriverProperty<pair_t<float>>* m_currentAdcCoeff;
    DriverProperty<pair_t<float>>* m_currentDacCoeff;
    DriverProperty<float>* m_maximumCurrent;
    DriverProperty<float>* m_frontEdgeTime;
    DriverProperty<float>* m_holdTime;
    DriverProperty<float>* m_rearEdgeTime;
    DriverCommand* m_startHeating;
    DriverCommand* m_emergencyStop;
};

#endif // HEATERDRIVERM0_H
