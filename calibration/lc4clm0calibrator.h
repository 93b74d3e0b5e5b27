#ifndef LC4CLM0CALIBRATOR_H
#define LC4CLM0CALIBRATOR_H

#include "dividedcalibrator.h"
#include "siscontrollinedriverm0.h"

// Calibrates an SIS control line's current DAC and reading.
class LC4CLM0Calibrator : public DividedCalibrator<SisControlLineDriverM0, LC4CLM0V0_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4CLM0Calibrator(QObject* parent = nullptr);

public slots:
    bool performDriver() override;
    bool finish() override;
};

#endif // LC4CLM0CALIBRATOR_H
