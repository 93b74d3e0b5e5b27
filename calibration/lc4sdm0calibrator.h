#ifndef LC4SDM0CALIBRATOR_H
#define LC4SDM0CALIBRATOR_H

#include "sspdcalibrator.h"
#include "sspddriverm0.h"

// Calibrates an SSPD driver M0: the bias current DAC against the meter, and the
// module's voltage reading (U mode) or current reading (I mode).
class LC4SDM0Calibrator : public SspdCalibrator<SspdDriverM0, LC4SDM0V1_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4SDM0Calibrator(QObject* parent = nullptr);

public slots:
    double readAdcValue(bool* ok) override;
};

#endif // LC4SDM0CALIBRATOR_H
