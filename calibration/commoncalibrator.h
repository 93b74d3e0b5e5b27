#ifndef COMMONCALIBRATOR_H
#define COMMONCALIBRATOR_H

#include "calibrationverification.h"
#include "lineregression.h"

#include <QObject>
#include <QPointF>
#include <QStringList>
#include <QVector>

class CommonDriver;
class lcIODevice;
class cAgilent34401aVisaInterface;

// One point of the sweep: the DAC value given, the module's raw reading and the
// reference multimeter's reading.
struct sData
{
    double dac;
    double adc;
    double agilent;
};

// The calibration run, the same for every module kind: the module's DAC and ADC
// lines are replaced by identities, the DAC is swept against the reference
// multimeter, the worst tenth of the points is dropped, the lines are fitted,
// checked at the default value and left in the module's working constants. What
// differs by kind lies in the hooks, which the module calibrators override.
//
// A run that stops or fails after it changed the module's constants puts the
// constants read at its start back, sets the default value and returns the module
// to normal operation. Meter readings beyond the mode's range and lines that are
// not plausible for the module's converters end the run; it completes only when
// the mode, measured again with the new constants, is within its tolerance.
class CommonCalibrator : public QObject
{
    Q_OBJECT
public:
    explicit CommonCalibrator(QObject* parent = nullptr);

    // Runs the whole calibration in the caller's thread, then emits finished()
    // once. A start during a run is ignored.
    void start();
    void terminate();
    bool isRunning() const { return m_running; }
    bool isStopRequested() const { return m_stopRequested; }
    // Sleeps in the event loop for ms milliseconds (times the time scale), or until
    // a stop request.
    void msleep(unsigned ms);
    // False when the constants could not be read: nothing has been sent then.
    bool performEepromConsts();

    int modeIndex() const { return m_modeIndex; }
    void setModeIndex(int index) { m_modeIndex = index; }
    cAgilent34401aVisaInterface* agilent() const { return m_agilent; }
    void setAgilent(cAgilent34401aVisaInterface* agilent) { m_agilent = agilent; }
    int pointCount() const { return m_pointCount; }
    void setPointCount(int count) { m_pointCount = qMax(1, count); }
    int checkingPointCount() const { return m_checkingPointCount; }
    void setCheckingPointCount(int count) { m_checkingPointCount = qMax(1, count); }
    QVector<sData> data() const { return m_data; }
    // The as-found and as-left measurements of the last run.
    CalibrationVerification verification() const { return m_verification; }

    // Readings the meter and the module average at each set-point of the
    // verification, after the settling wait.
    static constexpr int verificationReadings = 4;
    static constexpr unsigned verificationSettleMs = 500;

    // Shortens every wait of every run; for tests only.
    static void setTimeScale(double scale);

public slots:
    virtual void setDriver(CommonDriver* driver);
    virtual QStringList modeList();
    virtual QString driverType();
    virtual void performAgilent();
    // False when the module could not be put into its calibration state.
    virtual bool performDriver();
    // Reads the module's constants into the working copy and keeps them as read;
    // on failure reports and requests the stop.
    virtual void saveEepromConsts();
    // Sends the working copy; false when the module did not confirm it.
    virtual bool restoreEepromConsts();
    // Sends the constants as read at the start.
    virtual bool restoreOriginalEepromConsts();
    virtual void performAdcConsts();
    virtual void performDacConsts();
    virtual bool setDefaultValue();
    virtual double defaultValue();
    virtual bool setDacValue(double value);
    virtual double readAdcValue(bool* ok);
    virtual void setNewDacEepromCoeffs(lineRegressionCoeff coeff);
    virtual void setNewAdcEepromCoeffs(lineRegressionCoeff coeff);
    // Returns the module to normal operation.
    virtual bool finish();
    // What the module's reading should show for a meter reading, as the ADC line
    // is fitted: the meter reading itself unless the module corrects its reading
    // with another one. Called right after readAdcValue() for the same point.
    virtual double readingReference(double agilent);

signals:
    void changeProgress(int progress);
    void addPoint(int graphIndex, double x, double y, bool update);
    void message(QString text);
    void performPlot();
    void finished();
    // The as-found or the as-left table has new points.
    void verificationChanged();
    // Wakes a running wait when the stop is requested.
    void stopWanted();

protected:
    // The driver the calibrator talks to the module through; null without one.
    virtual lcIODevice* module() { return nullptr; }
    // Whether the current mode fits and stores this line. Where the multimeter
    // measures another quantity than the DAC drives, only the ADC line is fitted.
    virtual bool calibratesDac() { return true; }
    virtual bool calibratesAdc() { return true; }
    // The mode index within modeList().
    int mode();
    // Gives the message and requests the stop.
    void fail(QString const& text);
    // The bounds of the current mode; null where there are none.
    const ModeBounds* bounds();

private:
    enum class Outcome
    {
        Completed,
        Ended
    };
    Outcome run();
    Outcome sweep();
    Outcome fitAndCheck();
    void rejectBadPoints(QVector<QPointF>* dacSet, QVector<QPointF>* adcSet);
    enum class Line
    {
        Dac,
        Adc
    };
    // A finite line with a slope, plausible for the mode; otherwise fails the run.
    bool storable(Line kind, lineRegressionCoeff const& line, QVector<QPointF> const& points);
    // One meter reading that is a measurement within the mode's range; otherwise
    // fails the run, naming where it was taken.
    bool meterReading(QString const& where, double* value);
    // Sets every verification point and measures it into *points.
    bool verify(QVector<VerificationPoint>* points);
    // The as-left pass; false (and the run failed) unless every point is within
    // the tolerance.
    bool verifyNewConstants();
    double tolerancePercent();
    // After an ended run: the constants as read, the default value, normal operation.
    void restoreModule();

    int m_modeIndex = 0;
    cAgilent34401aVisaInterface* m_agilent = nullptr;
    int m_pointCount = 200;
    int m_checkingPointCount = 20;
    QVector<sData> m_data;
    // Per point of m_data: what the module's reading should have shown.
    QVector<double> m_readingReferences;
    CalibrationVerification m_verification;
    bool m_stopRequested = false;
    bool m_running = false;
    bool m_driverPrepared = false;
    bool m_constantsChanged = false;
};

#endif // COMMONCALIBRATOR_H
