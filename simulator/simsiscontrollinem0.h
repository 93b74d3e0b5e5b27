#ifndef SIMSISCONTROLLINEM0_H
#define SIMSISCONTROLLINEM0_H

#include "simcalibratedmodule.h"

#include "siscontrollinedriverm0.h"

// SIS control line module: a bipolar current source with a read-back, a switch
// that shorts the output, and regulation on its own read-back.
class SimSisControlLineM0 : public SimCalibratedModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = int(sizeof(LC4CLM0V0_EEPROM_Const_t));
    // The output range in use spans the middle quarter of the DAC codes.
    SimConverter dac() const
    {
        return {"clm0/dac", 0.05 / 8192.0, 32768.0, m_gainError, m_zeroError};
    }
    SimConverter adc() const
    {
        return {"clm0/adc", 0.128 / 65536.0, 32768.0, m_gainError, m_zeroError};
    }

    explicit SimSisControlLineM0(quint8 address, QObject* parent = nullptr);

    LC4CLM0V0_EEPROM_Const_t defaultConstants() const;
    LC4CLM0V0_EEPROM_Const_t constants() const;

    // True current into the load, amperes: none while the output is shorted.
    double outputCurrent() const;
    bool isShorted() const { return m_short; }
    bool regulating() const { return m_pid; }

protected:
    void stateChanged(State previous) override;

private:
    double sourceCurrent() const;
    double readCurrent();

    double m_setPoint = 0.0;
    // Powers up parked: output shorted, regulation on.
    bool m_short = true;
    bool m_pid = true;
    double m_outputLimit = 0.06;
    // Largest converter errors, relative and in codes; crate keys of the same names.
    double m_gainError = 0.01;
    double m_zeroError = 20.0;
};

#endif // SIMSISCONTROLLINEM0_H
