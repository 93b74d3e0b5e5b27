#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "lumicratepicker.h"
#include "sweepplan.h"

#include <QColor>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class CommonDriver;
class QCPGraph;
class QEventLoop;
class QTimer;
class SisBiasSourceDriverM0;
class lcTcpSocketIOInterface;

namespace Ui {
class MainWindow;
}

// The IV measurer: one SIS bias source on one unit, its bias controls and the
// sweeps the module runs by itself. All module calls are synchronous and run the
// event loop; the window counts them, so that nothing that would pull the driver
// from under a waiting call, and no closing, happens while one is on the stack.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr quint16 unitPort = 9876;
    static constexpr int settleMs = sweepSettleMs;
    // How long a frame may take after each of the commands to address 255.
    static constexpr int announceWaitMs = sweepAnnounceWaitMs;
    // Points arriving within this time share one redraw.
    static constexpr int replotIntervalMs = 20;

    // Same contract as QFileDialog::getSaveFileName.
    using SaveFileDialog = std::function<QString(QWidget* parent, QString const& caption,
                                                 QString const& dir, QString const& filter)>;

    // `discovery` replaces the broadcast of the address picker (tests, demos).
    explicit MainWindow(QWidget* parent = nullptr, LumicratePicker::Discovery discovery = {});
    ~MainWindow() override;

    static QColor graphColor(int index);

    LumicratePicker* picker() const { return m_picker; }
    SisBiasSourceDriverM0* driver() const { return m_driver; }
    lcTcpSocketIOInterface* link() const { return m_link; }
    bool sweepRunning() const { return m_sweeping; }

    // The unit's frame port; only tests and benchmarks move it.
    void setUnitPort(quint16 port) { m_unitPort = port; }

    SaveFileDialog saveFileDialog;

public slots:
    void updateLumicrateList();
    void updateData();
    void serverMessageReceive(quint8 address, quint8 command, quint8 dataLength, quint8* data);
    void enableControlsAtMeasure(bool on);
    void measurerContextMenuRequest(QPoint pos);
    void deleteMeasureData();
    void saveData();

private slots:
    void on_cbTcpIpAddress_activated(int index);
    void on_pbInitialize_clicked();
    void on_stackedWidget_currentChanged(int index);
    void on_pbSetU_clicked();
    void on_pbSetI_clicked();
    void on_rbUmode_toggled(bool checked);
    void on_cbShort_clicked(bool checked);
    void on_cbSweepType_currentIndexChanged(int index);
    void on_pbStart_clicked();
    void on_pbStop_clicked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class CallScope;
    enum class WaitEnd
    {
        Done,
        Expired,
        Interrupted,
        // The link lost its unit: whatever the module ran went with it.
        UnitLost
    };

    void preparePlot();
    void styleGraph(QCPGraph* graph, QColor const& color);
    void setPageFlags(bool enabled);
    void updateInitializeButton();
    void callEnded();
    bool canCall() const;
    void runSweep(SweepPlan const& plan);
    bool writeSweepSetup(SweepPlan const& plan);
    WaitEnd waitFor(bool const* flag, int timeoutMs);
    void attachSweepReceiver(bool on);
    void sendToAll(quint8 command);
    void stopModuleSweep();
    void setMeasurerStatus(QString const& text);
    // The text, or the lost unit when that is why the call failed.
    void setFailureStatus(QString const& text);

    Ui::MainWindow* ui;
    lcTcpSocketIOInterface* m_link;
    QTimer* m_pollTimer;
    QTimer* m_replotTimer;
    LumicratePicker* m_picker;
    QPointer<SisBiasSourceDriverM0> m_driver;
    bool m_noBiasSource = true;
    QString m_tcpAddress;
    quint16 m_unitPort = unitPort;

    bool m_frameSeen = false;
    bool m_sweepDone = false;
    bool m_sweeping = false;
    bool m_stopRequested = false;
    QPointer<QCPGraph> m_sweepGraph;
    int m_sweepPoints = 0;
    QMetaObject::Connection m_sweepReceiver;
    QEventLoop* m_wait = nullptr;
    bool m_rescalePending = false;

    int m_calls = 0;
    bool m_initializing = false;
    bool m_closeRequested = false;
    bool m_closed = false;
    // QCoreApplication::exit makes every later QEventLoop::exec return at once;
    // from then on no synchronous call may start, or its wait would spin.
    bool m_loopsEnded = false;
    bool m_shown = false;
};

#endif // MAINWINDOW_H
