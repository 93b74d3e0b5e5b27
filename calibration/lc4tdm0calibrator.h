#ifndef LC4TDM0CALIBRATOR_H
#define LC4TDM0CALIBRATOR_H

#include "recordcalibrator.h"
#include "tempdriverm0.h"

// Calibrates a temperature driver M0: the sensor current DAC, and one of its four
// inputs by mode. The sweep always drives the sensor current; in the three
// voltage modes the meter measures a voltage that results from it.
class LC4TDM0Calibrator : public RecordCalibrator<TempDriverM0, LC4TDM0V1_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4TDM0Calibrator(QObject* parent = nullptr);

public slots:
    bool performDriver() override;
    double defaultValue() override;
    bool setDacValue(double value) override;
    double readAdcValue(bool* ok) override;
    bool finish() override;
};

#endif // LC4TDM0CALIBRATOR_H
