#include "lc4tdm1calibrator.h"

#include "cagilent34401avisainterface.h"

namespace {
enum
{
    UMode = 0,
    IMode = 1
};
constexpr int attempts = 5;
} // namespace

LC4TDM1Calibrator::LC4TDM1Calibrator(QObject* parent) : CommonCalibrator(parent) {}

void LC4TDM1Calibrator::setDriver(CommonDriver* driver)
{
    m_driver = qobject_cast<TempDriverM1*>(driver);
}

QStringList LC4TDM1Calibrator::modeList()
{
    return {QStringLiteral("U mode"), QStringLiteral("I mode")};
}

QString LC4TDM1Calibrator::driverType()
{
    return QStringLiteral("LC4TDM1");
}

void LC4TDM1Calibrator::performAgilent()
{
    agilent()->setMode(mode() == UMode ? 2 : 0);
}

bool LC4TDM1Calibrator::setSwitcher(cmd::enum_LC4TDM1_SwitcherMode mode)
{
    bool ok = false;
    m_driver->switcherMode()->setValueSync(mode, &ok, attempts);
    return ok && m_driver;
}

bool LC4TDM1Calibrator::performDriver()
{
    // The default current is the channel's, so it must be the module's own.
    return setSwitcher(cmd::LC4TDM1_SwitcherCalibration) && m_driver &&
           m_driver->readDefaultParams();
}

void LC4TDM1Calibrator::saveEepromConsts()
{
    if (!m_driver->readEepromCoeffs()) {
        fail(QStringLiteral("ERROR: can't receive/set calibration data"));
        return;
    }
    m_coeff = m_driver->eepromCoeff(quint8(m_channel));
    m_original = m_coeff;
}

bool LC4TDM1Calibrator::send(TDM1_EepromCoeff const& coeff)
{
    if (!m_driver)
        return false;
    m_driver->setEepromCoeff(quint8(m_channel), coeff);
    return m_driver->writeEepromCoeffs();
}

bool LC4TDM1Calibrator::restoreEepromConsts()
{
    return send(m_coeff);
}

bool LC4TDM1Calibrator::restoreOriginalEepromConsts()
{
    return send(m_original);
}

void LC4TDM1Calibrator::performAdcConsts()
{
    setNewAdcEepromCoeffs({1.0f, 0.0f});
}

void LC4TDM1Calibrator::performDacConsts()
{
    m_coeff.currentCoeff = {1.0f, 0.0f};
}

double LC4TDM1Calibrator::defaultValue()
{
    return m_driver ? double(m_driver->defaultParam(quint8(m_channel)).current) : 0.0;
}

bool LC4TDM1Calibrator::setDacValue(double value)
{
    return m_driver && m_driver->setCurrent(quint8(m_channel), float(value));
}

double LC4TDM1Calibrator::readAdcValue(bool* ok)
{
    if (mode() == IMode) {
        if (ok)
            *ok = true;
        return 0;
    }
    const bool read = m_driver && m_driver->updateVoltage(quint8(m_channel));
    if (ok)
        *ok = read;
    return read ? double(m_driver->currentVoltage(quint8(m_channel))) : 0.0;
}

void LC4TDM1Calibrator::setNewDacEepromCoeffs(lineRegressionCoeff coeff)
{
    m_coeff.currentCoeff =
        calibratesDac() ? pair_t<float>{coeff.slope, coeff.intercept} : m_original.currentCoeff;
}

void LC4TDM1Calibrator::setNewAdcEepromCoeffs(lineRegressionCoeff coeff)
{
    if (calibratesAdc())
        m_coeff.voltageCoeff = {coeff.slope, coeff.intercept};
}

bool LC4TDM1Calibrator::finish()
{
    return m_driver && setSwitcher(cmd::LC4TDM1_SwitcherNormal);
}

bool LC4TDM1Calibrator::calibratesDac()
{
    return mode() == IMode;
}

bool LC4TDM1Calibrator::calibratesAdc()
{
    return mode() == UMode;
}
