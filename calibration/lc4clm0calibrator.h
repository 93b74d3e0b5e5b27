#ifndef LC4CLM0CALIBRATOR_H
#define LC4CLM0CALIBRATOR_H

#include "recordcalibrator.h"
#include "siscontrollinedriverm0.h"

// Calibrates an SIS control line's current DAC and reading.
class LC4CLM0Calibrator : public RecordCalibrator<SisControlLineDriverM0, LC4CLM0V0_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit LC4CLM0Calibrator(QObject* parent = nullptr);

public slots:
    bool performDriver() override;
    bool setDacValue(double value) override;
    double readAdcValue(bool* ok) override;
    bool finish() override;

protected:
    pair_t<float> identityDacPair() override;
    pair_t<float> moduleDacPair(lineRegressionCoeff line) override;
};

#endif // LC4CLM0CALIBRATOR_H
