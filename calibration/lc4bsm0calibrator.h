#ifndef LC4BSM0CALIBRATOR_H
#define LC4BSM0CALIBRATOR_H

#include "recordcalibrator.h"
#include "sisbiassourcedriverm0.h"

// Calibrates an SIS bias source: its voltage (U mode) or current (I mode) DAC
// and reading. The meter measures DC voltage in both modes: in I mode it reads
// the voltage over a 1 ohm precision shunt, so volts and amperes agree.
class LC4BSM0Calibrator : public RecordCalibrator<SisBiasSourceDriverM0, LC4BSM0V0_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4BSM0Calibrator(QObject* parent = nullptr);

public slots:
    bool performDriver() override;
    bool setDacValue(double value) override;
    double readAdcValue(bool* ok) override;
    bool finish() override;
    double readingReference(double agilent) override;

private:
    char m_regulationMode = 1;
    // Volts the module subtracts from its voltage reading at the last U mode reading.
    double m_monitorDrop = 0;
};

#endif // LC4BSM0CALIBRATOR_H
