#ifndef TEMPDRIVERM0_H
#define TEMPDRIVERM0_H

#include "commondriver.h"

#include <QMetaType>

#include <cstddef>

struct LC4TDM0V1_Data_t
{
    float temperature;
    float pressure;
    float tempSensorCurrent;
    float tempSensorVoltage;
    float pressSensorVoltageP;
    float pressSensorVoltageN;
    // A byte rather than bool: any value other than 0 means on.
    quint8 commutator;
    quint8 reserved[3];
};
static_assert(sizeof(LC4TDM0V1_Data_t) == 28, "data record size");
static_assert(offsetof(LC4TDM0V1_Data_t, temperature) == 0 &&
                  offsetof(LC4TDM0V1_Data_t, pressure) == 4 &&
                  offsetof(LC4TDM0V1_Data_t, tempSensorCurrent) == 8 &&
                  offsetof(LC4TDM0V1_Data_t, tempSensorVoltage) == 12 &&
                  offsetof(LC4TDM0V1_Data_t, pressSensorVoltageP) == 16 &&
                  offsetof(LC4TDM0V1_Data_t, pressSensorVoltageN) == 20 &&
                  offsetof(LC4TDM0V1_Data_t, commutator) == 24 &&
                  offsetof(LC4TDM0V1_Data_t, reserved) == 25,
              "data record offsets");

struct LC4TDM0V1_EEPROM_Const_t
{
    pair_t<float> tempSensorCurrentAdcCoeff;
    pair_t<float> tempSensorCurrentDacCoeff;
    pair_t<float> tempSensorVoltageCoeff;
    pair_t<float> pressSensorVoltagePCoeff;
    pair_t<float> pressSensorVoltageNCoeff;
    pair_t<float> pressSensorCoeff;
};
static_assert(sizeof(LC4TDM0V1_EEPROM_Const_t) == 48, "constants record size");
static_assert(offsetof(LC4TDM0V1_EEPROM_Const_t, tempSensorCurrentAdcCoeff) == 0 &&
                  offsetof(LC4TDM0V1_EEPROM_Const_t, tempSensorCurrentDacCoeff) == 8 &&
                  offsetof(LC4TDM0V1_EEPROM_Const_t, tempSensorVoltageCoeff) == 16 &&
                  offsetof(LC4TDM0V1_EEPROM_Const_t, pressSensorVoltagePCoeff) == 24 &&
                  offsetof(LC4TDM0V1_EEPROM_Const_t, pressSensorVoltageNCoeff) == 32 &&
                  offsetof(LC4TDM0V1_EEPROM_Const_t, pressSensorCoeff) == 40,
              "constants record offsets");

// One point of a voltage-to-temperature table.
struct LC4TDM0V1_Temp_Table_Item_t
{
    float voltage;
    float temperature;
};
static_assert(sizeof(LC4TDM0V1_Temp_Table_Item_t) == 8, "table item size");
static_assert(offsetof(LC4TDM0V1_Temp_Table_Item_t, voltage) == 0 &&
                  offsetof(LC4TDM0V1_Temp_Table_Item_t, temperature) == 4,
              "table item offsets");

Q_DECLARE_METATYPE(LC4TDM0V1_Data_t)
Q_DECLARE_METATYPE(LC4TDM0V1_EEPROM_Const_t)

// A temperature table has this many items and travels in chunks of at most
// tempTableChunkItems, each chunk addressed by start index and count bytes.
constexpr int tempTableItems = 100;
constexpr int tempTableChunkItems = 10;

// Copies `count` items out of a chunk answer; false, with nothing copied, when
// the answer holds fewer than `count` items.
bool readTempTableChunk(QByteArray const& answer, LC4TDM0V1_Temp_Table_Item_t* items, int count);
// The wire bytes of `count` items.
QByteArray tempTableChunkBytes(const LC4TDM0V1_Temp_Table_Item_t* items, int count);

// Temperature driver module, modification 0: one sensor channel with a
// voltage-to-temperature table, and a pressure sensor.
class TempDriverM0 : public CommonDriver
{
    Q_OBJECT
public:
    explicit TempDriverM0(QObject* parent = nullptr);
    ~TempDriverM0() override;

