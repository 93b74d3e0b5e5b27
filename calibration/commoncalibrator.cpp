#include "commoncalibrator.h"
#include "lclogging.h"

#include "cagilent34401avisainterface.h"
#include "calibrationsettings.h"
#include "deviceinfotext.h"

#include <QCoreApplication>
#include <QDateTime>
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
    m_verification = CalibrationVerification();
    // The tables of an earlier run do not stand for this one.
    emit verificationChanged();
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

const ModeBounds* CommonCalibrator::bounds()
{
    return modeBounds(driverType(), mode());
}

double CommonCalibrator::tolerancePercent()
{
    bool ok = false;
    const double stored = calibrationSettings()
                              .value(driverType() + QStringLiteral("_TolerancePercent"),
                                     CalibrationBounds::defaultTolerancePercent)
                              .toDouble(&ok);
    return ok && stored > 0 && std::isfinite(stored) ? stored
                                                     : CalibrationBounds::defaultTolerancePercent;
}

bool CommonCalibrator::meterReading(QString const& where, double* value)
{
    bool ok = false;
    *value = m_agilent->singleRead(&ok);
    if (!ok) {
        if (!m_stopRequested)
            fail(QStringLiteral("ERROR: no multimeter reading at %1").arg(where));
        return false;
    }
    double limit = m_agilent->readingLimit();
    if (const ModeBounds* modeBounds = bounds())
        limit = qMin(limit, CalibrationBounds::readingOverFullScale * modeBounds->fullScale);
    if (!(std::abs(*value) <= limit)) {
        fail(QStringLiteral("ERROR: the multimeter read %1 at %2, beyond the %3 that the "
                            "mode's range allows; check the meter's function and wiring")
                 .arg(number(*value), where, number(limit)));
        return false;
    }
    return true;
}

