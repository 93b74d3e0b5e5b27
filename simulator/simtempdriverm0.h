#ifndef SIMTEMPDRIVERM0_H
#define SIMTEMPDRIVERM0_H

#include "simcalibratedmodule.h"

#include "tempdriverm0.h"

// Temperature driver module, modification 0: a current source feeding a diode
// sensor, the sensor voltage and the two outputs of a pressure-sensor bridge,
// turned into a temperature through the module's own table and into a
// pressure through its constants. The commutator switches the current source
// and all three voltage inputs over to the calibration connector, whose
// reference load then gives every input the voltage the current makes.
class SimTempDriverM0 : public SimCalibratedModule
{
    Q_OBJECT
public:
    static constexpr int constantsBytes = int(sizeof(LC4TDM0V1_EEPROM_Const_t));
    static constexpr int tableBytes = tempTableItems * int(sizeof(LC4TDM0V1_Temp_Table_Item_t));
    // The table lives in the EEPROM after the constants.
    static constexpr int eepromSize = constantsBytes + tableBytes;
    // Most items one chunk may carry within a frame.
    static constexpr int maxChunkItems = 31;

    SimConverter currentDac() const
    {
        return {"tdm0/idac", 30e-6 / 65535.0, 0.0, m_gainError, m_zeroError};
    }
    SimConverter currentAdc() const { return {"tdm0/iadc", 5e-10, 0.0, m_gainError, m_zeroError}; }
    SimConverter voltageAdc() const { return {"tdm0/vadc", 4e-5, 0.0, m_gainError, m_zeroError}; }
    SimConverter pressPAdc() const
    {
        return {"tdm0/vpadc", 5.0 / 65535.0, 0.0, m_gainError, m_zeroError};
    }
    SimConverter pressNAdc() const
    {
        return {"tdm0/vnadc", 5.0 / 65535.0, 0.0, m_gainError, m_zeroError};
    }
    static constexpr double nominalSensorCurrent = 1e-5;
    // Pressure bridge: common-mode voltage and differential volts per kPa.
    static constexpr double bridgeCommonMode = 1.0;
    static constexpr double bridgeSensitivity = 0.0005;

    explicit SimTempDriverM0(quint8 address, QObject* parent = nullptr);

    LC4TDM0V1_EEPROM_Const_t defaultConstants() const;
    LC4TDM0V1_EEPROM_Const_t constants() const;
    LC4TDM0V1_Temp_Table_Item_t tableItem(int index) const;

    // Diode sensor: falls smoothly and monotonically from about 1.6 V at 1.5 K to
    // 0.5 V at 300 K at the nominal current, with the diode's logarithmic
    // dependence on the current; no current, no voltage.
    static double diodeVoltage(double kelvin, double amperes);
    // 100 points of the diode at the nominal current, 1.5 K to 300 K.
    static QByteArray defaultTable();
    // Linear interpolation over the points ordered by voltage, held at the end
    // temperatures outside them. Points that are no numbers and empty (0, 0)
    // slots are skipped; without points the result is not a number.
    static double interpolate(const LC4TDM0V1_Temp_Table_Item_t* items, int count, double voltage);
    static bool validChunk(int start, int count);

    // True values, for tests and demos.
    double sensorCurrent() const;
    double sensorVoltage() const;
    double pressureVoltage(bool positive) const;
    double trueTemperature() const { return m_temperature; }

protected:
    void stateChanged(State previous) override;

private:
    LC4TDM0V1_Data_t sample();
    double temperatureFor(double voltage) const;

    double m_setCurrent = nominalSensorCurrent;
    bool m_commutator = false;
    double m_temperature = 4.2;
    double m_pressure = 101.325;
    double m_calibrationLoad = 80e3;
    // Largest converter errors, relative and in codes; crate keys of the same names.
    double m_gainError = 0.01;
    double m_zeroError = 20.0;
};

#endif // SIMTEMPDRIVERM0_H
