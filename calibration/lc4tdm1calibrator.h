#ifndef LC4TDM1CALIBRATOR_H
#define LC4TDM1CALIBRATOR_H

#include "commoncalibrator.h"
#include "tempdriverm1.h"

#include <QPointer>

// Calibrates one channel of a temperature driver M1 through the main dialog's
// driver: its current DAC (I mode) or its voltage reading (U mode). The module
// keeps the coefficients of all four channels together; the other channels are
// sent back as they were read.
class LC4TDM1Calibrator : public CommonCalibrator
{
    Q_OBJECT
public:
    explicit LC4TDM1Calibrator(QObject* parent = nullptr);

    int channel() const { return m_channel; }
    void setChannel(int channel) { m_channel = qBound(0, channel, TempDriverM1::channels - 1); }

public slots:
    void setDriver(CommonDriver* driver) override;
    QStringList modeList() override;
    QString driverType() override;
    void performAgilent() override;
    bool performDriver() override;
    void saveEepromConsts() override;
    bool restoreEepromConsts() override;
    bool restoreOriginalEepromConsts() override;
    void performAdcConsts() override;
    void performDacConsts() override;
    double defaultValue() override;
    bool setDacValue(double value) override;
    double readAdcValue(bool* ok) override;
    void setNewDacEepromCoeffs(lineRegressionCoeff coeff) override;
    void setNewAdcEepromCoeffs(lineRegressionCoeff coeff) override;
    bool finish() override;

protected:
    lcIODevice* module() override { return m_driver; }
    // The module's reading is not used in I mode, and in U mode the meter measures
    // a voltage, not the current the DAC drives.
    bool calibratesDac() override;
    bool calibratesAdc() override;

private:
    bool send(TDM1_EepromCoeff const& coeff);
    bool setSwitcher(cmd::enum_LC4TDM1_SwitcherMode mode);

    QPointer<TempDriverM1> m_driver;
    int m_channel = 0;
    TDM1_EepromCoeff m_coeff{};
    TDM1_EepromCoeff m_original{};
};

#endif // LC4TDM1CALIBRATOR_H
