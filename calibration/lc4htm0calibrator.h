#ifndef LC4HTM0CALIBRATOR_H
#define LC4HTM0CALIBRATOR_H

#include "heaterdriverm0.h"
#include "recordcalibrator.h"

// Calibrates a heater's current DAC and reading.
class LC4HTM0Calibrator : public RecordCalibrator<HeaterDriverM0, LC4HT0V0_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4HTM0Calibrator(QObject* parent = nullptr);

public slots:
    bool performDriver() override;
    bool setDacValue(double value) override;
    double readAdcValue(bool* ok) override;
    bool finish() override;

protected:
    pair_t<float> identityDacPair() override;
    pair_t<float> moduleDacPair(lineRegressionCoeff line) override;
};

#endif // LC4HTM0CALIBRATOR_H
