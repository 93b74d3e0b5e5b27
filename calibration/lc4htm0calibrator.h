#ifndef LC4HTM0CALIBRATOR_H
#define LC4HTM0CALIBRATOR_H

#include "dividedcalibrator.h"
#include "heaterdriverm0.h"

// Calibrates a heater's current DAC and reading.
class LC4HTM0Calibrator : public DividedCalibrator<HeaterDriverM0, LC4HT0V0_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4HTM0Calibrator(QObject* parent = nullptr);

public slots:
    bool performDriver() override;
    bool finish() override;
};

#endif // LC4HTM0CALIBRATOR_H
