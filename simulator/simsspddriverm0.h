#ifndef SIMSSPDDRIVERM0_H
#define SIMSSPDDRIVERM0_H

#include "simsspddriver.h"

// SSPD driver module, modification 0: status bit 3 is the RF key.
class SimSspdDriverM0 : public SimSspdDriver
{
    Q_OBJECT
public:
    static constexpr int eepromSize = int(sizeof(LC4SDM0V1_EEPROM_Const_t));

    explicit SimSspdDriverM0(quint8 address, QObject* parent = nullptr);

protected:
    Calibration calibration() const override;
    void storeCalibration(const Calibration& calibration) override;

private:
    static QByteArray record(const Calibration& calibration);
};

#endif // SIMSSPDDRIVERM0_H
