#ifndef LC4SDM1CALIBRATOR_H
#define LC4SDM1CALIBRATOR_H

#include "sspdcalibrator.h"
#include "sspddriverm1.h"

// Calibrates an SSPD driver M1 like M0, with the current monitor as a third mode.
class LC4SDM1Calibrator : public SspdCalibrator<SspdDriverM1, LC4SDM1_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4SDM1Calibrator(QObject* parent = nullptr);

public slots:
    double readAdcValue(bool* ok) override;
};

#endif // LC4SDM1CALIBRATOR_H
