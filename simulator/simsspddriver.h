#ifndef SIMSSPDDRIVER_H
#define SIMSSPDDRIVER_H

#include "simcalibratedmodule.h"
#include "sspddriverm0.h"

#include <QElapsedTimer>
#include <QTimer>

#include <random>

// What both SSPD driver modifications share: a current-biased superconducting
// nanowire detector, its pulse amplifier, the comparator and the pulse counter,
// and the command set around them. The modifications differ in their data and
// constants records and in the meaning of status bit 3.
class SimSspdDriver : public SimCalibratedModule
{
    Q_OBJECT
public:
    // The calibration constants in one place, whatever the record's layout.
    struct Calibration
    {
        pair_t<float> currentAdc;
        pair_t<float> voltageAdc;
        pair_t<float> currentDac;
        pair_t<float> cmpReferenceDac;
        pair_t<float> monitorAdc; // M1 only
        float pulseWidth = 0;     // M1 only: comparator output pulse, seconds
    };

    // Readings as the module reports them, through its ADC lines.
    struct Readings
    {
        float current;
        float monitor;
        float voltage;
        float counts;
        quint8 status;
    };

    bool latched() const { return m_latched; }

protected:
    enum class Bit3
    {
        RfKey,  // M0: connects the detector's pulses to the amplifier
        HfMode, // M1: wide amplifier bandwidth
    };

    SimSspdDriver(const QString& model, Bit3 bit3, quint8 address, QObject* parent);

    virtual Calibration calibration() const = 0;
    virtual void storeCalibration(const Calibration& calibration) = 0;
    // The record of an ideal module.
    Calibration nominalCalibration() const;

    Readings readings();
    // Runs a change of the module's state: counts so far are booked at the old rate.
    template <typename Change> void change(Change&& change)
    {
        bookCounts();
        change();
        settle();
    }
    void setPairCommands(quint8 getter, quint8 setter, pair_t<float> Calibration::*field);
    void setBitCommand(quint8 setter, int bit);

    void stateChanged(State previous) override;

    template <typename T> static QByteArray encoded(const T& value)
    {
        return DriverValueCodec<T>::encode(value);
    }

private:
    // The true analog state for the present settings.
    struct Operating
    {
        double sourceCurrent = 0;   // what the bias source drives
        double detectorCurrent = 0; // what flows through the detector
        double voltage = 0;         // across the output terminals
    };

    void registerCommands();
    void registerParameters();
    void resetToPowerUp();
    Operating solve() const;
    void settle();
    double countRate(const Operating& op) const;
    void bookCounts();
    void endCounterPeriod();
    void restartCounter();
    void endAutoReset();
    bool setParams(const LC4SDM0V1_Param_t& params);

    Bit3 m_bit3;

    // Detector and readout model; crate-file keys of the same names.
    double m_criticalCurrent = 20e-6;    // A
    double m_retrappingCurrent = 3e-6;   // A, latched state heals below this
    double m_normalResistance = 2000;    // ohm, latched hot spot
    double m_seriesResistance = 10;      // ohm, cryostat wiring
    double m_complianceVoltage = 2.0;    // V, bias source
    double m_photonRate = 1e5;           // 1/s, counts at full efficiency
    double m_efficiencyMidpoint = 0.7;   // I/Ic at half efficiency
    double m_efficiencyWidth = 0.05;     // in I/Ic
    double m_darkCounts = 1000;          // 1/s at Ic
    double m_darkCountSlope = 0.03;      // e-fold in I/Ic
    double m_pulseAmplitude = 0.5;       // V at the comparator, at Ic
    double m_pulseAmplitudeSpread = 0.1; // relative rms
    double m_amplifierNoise = 0.02;      // V rms
    double m_noiseCrossingRate = 1e7;    // 1/s, threshold crossings of noise at 0 V
    double m_deadTime = 1e-7;            // s, amplifier pulse length
    double m_hfBandwidthRatio = 4;       // M1: HF mode widens the band this much
    double m_loadResistance = 0;         // ohm; above 0 a plain resistor replaces the detector
    double m_gainError = 0.01;           // largest relative converter gain error
    double m_zeroError = 10;             // largest converter zero error, codes

    // Offset-binary 16-bit converters: code 32768 is zero.
    SimConverter converter(const char* tag, double fullScale) const
    {
        return {tag, fullScale / 32768.0, 32768.0, m_gainError, m_zeroError};
    }
    SimConverter currentDac() const { return converter("sdm/idac", 100e-6); }
    SimConverter cmpReferenceDac() const { return converter("sdm/cmpdac", 4.096); }
    SimConverter currentAdc() const { return converter("sdm/iadc", 128e-6); }
    SimConverter voltageAdc() const { return converter("sdm/vadc", 1.024); }
    SimConverter monitorAdc() const { return converter("sdm/imonadc", 128e-6); }

    // Settings.
    float m_setCurrent = 0;
    quint8 m_status = 0;
    LC4SDM0V1_Param_t m_params{};
    bool m_pid = true;

    // State.
    bool m_latched = false;
    bool m_resetting = false;
    Operating m_op;
    double m_rate = 0;         // counted pulses per second now
    double m_periodCounts = 0; // expected counts booked in this period
    float m_lastCounts = 0;
    QElapsedTimer m_sinceBooked;
    QElapsedTimer m_sincePeriod;
    QTimer m_counterTimer;
    QTimer m_resetTimer;
    std::mt19937 m_counterNoise;
};

#endif // SIMSSPDDRIVER_H