    DriverPropertyReadOnly<LC4TDM0V1_Data_t>* data() const { return m_data; }
    DriverPropertyReadOnly<float>* temperature() const { return m_temperature; }
    DriverPropertyReadOnly<float>* pressure() const { return m_pressure; }
    DriverProperty<float>* tempSensorCurrent() const { return m_tempSensorCurrent; }
    DriverPropertyReadOnly<float>* tempSensorVoltage() const { return m_tempSensorVoltage; }
    DriverPropertyReadOnly<float>* pressSensorVoltageP() const { return m_pressSensorVoltageP; }
    DriverPropertyReadOnly<float>* pressSensorVoltageN() const { return m_pressSensorVoltageN; }
    DriverProperty<bool>* commutator() const { return m_commutator; }
    DriverProperty<LC4TDM0V1_EEPROM_Const_t>* eepromConst() const { return m_eepromConst; }
    DriverProperty<pair_t<float>>* tempSensorCurrentAdcCoeff() const
    {
        return m_tempSensorCurrentAdcCoeff;
    }
    DriverProperty<pair_t<float>>* tempSensorCurrentDacCoeff() const
    {
        return m_tempSensorCurrentDacCoeff;
    }
    DriverProperty<pair_t<float>>* tempSensorVoltageCoeff() const
    {
        return m_tempSensorVoltageCoeff;
    }
    DriverProperty<pair_t<float>>* pressSensorVoltagePCoeff() const
    {
        return m_pressSensorVoltagePCoeff;
    }
    DriverProperty<pair_t<float>>* pressSensorVoltageNCoeff() const
    {
        return m_pressSensorVoltageNCoeff;
    }
    DriverProperty<pair_t<float>>* pressSensorCoeff() const { return m_pressSensorCoeff; }

    // The host copy of the table, tempTableItems items; callers edit it in place
    // and then send it.
    LC4TDM0V1_Temp_Table_Item_t* tempTable() { return m_tempTable; }
    const LC4TDM0V1_Temp_Table_Item_t* tempTable() const { return m_tempTable; }

    // Both stop at the first chunk that fails; chunks moved before stay moved.
    bool sendTempTable();
    bool receiveTempTable();

signals:
    void dataUpdated(LC4TDM0V1_Data_t data);
    void eepromConstUpdated(LC4TDM0V1_EEPROM_Const_t eepromConst);

public slots:
    void updateData(LC4TDM0V1_Data_t data);
    void updateEEPROM(LC4TDM0V1_EEPROM_Const_t eeprom);

private:
    static constexpr int tableAttempts = 5;

    DriverPropertyReadOnly<LC4TDM0V1_Data_t>* m_data;
    DriverPropertyReadOnly<float>* m_temperature;
    DriverPropertyReadOnly<float>* m_pressure;
    DriverProperty<float>* m_tempSensorCurrent;
    DriverPropertyReadOnly<float>* m_tempSensorVoltage;
    DriverPropertyReadOnly<float>* m_pressSensorVoltageP;
    DriverPropertyReadOnly<float>* m_pressSensorVoltageN;
    DriverProperty<bool>* m_commutator;
    DriverProperty<LC4TDM0V1_EEPROM_Const_t>* m_eepromConst;
    DriverProperty<pair_t<float>>* m_tempSensorCurrentAdcCoeff;
    DriverProperty<pair_t<float>>* m_tempSensorCurrentDacCoeff;
    DriverProperty<pair_t<float>>* m_tempSensorVoltageCoeff;
    DriverProperty<pair_t<float>>* m_pressSensorVoltagePCoeff;
    DriverProperty<pair_t<float>>* m_pressSensorVoltageNCoeff;
    DriverProperty<pair_t<float>>* m_pressSensorCoeff;
    DriverProperty_p* m_tempTableTransfer;
    LC4TDM0V1_Temp_Table_Item_t m_tempTable[tempTableItems] = {};
};

#endif // TEMPDRIVERM0_H
