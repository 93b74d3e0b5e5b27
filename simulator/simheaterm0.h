#ifndef SIMHEATERM0_H
#define SIMHEATERM0_H

#include "simcalibratedmodule.h"

#include "heaterdriverm0.h"

#include <QElapsedTimer>
#include <QTimer>

// Heater module: a bipolar current source whose output either follows the set
// point (mode 0) or, in pulse mode (any other mode byte), runs a heating pulse
// of the set amplitude: a linear front edge, a hold and a linear rear edge.
// Relay bit 0 connects the heater; with it connected the amplitude is held to
// the maximum current.
class SimHeaterM0 : public SimCalibratedModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = int(sizeof(LC4HT0V0_EEPROM_Const_t));
    // The output range in use spans the middle third of the DAC codes.
    SimConverter dac() const { return {"htm0/dac", 1e-5, 32768.0, m_gainError, m_zeroError}; }
    SimConverter adc() const { return {"htm0/adc", 4e-6, 32768.0, m_gainError, m_zeroError}; }
    // Longest phase a pulse runs, seconds.
    static constexpr double maxPhaseSeconds = 86400.0;

    enum class Phase
    {
        Idle,
        FrontEdge,
        Hold,
        RearEdge
    };

    explicit SimHeaterM0(quint8 address, QObject* parent = nullptr);

    LC4HT0V0_EEPROM_Const_t defaultConstants() const;
    LC4HT0V0_EEPROM_Const_t constants() const;

    // True output current, amperes.
    double outputCurrent() const;
    Phase phase() const { return m_phase; }
    bool heaterConnected() const { return m_relay & 1; }

protected:
    void stateChanged(State previous) override;

private:
    // The set point as the output may take it now, before any pulse shape.
    double amplitude() const;
    double demand() const;
    double readCurrent();
    void enterPhase(Phase phase);
    void stop();

    double m_setPoint = 0.0;
    // Output stage off, after an emergency stop, shut down or power-up.
    bool m_stopped = true;
    quint8 m_relay = 1;
    quint8 m_mode = 1;
    double m_outputLimit = 0.12;
    Phase m_phase = Phase::Idle;
    // Pulse times are taken when the pulse starts, so edits do not bend it.
    double m_phaseSeconds[3] = {};
    QElapsedTimer m_phaseClock;
    QTimer m_phaseTimer;
    // Largest converter errors, relative and in codes; crate keys of the same names.
    double m_gainError = 0.01;
    double m_zeroError = 20.0;
};

#endif // SIMHEATERM0_H
