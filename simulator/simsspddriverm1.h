#ifndef SIMSSPDDRIVERM1_H
#define SIMSSPDDRIVERM1_H

#include "simsspddriver.h"

// SSPD driver module, modification 1: a current monitor on the detector line,
// the high-frequency amplifier mode on status bit 3 and a comparator pulse width.
class SimSspdDriverM1 : public SimSspdDriver
{
    Q_OBJECT
public:
    static constexpr int eepromSize = 44;

    explicit SimSspdDriverM1(quint8 address, QObject* parent = nullptr);

protected:
    Calibration calibration() const override;
    void storeCalibration(const Calibration& calibration) override;

private:
    static QByteArray record(const Calibration& calibration);
};

#endif // SIMSSPDDRIVERM1_H
