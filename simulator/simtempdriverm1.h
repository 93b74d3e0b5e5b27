#ifndef SIMTEMPDRIVERM1_H
#define SIMTEMPDRIVERM1_H

#include "simcalibratedmodule.h"

#include "tempdriverm1.h"

// Four-channel temperature driver module, modification 1. Each channel has a
// sensor current source and a voltage input with their own calibration lines,
// a diode sensor at its own temperature and its own table. Relay n connects the
// sensor of channel n - 1; the switcher routes all channels to the sensors
// (mode 2), to the calibration connector with its reference load (mode 0), or
// to nothing (mode 1). The EEPROM holds the constants, the default parameters
// (applied at power-up and reboot) and the four tables.
class SimTempDriverM1 : public SimCalibratedModule
{
    Q_OBJECT
public:
    static constexpr int channels = TempDriverM1::channels;
    static constexpr quint8 allChannels = TempDriverM1::allChannels;
    static constexpr int coeffBytes = int(sizeof(TDM1_EepromCoeff));
    static constexpr int defaultParamBytes = 5;
    static constexpr int tableBytes = tempTableItems * int(sizeof(LC4TDM0V1_Temp_Table_Item_t));
    static constexpr int defaultsOffset = channels * coeffBytes;
    static constexpr int tablesOffset = defaultsOffset + channels * defaultParamBytes;
    static constexpr int eepromSize = tablesOffset + channels * tableBytes;

    enum Switcher : qint8
    {
        SwitcherCalibration = 0,
        SwitcherOff = 1,
        SwitcherSensors = 2
    };

    SimConverter currentDac(int ch) const
    {
        static const char* const tags[channels] = {"tdm1/0/idac", "tdm1/1/idac", "tdm1/2/idac",
                                                   "tdm1/3/idac"};
        return {tags[ch], 30e-6 / 65535.0, 0.0, m_gainError, m_zeroError};
    }
    SimConverter voltageAdc(int ch) const
    {
        static const char* const tags[channels] = {"tdm1/0/vadc", "tdm1/1/vadc", "tdm1/2/vadc",
                                                   "tdm1/3/vadc"};
        return {tags[ch], 4e-5, 0.0, m_gainError, m_zeroError};
    }

    explicit SimTempDriverM1(quint8 address, QObject* parent = nullptr);

    QByteArray defaultEeprom() const;
    TDM1_EepromCoeff coeff(int ch) const;
    DefaultParam defaultParam(int ch) const;
    LC4TDM0V1_Temp_Table_Item_t tableItem(int ch, int index) const;

    // True values, for tests and demos.
    double sensorCurrent(int ch) const;
    double inputVoltage(int ch) const;
    quint8 relays() const { return m_relays; }
    qint8 switcher() const { return m_switcher; }

protected:
    void stateChanged(State previous) override;

private:
    // Commands of this kind first bring the module to its power-up state,
    // which comes from an EEPROM that may be loaded after construction.
    void command(quint8 code, Handler handler);
    void powerUp();
    double readVoltage(int ch);
    double readTemperature(int ch);
    // [ch] answers one float, [0xFF] all four.
    std::optional<QByteArray> perChannel(const QByteArray& payload,
                                         const std::function<double(SimTempDriverM1*, int)>& read);

    bool m_poweredUp = false;
    double m_setCurrent[channels] = {};
    quint8 m_relays = 0;
    qint8 m_switcher = SwitcherSensors;
    double m_temperature[channels] = {4.2, 4.2, 4.2, 4.2};
    double m_calibrationLoad = 80e3;
    // Largest converter errors, relative and in codes; crate keys of the same names.
    double m_gainError = 0.01;
    double m_zeroError = 20.0;
};

#endif // SIMTEMPDRIVERM1_H
