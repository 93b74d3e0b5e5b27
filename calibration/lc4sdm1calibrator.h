#ifndef LC4SDM1CALIBRATOR_H
#define LC4SDM1CALIBRATOR_H

#include "recordcalibrator.h"
#include "sspddriverm1.h"

// Calibrates an SSPD driver M1 like M0, with the current monitor as a third mode.
class LC4SDM1Calibrator : public RecordCalibrator<SspdDriverM1, LC4SDM1_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4SDM1Calibrator(QObject* parent = nullptr);

public slots:
    bool performDriver() override;
    bool setDacValue(double value) override;
    double readAdcValue(bool* ok) override;
    bool finish() override;
};

#endif // LC4SDM1CALIBRATOR_H
