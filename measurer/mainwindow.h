#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "lumicratepicker.h"
#include "plotexport.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class CommonDriver;
class QCPGraph;
class QCustomPlot;
class QEventLoop;
class QTimer;
class lcTcpSocketIOInterface;

namespace Ui {
class MainWindow;
}

// The SSPD counts measurer: connection, control, counter, sweep and service pages
// around one SSPD driver module.
//
// Module exchanges never interleave on the driver: a click, a page entry or a
// timer tick that arrives while another handler waits inside a synchronous call
// is queued and runs once that handler has finished.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    enum ModuleKind
    {
        SspdM0 = 0,
        SspdM1 = 1,
        OtherModule = 2
    };

    // The modal dialogs and the keyboard state go through these, so that tests can
    // answer them; the defaults are Qt's own.
    using SaveFileDialog = std::function<QString(QWidget* parent, QString const& caption,
                                                 QString const& fileName, QString const& filter)>;
    using WarningDialog =
        std::function<void(QWidget* parent, QString const& title, QString const& text)>;
    using KeyboardModifiers = std::function<Qt::KeyboardModifiers()>;

    // An empty discovery means the unit broadcast of the driver library.
    explicit MainWindow(QWidget* parent = nullptr, LumicratePicker::Discovery discovery = {});
    ~MainWindow() override;

    SaveFileDialog saveFileDialog;
    WarningDialog warningDialog;
    KeyboardModifiers keyboardModifiers;
    // The unit's frame port; tests point it at a local stand-in.
    quint16 unitPort = 9876;
    // The wait between shorting the detector and releasing it at a sweep's start.
    int settlingMs = 2000;

    LumicratePicker* picker() const { return m_picker; }
    lcTcpSocketIOInterface* link() const { return m_link; }
    CommonDriver* driver() const;
    QTimer* timer() const { return m_timer; }
    int moduleKind() const { return m_moduleKind; }
    QString tcpAddress() const { return m_tcpAddress; }
    QString recordFileName() const { return m_recordFileName; }
    double timeConstMs() const { return m_timeConstMs; }
    double sweepValue() const { return m_sweepValue; }
    bool isSweepRunning() const { return m_sweepRunning; }
    bool autoScale() const { return m_autoScale; }
    bool rangesVisible() const { return m_rangesVisible; }
    // True while a handler waits inside a synchronous module call.
    bool isBusy() const { return m_busy > 0; }

public slots:
    void on_pbInitialize_clicked();
    void on_stackedWidget_currentChanged(int index);
    void updateLumicrateList();
    void on_cbTcpIpAddress_activated(const QString& text);

    void updateData();
    void on_pbSetI_clicked();
    void on_pbSetCmp_clicked();
    void on_cbShort_clicked(bool checked);
    void on_cbAmplifier_clicked(bool checked);
    void on_cbComparator_clicked(bool checked);
    void on_cbHFMode_clicked(bool checked);

    void updateCountsGraph();
    void on_pbReadParams_clicked();
    void on_pbSetParams_clicked();
    void counterContextMenuRequest(QPoint pos);
    void setAutoScaleCounterPlot(bool isAuto);
    void controlAutoScaleCounter();
    void setRangesVisible(bool isVisible);

    void on_pbStart_clicked();
    void on_pbStop_clicked();
    void setCurrentValue();
    void addPoint2MeasureGraphs();
    void enableControlsAtMeasure(bool enable);
    void on_cbType_currentIndexChanged(int index);
    void measurerContextMenuRequest(QPoint pos);
    void deleteMeasureData();
    void saveData();
    // Writes the counter chart's points in view, in the sweep file's layout.
    void saveCounterData();

    void on_pbGetSecretParams_clicked();
    void on_pbSetSecretParams_clicked();
    void on_pbReading_clicked();
    void on_pbRecording_clicked();
    void updateSecureData();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Busy;
    friend class Busy;

    PlotExportDialogs plotExportDialogs() const { return {saveFileDialog, warningDialog}; }
    // Asks for a data file, starting at the name kept under `settingsKey`, and writes it.
    void saveDataFile(QString const& settingsKey, QString const& defaultName,
                      std::function<QByteArray()> const& bytes);
    // Runs the action now, or queues it behind the handler that waits.
    void whenIdle(std::function<void()> action);
    void runDeferred();
    void scheduleDeferred();
    // Stops the refresh; ticks already queued or waiting will not restart it.
    void stopRefresh();
    void restartRefresh(int generation, int periodMs = -1);
    // Calls f with the SSPD driver of either modification; false for any other.
    template <typename F> bool withSspd(F&& f);

    void initialize(Qt::KeyboardModifiers modifiers);
    void setInitializeControlsEnabled(bool enabled);
    void releaseDrivers();

    void refreshControlPage(int generation);
    void setSwitch(int which, bool on);
    void switchComparator(bool on);
    void setBiasCurrent(double microAmps);
    void setComparatorLevel(double volts);

    void setupCounterPlot();
    void enterCounterPage(int generation);
    void counterTick(int generation);
    void readParams();
    void setParams(double seconds);

    void setupMeasurerPlot();
    void startSweep();
    void finishSweep();
    void stopSweepWithStatus(QString const& text);
    // The text, or the lost unit when that is why the sweep could not go on.
    void stopSweepOnFailure(QString const& text);
    double sweepSetPoint(int index) const;
    void sweepTick();
    void quitSettling();

    void readPid();
    void writePid(bool on);
    void serviceTick(int generation);
    void record(QByteArray const& line);

    Ui::MainWindow* ui;
    LumicratePicker* m_picker;
    lcTcpSocketIOInterface* m_link;
    QTimer* m_timer;
    QPointer<CommonDriver> m_driver;
    QPointer<CommonDriver> m_identifier;
    int m_moduleKind = OtherModule;
    QString m_tcpAddress;
    QString m_recordFileName;
    double m_timeConstMs = 0;
    bool m_autoScale = true;
    bool m_rangesVisible = true;

    // Serialisation of module exchanges.
    int m_busy = 0;
    bool m_drainScheduled = false;
    bool m_initializeQueued = false;
    bool m_initializing = false;
    bool m_closing = false;
    QList<std::function<void()>> m_deferred;
    // Changes whenever the refresh is stopped or retargeted.
    int m_refreshGeneration = 0;
    // The unit was lost while counting: one that comes back has its counter off.
    bool m_countingLost = false;

    // The running sweep.
    bool m_sweepRunning = false;
    int m_sweepType = 0;
    int m_sweepIndex = 0;
    double m_sweepStart = 0;
    double m_sweepStep = 0;
    double m_sweepStop = 0;
    double m_sweepValue = 0;
    double m_sweepTimeConst = 0;
    QPointer<QCPGraph> m_sweepGraph;
    QEventLoop* m_settling = nullptr;
};

#endif // MAINWINDOW_H
