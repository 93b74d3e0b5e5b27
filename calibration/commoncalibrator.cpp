#include "commoncalibrator.h"
#include "lclogging.h"

#include "cagilent34401avisainterface.h"
#include "calibrationsettings.h"
#include "deviceinfotext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <cmath>

namespace {

double timeScale = 1.0;

QString const constantsFailedText = QStringLiteral("ERROR: can't receive/set calibration data");

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

// One outlier search and removal; an index outside the set removes nothing.
void removeBadestPoint(QVector<QPointF>* points)
{
    const int index = findBadestPoint(*points);
    if (index >= 0 && index < points->size())
        points->remove(index);
}

} // namespace

CommonCalibrator::CommonCalibrator(QObject* parent) : QObject(parent) {}

void CommonCalibrator::setTimeScale(double scale)
{
    timeScale = qMax(0.0, scale);
}

void CommonCalibrator::start()
{
    if (m_running)
        return;
    m_running = true;
    m_stopRequested = false;
    m_driverPrepared = false;
    m_constantsChanged = false;
    if (run() == Outcome::Ended)
        restoreModule();
    m_running = false;
    emit finished();
}

void CommonCalibrator::terminate()
{
    m_stopRequested = true;
    emit stopWanted();
}

void CommonCalibrator::msleep(unsigned ms)
{
    if (m_stopRequested)
        return;
    const int scaled = int(std::lround(ms * timeScale));
    if (scaled <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &CommonCalibrator::stopWanted, &loop, &QEventLoop::quit);
    timer.start(scaled);
    loop.exec();
}

int CommonCalibrator::mode()
{
    const int modes = modeList().size();
    return modes > 0 ? qBound(0, m_modeIndex, modes - 1) : 0;
}

void CommonCalibrator::fail(QString const& text)
{
    emit message(withUnitLostCause(text, module()));
    terminate();
}

bool CommonCalibrator::performEepromConsts()
{
    saveEepromConsts();
    if (m_stopRequested)
        return false;
    performAdcConsts();
    performDacConsts();
    m_constantsChanged = true;
    if (!restoreEepromConsts()) {
        fail(constantsFailedText);
        return false;
    }
    return true;
}

CommonCalibrator::Outcome CommonCalibrator::run()
{
    if (!module()) {
        fail(QStringLiteral("ERROR: there is no module to calibrate"));
        return Outcome::Ended;
    }
    if (!m_agilent) {
        fail(QStringLiteral("ERROR: no reference multimeter"));
        return Outcome::Ended;
    }
    QSettings settings = calibrationSettings();
    settings.setValue(QStringLiteral("DriverType"), driverType());
    settings.setValue(driverType() + QStringLiteral("_Mode"), mode());

    emit changeProgress(0);
    emit performPlot();
    msleep(10);
    m_data.clear();

    emit message(QStringLiteral("Performing Agilent..."));
    msleep(10);
    performAgilent();

    emit message(QStringLiteral("Performing Driver..."));
    msleep(10);
    m_driverPrepared = true;
    if (!performDriver()) {
        fail(QStringLiteral("ERROR: can't prepare the module for calibration"));
        return Outcome::Ended;
    }

    emit message(QStringLiteral("Performing calibration constants..."));
    msleep(10);
    if (!performEepromConsts())
        return Outcome::Ended;

    emit message(QStringLiteral("Set 0 value..."));
    msleep(10);
    if (!setDacValue(0)) {
        fail(QStringLiteral("ERROR: the module does not take the value 0"));
        return Outcome::Ended;
    }
    msleep(2000);

    emit message(QStringLiteral("Start calibration progress"));
    msleep(10);
    if (m_stopRequested || sweep() == Outcome::Ended)
        return Outcome::Ended;
    return fitAndCheck();
}

