#ifndef SIMSISBIASSOURCEM0_H
#define SIMSISBIASSOURCEM0_H

#include "simcalibratedmodule.h"
#include "sisbiassourcedriverm0.h"

#include <QElapsedTimer>
#include <QTimer>

// SIS bias source module with a superconductor-insulator-superconductor junction
// on its output. The source drives the junction through its current-monitor
// resistor, in voltage mode (sets U, reads I) or current mode (sets I, reads U),
// and runs voltage or current sweeps by itself.
class SimSisBiasSourceM0 : public SimCalibratedModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = int(sizeof(LC4BSM0V0_EEPROM_Const_t));
    static constexpr quint8 sweepFrame = SisBiasSourceDriverM0::sweepFrameCommand;
    static constexpr quint32 maxSweepPoints = 100000;

    explicit SimSisBiasSourceM0(quint8 address, QObject* parent = nullptr);

    // The junction's current at a voltage across it.
    double junctionCurrent(double voltage) const;
    bool sweepRunning() const { return m_sweepTimer.isActive(); }

protected:
    void stateChanged(State previous) override;

private:
    enum Mode : char
    {
        CurrentMode = 0,
        VoltageMode = 1
    };

    struct Operating
    {
        double current = 0;         // through the monitor resistor
        double sourceVoltage = 0;   // at the source, before the monitor resistor
        double junctionVoltage = 0; // across the junction
    };

    LC4BSM0V0_EEPROM_Const_t constants() const;
    void registerCommands();
    void resetToPowerUp();
    double junctionVoltage(double current) const;
    Operating atCode(char mode, double code) const;
    Operating solve() const;
    // Noise-free readings the regulation loop works with.
    double currentReading(double current, const LC4BSM0V0_EEPROM_Const_t& c) const;
    double reportedVoltage(const Operating& op, const LC4BSM0V0_EEPROM_Const_t& c) const;
    LC4BSM0_Data_t readings();
    float clampToLimits(float value, pair_t<float> limits) const;
    void startSweep();
    void sweepTick();
    void applySweepPoint();
    void endSweep();

    // Junction and source; crate-file keys of the same names.
    double m_gapVoltage = 2.8e-3;      // V
    double m_gapWidth = 0.05e-3;       // V, sharpness of the rise at the gap
    double m_normalResistance = 20;    // ohm, above the gap
    double m_subgapResistance = 400;   // ohm, leakage below the gap
    double m_monitorResistance = 10;   // ohm, the true current-monitor resistor
    double m_complianceCurrent = 1e-3; // A, the most the source delivers
    double m_loadResistance = 0;       // ohm; above 0 a plain resistor replaces the junction
    double m_gainError = 0.01;         // largest relative converter gain error
    double m_zeroError = 20;           // largest converter zero error, codes

    // Offset-binary 16-bit converters: code 32768 is zero.
    SimConverter converter(const char* tag, double fullScale) const
    {
        return {tag, fullScale / 32768.0, 32768.0, m_gainError, m_zeroError};
    }
    SimConverter voltageDac() const { return converter("bsm/udac", 40.96e-3); }
    SimConverter currentDac() const { return converter("bsm/idac", 0.512e-3); }
    SimConverter voltageAdc() const { return converter("bsm/uadc", 40.96e-3); }
    SimConverter currentAdc() const { return converter("bsm/iadc", 0.512e-3); }
    // An ADC reading without noise or rounding, as the regulation loop averages it.
    double steadyReading(const SimConverter& adc, pair_t<float> line, double input) const;

    float m_setVoltage = 0;
    float m_setCurrent = 0;
    bool m_short = true;
    char m_mode = VoltageMode;
    bool m_pid = true;

    LC4BSM0_SWEEP_PARAMS_t m_sweep{};
    QTimer m_sweepTimer;
    // Points are due on a fixed schedule from the start, so late ticks catch up
    // instead of stretching the sweep.
    QElapsedTimer m_sweepClock;
    qint64 m_sweepPeriodNs = 0;
    quint32 m_sweepPoints = 0; // in the running sweep
    quint32 m_sweepIndex = 0;  // the point being settled
    double m_sweepStart = 0;
    double m_sweepStep = 0;
    double m_sweepStop = 0;
};

#endif // SIMSISBIASSOURCEM0_H