bool CommonCalibrator::verify(QVector<VerificationPoint>* points)
{
    points->clear();
    const bool reads = m_verification.checksReading;
    for (int i = 0; i < m_verification.setPoints.size(); ++i) {
        const QString where = QStringLiteral("verification point %1").arg(i + 1);
        const double set = m_verification.setPoints[i];
        if (!setDacValue(set)) {
            fail(QStringLiteral("ERROR: the module does not take the value %1 at %2")
                     .arg(number(set), where));
            return false;
        }
        msleep(verificationSettleMs);
        VerificationPoint point;
        for (int r = 0; r < verificationReadings && !m_stopRequested; ++r) {
            double meter = 0;
            if (!meterReading(where, &meter))
                return false;
            bool ok = true;
            const double reading = reads ? readAdcValue(&ok) : 0.0;
            if (!ok) {
                if (!m_stopRequested)
                    fail(QStringLiteral("ERROR: no module reading at %1").arg(where));
                return false;
            }
            point.meter += meter / verificationReadings;
            point.reading += reading / verificationReadings;
        }
        if (m_stopRequested)
            return false;
        points->append(point);
        emit verificationChanged();
    }
    return true;
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
    m_readingReferences.clear();

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

    if (const ModeBounds* modeBounds = bounds()) {
        m_verification = CalibrationVerification::forMode(*modeBounds, modeList().value(mode()),
                                                          tolerancePercent());
        emit verificationChanged();
        emit message(QStringLiteral("Verifying with the constants found..."));
        if (!verify(&m_verification.asFound))
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
        double agilent = 0;
        if (!meterReading(QStringLiteral("point %1").arg(point), &agilent))
            return Outcome::Ended;
        bool ok = false;
        const double adc = readAdcValue(&ok);
        const double reference = readingReference(agilent);
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
        m_readingReferences.append(reference);
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

bool CommonCalibrator::storable(Line kind, lineRegressionCoeff const& line,
                                QVector<QPointF> const& points)
{
    QString reason;
    const ModeBounds* modeBounds = bounds();
    if (!line.isFinite() || line.slope == 0.0f)
        reason = QStringLiteral("it is no line");
    else if (modeBounds && kind == Line::Dac && modeBounds->checksSet)
        reason = dacLineImplausibility(*modeBounds, line, points);
    else if (modeBounds && kind == Line::Adc && modeBounds->checksReading)
        reason = adcLineImplausibility(*modeBounds, line, points);
    if (reason.isEmpty())
        return true;
    fail(QStringLiteral("ERROR: the fitted %1 line (slope %2, intercept %3) is not usable: %4; "
                        "the constants stay as they were")
             .arg(kind == Line::Dac ? QStringLiteral("DAC") : QStringLiteral("ADC"),
                  number(line.slope), number(line.intercept), reason));
    return false;
}

CommonCalibrator::Outcome CommonCalibrator::fitAndCheck()
{
    QVector<QPointF> dacSet;
    QVector<QPointF> adcSet;
    for (int i = 0; i < m_data.size(); ++i) {
        dacSet.append(QPointF(m_data[i].agilent, m_data[i].dac));
        adcSet.append(QPointF(m_data[i].adc, m_readingReferences.value(i, m_data[i].agilent)));
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
    if (calibratesDac() && !storable(Line::Dac, line1, dacSet))
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
    double referenceSum = 0;
    for (int i = 0; i < m_checkingPointCount; ++i) {
        bool ok = false;
        adcSum += readAdcValue(&ok);
        if (!ok) {
            fail(QStringLiteral("ERROR: no module reading at checking point %1").arg(i + 1));
            return Outcome::Ended;
        }
        double agilent = 0;
        if (!meterReading(QStringLiteral("checking point %1").arg(i + 1), &agilent))
            return Outcome::Ended;
        agilentSum += agilent;
        referenceSum += readingReference(agilent);
        emit changeProgress(i * 100 / m_checkingPointCount);
        msleep(10);
        if (m_stopRequested)
            return Outcome::Ended;
    }
    const double meanAdc = adcSum / m_checkingPointCount;
    const double meanAgilent = agilentSum / m_checkingPointCount;
    const double meanReference = referenceSum / m_checkingPointCount;
    const double d = defaultValue();

    const lineRegressionCoeff dacLine = lineRegressionViaPoint(
        dacSet, QPointF(meanAgilent, double(line1.slope) * d + double(line1.intercept)));
    if (calibratesDac() && !storable(Line::Dac, dacLine, dacSet))
        return Outcome::Ended;
    setNewDacEepromCoeffs(dacLine);
    const lineRegressionCoeff adcLine =
        lineRegressionViaPoint(adcSet, QPointF(meanAdc, meanReference));
    if (calibratesAdc() && !storable(Line::Adc, adcLine, adcSet))
        return Outcome::Ended;
    setNewAdcEepromCoeffs(adcLine);

    if (!restoreEepromConsts()) {
        fail(QStringLiteral("ERROR: the module did not confirm the new calibration constants"));
        return Outcome::Ended;
    }
    if (bounds() && !verifyNewConstants())
        return Outcome::Ended;
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

bool CommonCalibrator::verifyNewConstants()
{
    emit message(QStringLiteral("Verifying with the new constants..."));
    if (!verify(&m_verification.asLeft))
        return false;
    if (!m_verification.asLeftPasses()) {
        const int worst = m_verification.worstPoint(m_verification.asLeft);
        fail(QStringLiteral("ERROR: the new constants do not verify: at set-point %1 the error is "
                            "%2 % of full scale, beyond the tolerance of %3 %; the constants "
                            "found are restored")
                 .arg(number(m_verification.setPoints.value(worst)),
                      QString::number(
                          m_verification.worstError(worst, m_verification.asLeft.value(worst)), 'g',
                          3),
                      number(m_verification.tolerancePercent)));
        return false;
    }
    m_verification.meter = m_agilent->identity();
    m_verification.date = QDateTime::currentDateTimeUtc();
    emit verificationChanged();
    return true;
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

double CommonCalibrator::readingReference(double agilent)
{
    return agilent;
}