CommonCalibrator::Outcome CommonCalibrator::sweep()
{
    for (int i = 0; i < m_pointCount; ++i) {
        const int point = i + 1;
        const double dac = 65535.0 / m_pointCount * i;
        if (!setDacValue(dac)) {
            fail(QStringLiteral("ERROR: the module does not take DAC value %1 at point %2")
                     .arg(number(dac))
                     .arg(point));
            return Outcome::Ended;
        }
        msleep(500);
        bool ok = false;
        const double agilent = m_agilent->singleRead(&ok);
        if (!ok && !m_stopRequested) {
            fail(QStringLiteral("ERROR: no multimeter reading at point %1").arg(point));
            return Outcome::Ended;
        }
        const double adc = readAdcValue(&ok);
        if (!ok && !m_stopRequested) {
            fail(QStringLiteral("ERROR: no module reading at point %1").arg(point));
            return Outcome::Ended;
        }
        if (m_stopRequested)
            return Outcome::Ended;
        msleep(20);
        if (m_stopRequested)
            return Outcome::Ended;
        m_data.append({dac, adc, agilent});
        emit message(QStringLiteral("DAC: %1; ADC: %2; Agilent: %3")
                         .arg(number(dac), number(adc), number(agilent)));
        emit changeProgress(point * 100 / m_pointCount);
        emit addPoint(0, dac, agilent, false);
        emit addPoint(1, adc, agilent, true);
        msleep(10);
    }
    return Outcome::Completed;
}

void CommonCalibrator::rejectBadPoints(QVector<QPointF>* dacSet, QVector<QPointF>* adcSet)
{
    if (m_pointCount <= 9)
        return;
    for (int i = 0; i < m_pointCount / 10; ++i) {
        removeBadestPoint(dacSet);
        removeBadestPoint(adcSet);
    }
}

bool CommonCalibrator::storable(lineRegressionCoeff const& line, QString const& name)
{
    if (line.isFinite() && line.slope != 0.0f)
        return true;
    fail(QStringLiteral("ERROR: the fitted %1 line (slope %2, intercept %3) is not usable; "
                        "the constants stay as they were")
             .arg(name, number(line.slope), number(line.intercept)));
    return false;
}

CommonCalibrator::Outcome CommonCalibrator::fitAndCheck()
{
    QVector<QPointF> dacSet;
    QVector<QPointF> adcSet;
    for (const sData& point : qAsConst(m_data)) {
        dacSet.append(QPointF(point.agilent, point.dac));
        adcSet.append(QPointF(point.adc, point.agilent));
    }
    emit message(QStringLiteral("Delete 10% of \"bad\" points"));
    msleep(10);
    rejectBadPoints(&dacSet, &adcSet);

    emit performPlot();
    for (int i = 0; i < dacSet.size() && i < adcSet.size(); ++i) {
        emit addPoint(0, dacSet[i].y(), dacSet[i].x(), false);
        emit addPoint(1, adcSet[i].x(), adcSet[i].y(), false);
        msleep(1);
    }
    if (!adcSet.isEmpty())
        emit addPoint(1, adcSet.last().x(), adcSet.last().y(), true);
    msleep(1);

    if (m_stopRequested)
        return Outcome::Ended;
    emit message(QStringLiteral("Checking default value..."));
    emit changeProgress(0);
    msleep(10);
    if (m_stopRequested)
        return Outcome::Ended;

    const lineRegressionCoeff line1 = lineRegression(dacSet);
    qCDebug(lcCalibration) << "tmpDacCoeff:" << line1.slope << line1.intercept;
    if (calibratesDac() && !storable(line1, QStringLiteral("DAC")))
        return Outcome::Ended;
    setNewDacEepromCoeffs(line1);
    performAdcConsts();
    if (!restoreEepromConsts()) {
        fail(constantsFailedText);
        return Outcome::Ended;
    }
    if (m_stopRequested)
        return Outcome::Ended;
    if (!setDefaultValue()) {
        fail(QStringLiteral("ERROR: the module does not take its default value"));
        return Outcome::Ended;
    }

    emit message(QStringLiteral("Collect data..."));
    double adcSum = 0;
    double agilentSum = 0;
    for (int i = 0; i < m_checkingPointCount; ++i) {
        bool ok = false;
        adcSum += readAdcValue(&ok);
        if (!ok) {
            fail(QStringLiteral("ERROR: no module reading at checking point %1").arg(i + 1));
            return Outcome::Ended;
        }
        agilentSum += m_agilent->singleRead(&ok);
        if (!ok) {
            fail(QStringLiteral("ERROR: no multimeter reading at checking point %1").arg(i + 1));
            return Outcome::Ended;
        }
        emit changeProgress(i * 100 / m_checkingPointCount);
        msleep(10);
        if (m_stopRequested)
            return Outcome::Ended;
    }
    const double meanAdc = adcSum / m_checkingPointCount;
    const double meanAgilent = agilentSum / m_checkingPointCount;
    const double d = defaultValue();

    const lineRegressionCoeff dacLine = lineRegressionViaPoint(
        dacSet, QPointF(meanAgilent, double(line1.slope) * d + double(line1.intercept)));
    if (calibratesDac() && !storable(dacLine, QStringLiteral("DAC")))
        return Outcome::Ended;
    setNewDacEepromCoeffs(dacLine);
    const lineRegressionCoeff adcLine =
        lineRegressionViaPoint(adcSet, QPointF(meanAdc, meanAgilent));
    if (calibratesAdc() && !storable(adcLine, QStringLiteral("ADC")))
        return Outcome::Ended;
    setNewAdcEepromCoeffs(adcLine);

    if (!restoreEepromConsts()) {
        fail(QStringLiteral("ERROR: the module did not confirm the new calibration constants"));
        return Outcome::Ended;
    }
    m_constantsChanged = false;
    const bool defaultSet = setDacValue(defaultValue());
    if (!finish() || !defaultSet) {
        emit message(QStringLiteral("ERROR: the new constants are in the module, but it did not "
                                    "return to normal operation"));
        return Outcome::Completed;
    }
    emit changeProgress(100);
    emit message(QStringLiteral("Calibration completed"));
    return Outcome::Completed;
}

