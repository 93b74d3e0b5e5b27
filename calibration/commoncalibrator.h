#ifndef COMMONCALIBRATOR_H
#define COMMONCALIBRATOR_H

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
// to normal operation; nothing that is not a finite line ever reaches the module.
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

signals:
    void changeProgress(int progress);
    void addPoint(int graphIndex, double x, double y, bool update);
    void message(QString text);
    void performPlot();
    void finished();
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
    bool storable(lineRegressionCoeff const& line, QString const& name);
    // After an ended run: the constants as read, the default value, normal operation.
    void restoreModule();

    int m_modeIndex = 0;
    cAgilent34401aVisaInterface* m_agilent = nullptr;
    int m_pointCount = 200;
    int m_checkingPointCount = 20;
    QVector<sData> m_data;
    bool m_stopRequested = false;
    bool m_running = false;
    bool m_driverPrepared = false;
    bool m_constantsChanged = false;
};

#endif // COMMONCALIBRATOR_H
