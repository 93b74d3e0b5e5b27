#ifndef TEMPDRIVERM1_H
#define TEMPDRIVERM1_H

#include "commondriver.h"
#include "tempdriverm0.h"

#include <cstddef>

namespace cmd {
// Calibration runs switch to 0 and back to 2 when they end.
enum enum_LC4TDM1_SwitcherMode : int
{
    LC4TDM1_SwitcherCalibration = 0,
    LC4TDM1_SwitcherNormal = 2
};
} // namespace cmd

// One byte on the wire; the module's byte reads back as a signed value.
template <> struct DriverValueCodec<cmd::enum_LC4TDM1_SwitcherMode>
{
    static constexpr int size = 1;
    static QByteArray encode(cmd::enum_LC4TDM1_SwitcherMode const& value)
    {
        return QByteArray(1, char(quint8(int(value) & 0xFF)));
    }
    static cmd::enum_LC4TDM1_SwitcherMode decode(QByteArray const& bytes, int offset = 0)
    {
        qint8 raw = 0;
        if (offset >= 0 && offset < bytes.size())
            raw = qint8(bytes.at(offset));
        return cmd::enum_LC4TDM1_SwitcherMode(raw);
    }
};

// Host form only: on the wire it is an enable byte followed by the float, with no gap.
struct DefaultParam
{
    bool enable = false;
    float current = 0.0f; // amperes
};

struct TDM1_EepromCoeff
{
    pair_t<float> currentCoeff; // sensor-current DAC line
    pair_t<float> voltageCoeff; // sensor-voltage ADC line
};
static_assert(sizeof(TDM1_EepromCoeff) == 16, "channel constants size");
static_assert(offsetof(TDM1_EepromCoeff, currentCoeff) == 0 &&
                  offsetof(TDM1_EepromCoeff, voltageCoeff) == 8,
              "channel constants offsets");

// Temperature driver module, modification 1: four sensor channels. Most
// requests carry a channel byte, so the answers are decoded here into
// per-channel copies rather than kept in typed properties.
class TempDriverM1 : public CommonDriver
{
    Q_OBJECT
public:
    static constexpr int channels = 4;
    // Where a request allows it, this channel byte means all channels.
    static constexpr quint8 allChannels = 0xFF;

    explicit TempDriverM1(QObject* parent = nullptr);
    ~TempDriverM1() override;

    DriverProperty<cRelaysStatus>* relaysStatus() const { return m_relaysStatus; }
    DriverProperty<cmd::enum_LC4TDM1_SwitcherMode>* switcherMode() const { return m_switcherMode; }

    // Host copies; channels or indices out of range read as zero and are
    // ignored when stored.
    float currentVoltage(quint8 ch) const;
    float currentTemperature(quint8 ch) const;
    DefaultParam defaultParam(quint8 ch) const;
    void setDefaultParam(int ch, DefaultParam const& param);
    TDM1_EepromCoeff eepromCoeff(quint8 ch) const;
    void setEepromCoeff(quint8 ch, TDM1_EepromCoeff const& coeff);
    // tempTableItems items, or null for a channel out of range.
    LC4TDM0V1_Temp_Table_Item_t* tempTable(quint8 ch);
    const LC4TDM0V1_Temp_Table_Item_t* tempTable(quint8 ch) const;
    LC4TDM0V1_Temp_Table_Item_t tempTableItem(quint8 ch, quint8 i) const;
    // Copies tempTableItems items from `items`.
    void setTempTable(quint8 ch, const LC4TDM0V1_Temp_Table_Item_t* items);
    void setTempTableItem(quint8 ch, quint8 i, LC4TDM0V1_Temp_Table_Item_t const& item);

    // Exchanges: true only when the module answered with the expected size;
    // anything else leaves the host copies as they were.
    bool updateVoltage();
    bool updateVoltage(quint8 ch);
    bool updateTemperature();
    bool updateTemperature(quint8 ch);
    // ch 0 to 3, or allChannels.
    bool setCurrent(quint8 ch, float current);
    bool setCurrent(float current);
    bool readDefaultParams();
    bool writeDefaultParams();
    bool readEepromCoeffs();
    bool writeEepromCoeffs();
    // All four tables, chunk by chunk; the first failed chunk ends the transfer
    // and what moved before stays moved.
    bool receiveTempTables();
    bool sendTempTables();

private:
    static constexpr int readingAttempts = 1;
    static constexpr int recordAttempts = 5;
    static constexpr int tableReadAttempts = 10;
    static constexpr int tableWriteAttempts = 5;
    static constexpr int defaultParamBytes = 5;

    // One getter exchange whose answer must have `size` bytes. False also when
    // the driver was deleted meanwhile: callers then return at once.
    bool fetch(DriverProperty_p* property, QByteArray const& request, int attempts, int size,
               QByteArray* answer);
    bool store(DriverProperty_p* property, QByteArray const& payload, int attempts);
    bool readFloats(DriverProperty_p* property, float* copies, quint8 ch);

    DriverProperty<cRelaysStatus>* m_relaysStatus;
    DriverProperty<cmd::enum_LC4TDM1_SwitcherMode>* m_switcherMode;
    DriverProperty_p* m_voltages;
    DriverProperty_p* m_currentSetting;
    DriverProperty_p* m_temperatures;
    DriverProperty_p* m_defaultParams;
    DriverProperty_p* m_eepromCoeffs;
    DriverProperty_p* m_tempTables;

    float m_voltage[channels] = {};
    float m_temperature[channels] = {};
    DefaultParam m_defaultParam[channels];
    TDM1_EepromCoeff m_eepromCoeff[channels] = {};
    LC4TDM0V1_Temp_Table_Item_t m_tempTable[channels][tempTableItems] = {};
};

#endif // TEMPDRIVERM1_H