void CommonCalibrator::restoreModule()
{
    if (!m_driverPrepared)
        return;
    bool restored = true;
    if (m_constantsChanged)
        restored = restoreOriginalEepromConsts();
    // The default value only means something with constants the module knows.
    if (restored)
        setDacValue(defaultValue());
    const bool normal = finish();
    // A unit that went away takes its working constants with it only if it rebooted:
    // the operator reads them back before writing the EEPROM either way.
    if (!restored)
        emit message(withUnitLostCause(
            QStringLiteral("ERROR: the module did not take back its calibration "
                           "constants; read and check them before writing the EEPROM"),
            module()));
    else if (!normal)
        emit message(withUnitLostCause(
            QStringLiteral("ERROR: the module did not return to normal operation"), module()));
}

void CommonCalibrator::setDriver(CommonDriver* driver)
{
    Q_UNUSED(driver)
}

QStringList CommonCalibrator::modeList()
{
    return {};
}

QString CommonCalibrator::driverType()
{
    return QString();
}

void CommonCalibrator::performAgilent()
{
    m_agilent->setMode(2);
}

bool CommonCalibrator::performDriver()
{
    return true;
}

void CommonCalibrator::saveEepromConsts() {}

bool CommonCalibrator::restoreEepromConsts()
{
    return false;
}

bool CommonCalibrator::restoreOriginalEepromConsts()
{
    return false;
}

void CommonCalibrator::performAdcConsts() {}

void CommonCalibrator::performDacConsts() {}

bool CommonCalibrator::setDefaultValue()
{
    const bool ok = setDacValue(defaultValue());
    msleep(2000);
    return ok;
}

double CommonCalibrator::defaultValue()
{
    return 0;
}

bool CommonCalibrator::setDacValue(double value)
{
    Q_UNUSED(value)
    return false;
}

double CommonCalibrator::readAdcValue(bool* ok)
{
    if (ok)
        *ok = false;
    return 0;
}

void CommonCalibrator::setNewDacEepromCoeffs(lineRegressionCoeff coeff)
{
    Q_UNUSED(coeff)
}

void CommonCalibrator::setNewAdcEepromCoeffs(lineRegressionCoeff coeff)
{
    Q_UNUSED(coeff)
}

bool CommonCalibrator::finish()
{
    return true;
}
