#include "mainwindow.h"
#include "atomicfile.h"
#include "lclogging.h"
#include "plotexport.h"
#include "ui_mainwindow.h"

#include "commondriver.h"
#include "deviceinfotext.h"
#include "ivdatafile.h"
#include "lctcpsocketiointerface.h"
#include "qcustomlib.h"
#include "sisbiassourcedriverm0.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDoubleValidator>
#include <QEventLoop>
#include <QFileDialog>
#include <QIntValidator>
#include <QMenu>
#include <QScopeGuard>
#include <QSettings>
#include <QTimer>

namespace {

QSettings measurerSettings()
{
    return QSettings(QStringLiteral("Velmora"), QStringLiteral("Photoquell"));
}

} // namespace

// Counts a synchronous exchange on the stack; the last one to end carries out a
// close that was asked for meanwhile.
class MainWindow::CallScope
{
public:
    explicit CallScope(MainWindow* window) : m_window(window)
    {
        ++window->m_calls;
        window->updateInitializeButton();
    }
    ~CallScope()
    {
        if (m_window)
            m_window->callEnded();
    }
    CallScope(CallScope const&) = delete;
    CallScope& operator=(CallScope const&) = delete;

private:
    QPointer<MainWindow> m_window;
};

MainWindow::MainWindow(QWidget* parent, LumicratePicker::Discovery discovery)
    : QWidget(parent), ui(new Ui::MainWindow), m_link(new lcTcpSocketIOInterface(this)),
      m_pollTimer(new QTimer(this)), m_replotTimer(new QTimer(this))
{
    ui->setupUi(this);
    // Wide enough for its longest entry (within its maximum), so no page name is cut
    // off; the window grows to fit when the pages need their own width too.
    ui->lwActions->setMinimumWidth(
        qMin(ui->lwActions->maximumWidth(),
             ui->lwActions->sizeHintForColumn(0) + 2 * ui->lwActions->frameWidth()));
    m_pollTimer->setSingleShot(true);
    saveFileDialog = [](QWidget* parent, QString const& caption, QString const& dir,
                        QString const& filter) {
        return QFileDialog::getSaveFileName(parent, caption, dir, filter);
    };

    QSettings settings = measurerSettings();
    m_tcpAddress = settings.value(QStringLiteral("TcpAddress")).toString();
    ui->sbDeviceAddress->setValue(settings.value(QStringLiteral("DeviceAddress"), 0).toInt());
    ui->wTitle->hide();

    m_picker = new LumicratePicker(ui->cbTcpIpAddress, this);
    if (discovery)
        m_picker->setDiscovery(std::move(discovery));
    updateLumicrateList();
    m_picker->selectAddress(m_tcpAddress);

    preparePlot();
}

MainWindow::~MainWindow()
{
    attachSweepReceiver(false);
    delete ui;
}

QColor MainWindow::graphColor(int index)
{
    static const QColor table[10] = {QColor(0xC0, 0x39, 0x2B), QColor(0x29, 0x80, 0xB9),
                                     QColor(0xD3, 0x54, 0x00), QColor(0x27, 0xAE, 0x60),
                                     QColor(0xF3, 0x9C, 0x12), QColor(0x8E, 0x44, 0xAD),
                                     QColor(0x16, 0xA0, 0x85), QColor(0xE7, 0x4C, 0x3C),
                                     QColor(0x34, 0x98, 0xDB), QColor(0xE6, 0x7E, 0x22)};
    return table[((index % 10) + 10) % 10];
}

void MainWindow::preparePlot()
{
    ui->leStartSweep->setValidator(new QDoubleValidator(ui->leStartSweep));
    ui->leStopSweep->setValidator(new QDoubleValidator(ui->leStopSweep));
    ui->leStepSweep->setValidator(new QDoubleValidator(ui->leStepSweep));
    ui->leTimeStepSweep->setValidator(new QIntValidator(ui->leTimeStepSweep));

    QCustomPlot* plot = ui->wMeasurerPlot;
    const QPalette palette = QApplication::palette();
    plot->setBackground(QBrush(palette.color(QPalette::Current, QPalette::Base)));
    const QColor text = palette.color(QPalette::Current, QPalette::Text);
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
        axis->setTickLabelColor(text);
        axis->setLabelColor(text);
        axis->setBasePen(QPen(text));
        axis->setTickPen(QPen(text));
        axis->setSubTickPen(QPen(text));
    }
    connect(plot, &QWidget::customContextMenuRequested, this,
            &MainWindow::measurerContextMenuRequest);
    // Points may arrive every millisecond, faster than the plot can be drawn: they
    // are drawn together at most every replotIntervalMs, and the rescale runs once,
    // right before the drawing it is for.
    m_replotTimer->setSingleShot(true);
    m_replotTimer->setInterval(replotIntervalMs);
    connect(m_replotTimer, &QTimer::timeout, plot, [plot] { plot->replot(); });
    connect(plot, &QCustomPlot::beforeReplot, this, [this] {
        if (!m_rescalePending)
            return;
        m_rescalePending = false;
        ui->wMeasurerPlot->rescaleAxes(true);
        // Room for the diamonds at the ends of the curves.
        ui->wMeasurerPlot->xAxis->scaleRange(1.05);
        ui->wMeasurerPlot->yAxis->scaleRange(1.05);
    });
}

void MainWindow::styleGraph(QCPGraph* graph, QColor const& color)
{
    const QPen pen(QBrush(color), 3, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    graph->setPen(pen);
    graph->setLineStyle(QCPGraph::lsNone);
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDiamond, pen, QBrush(color), 9));
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    ui->lwActions->setFocus();
    ui->lwActions->setCurrentRow(0);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_calls > 0) {
        // Closing ends the application's loops, and a call still waiting on the
        // stack could then never finish: let it unwind first.
        m_closeRequested = true;
        if (m_sweeping)
            m_stopRequested = true;
        if (m_wait)
            m_wait->quit();
        event->ignore();
        return;
    }
    m_closed = true;
    m_pollTimer->stop();
    updateInitializeButton();
    QWidget::closeEvent(event);
}

void MainWindow::updateInitializeButton()
{
    ui->pbInitialize->setEnabled(m_calls == 0 && !m_closed);
}

void MainWindow::callEnded()
{
    --m_calls;
    updateInitializeButton();
    if (m_calls == 0 && m_closeRequested && !m_closed)
        QTimer::singleShot(0, this, &QWidget::close);
}

bool MainWindow::canCall() const
{
    return m_driver && !m_closed && !m_loopsEnded;
}

void MainWindow::updateLumicrateList()
{
    m_picker->updateLumicrateList();
}

void MainWindow::on_cbTcpIpAddress_activated(int index)
{
    m_picker->activated(ui->cbTcpIpAddress->itemText(index));
}

void MainWindow::setPageFlags(bool enabled)
{
    const Qt::ItemFlags flags =
        enabled ? Qt::ItemFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled) : Qt::NoItemFlags;
    for (int row = 0; row < 3; ++row)
        ui->lwActions->item(row)->setFlags(flags);
}

void MainWindow::on_pbInitialize_clicked()
{
    qCDebug(lcSisMeasurer) << Q_FUNC_INFO;
    // The old driver goes away below; nobody may be waiting on it.
    if (m_initializing || m_calls > 0 || m_closed || m_loopsEnded)
        return;
    m_initializing = true;
    CallScope call(this);
    ui->lwActions->setEnabled(false);

    auto* probe = new CommonDriver(this);
    const auto release = qScopeGuard([this, probe] {
        delete probe;
        ui->lwActions->setEnabled(true);
        m_initializing = false;
    });

    const QString shown = ui->cbTcpIpAddress->currentText();
    m_link->setAddress(convertToHostAddress(normaliseUnitAddress(shown)));
    m_link->setPort(m_unitPort);
    probe->setIOInterface(m_link);
    probe->setDevAddress(quint8(ui->sbDeviceAddress->value()));

    if (!probe->getDeviceInfo()) {
        ui->lbStatus->setText(m_link->isUnitLost()
                                  ? unitLostStatusText()
                                  : QStringLiteral("Status: Error at getDeviceInfo function"));
        return;
    }

    if (m_driver) {
        m_link->disconnect(m_driver);
        m_driver->deleteLater();
    }
    const QString type = probe->deviceType()->currentValue();
    m_noBiasSource = !type.contains(QLatin1String("LC4BS"));
    m_driver = new SisBiasSourceDriverM0(this);
    m_driver->setIOInterface(m_link);
    m_driver->setDevAddress(probe->devAddress());

    const QPointer<SisBiasSourceDriverM0> driver = m_driver;
    bool ok = false;
    driver->init()->executeSync(&ok, 1);
    if (!driver || !ok) {
        ui->lbStatus->setText(m_link->isUnitLost()
                                  ? unitLostStatusText()
                                  : QStringLiteral("Status: Error at init function"));
        return;
    }

    ui->lbStatus->setText(deviceInfoStatusText(*probe));

    setPageFlags(!m_noBiasSource);
    if (!m_noBiasSource) {
        m_tcpAddress = shown;
        QSettings settings = measurerSettings();
        settings.setValue(QStringLiteral("TcpAddress"), shown);
        settings.setValue(QStringLiteral("DeviceAddress"), ui->sbDeviceAddress->value());
    }
}

void MainWindow::on_stackedWidget_currentChanged(int index)
{
    m_pollTimer->stop();
    m_pollTimer->disconnect();
    if (index != 1)
        return;
    m_pollTimer->setInterval(500);
    connect(m_pollTimer, &QTimer::timeout, this, &MainWindow::updateData);
    updateData();
}

void MainWindow::updateData()
{
    if (m_noBiasSource || !canCall() || m_closeRequested)
        return;
    CallScope call(this);
    const QPointer<SisBiasSourceDriverM0> driver = m_driver;
    bool ok = false;
    const LC4BSM0_Data_t data = driver->data()->getValueSync(&ok, 5);
    if (!driver)
        return;
    if (ok) {
        ui->lbData->setText(
            QStringLiteral("U: %1 mV<br>I: %2 uA<br>")
                .arg(QString::number(double(data.voltage) * 1000, 'f', 2).rightJustified(6),
                     QString::number(double(data.current) * 1000000, 'f', 1).rightJustified(6)));
        ui->cbShort->setChecked(data.shortEnable != 0);
        // Checking a radio button writes the mode back (on_rbUmode_toggled).
        if (data.mode == 0)
            ui->rbImode->setChecked(true);
        if (data.mode == 1)
            ui->rbUmode->setChecked(true);
        const bool currentMode = data.mode == 0;
        const bool voltageMode = data.mode == 1;
        ui->sbI->setEnabled(currentMode);
        ui->pbSetI->setEnabled(currentMode);
        ui->sbU->setEnabled(voltageMode);
        ui->pbSetU->setEnabled(voltageMode);
    } else {
        qCDebug(lcSisMeasurer) << "error at getting data";
        if (m_link->isUnitLost())
            ui->lbData->setText(unitLostStatusText());
    }
    // A page change during the wait has already stopped the readings.
    if (ui->stackedWidget->currentIndex() == 1 && !m_closeRequested && !m_closed)
        m_pollTimer->start();
}

void MainWindow::on_pbSetU_clicked()
{
    if (!canCall())
        return;
    CallScope call(this);
    bool ok = false;
    m_driver->voltage()->setValueSync(float(ui->sbU->value() * 0.001), &ok, 5);
}

void MainWindow::on_pbSetI_clicked()
{
    if (!canCall())
        return;
    CallScope call(this);
    bool ok = false;
    m_driver->current()->setValueSync(float(ui->sbI->value() * 0.000001), &ok, 5);
}

void MainWindow::on_rbUmode_toggled(bool checked)
{
    if (!canCall())
        return;
    CallScope call(this);
    bool ok = false;
    m_driver->mode()->setValueSync(checked ? 1 : 0, &ok, 5);
}

void MainWindow::on_cbShort_clicked(bool checked)
{
    if (!canCall())
        return;
    CallScope call(this);
    bool ok = false;
    m_driver->shortEnable()->setValueSync(checked, &ok, 1);
    if (!ok)
        qCDebug(lcSisMeasurer) << "can't set short";
}

void MainWindow::on_cbSweepType_currentIndexChanged(int index)
{
    const QString unit = index == 0 ? QStringLiteral("mV") : QStringLiteral("uA");
    ui->lbStart->setText(QStringLiteral("Start, ") + unit);
    ui->lbStop->setText(QStringLiteral("Stop, ") + unit);
    ui->lbStep->setText(QStringLiteral("Step, ") + unit);
}

void MainWindow::enableControlsAtMeasure(bool on)
{
    ui->leStartSweep->setEnabled(on);
    ui->leStopSweep->setEnabled(on);
    ui->leStepSweep->setEnabled(on);
    ui->leTimeStepSweep->setEnabled(on);
    ui->cbSweepType->setEnabled(on);
    ui->pbStart->setEnabled(on);
    ui->lwActions->setEnabled(on);
}

void MainWindow::setMeasurerStatus(QString const& text)
{
    ui->lbMeasurerStatus->setText(text);
}

void MainWindow::setFailureStatus(QString const& text)
{
    setMeasurerStatus(m_link->isUnitLost() ? unitLostStatusText() : text);
}

void MainWindow::on_pbStart_clicked()
{
    qCDebug(lcSisMeasurer) << Q_FUNC_INFO;
    if (m_sweeping || m_closed || m_closeRequested)
        return;
    if (!canCall()) {
        setMeasurerStatus(QStringLiteral("Status: No bias source initialised"));
        return;
    }
    if (m_calls > 0) {
        setMeasurerStatus(QStringLiteral("Status: A module call is still running, try again"));
        return;
    }
    SweepPlan plan;
    QString error;
    if (!planSweep(ui->cbSweepType->currentIndex(), ui->leStartSweep->text(),
                   ui->leStopSweep->text(), ui->leStepSweep->text(), ui->leTimeStepSweep->text(),
                   &plan, &error)) {
        setMeasurerStatus(QStringLiteral("Status: ") + error);
        return;
    }

    CallScope call(this);
    m_sweeping = true;
    m_stopRequested = false;
    QCustomPlot* plot = ui->wMeasurerPlot;
    m_sweepGraph = plot->addGraph();
    styleGraph(m_sweepGraph, graphColor(plot->graphCount() - 1));
    m_sweepPoints = 0;
    plot->replot(QCustomPlot::rpQueuedReplot);
    enableControlsAtMeasure(false);

    runSweep(plan);

    attachSweepReceiver(false);
    m_sweepGraph = nullptr;
    m_sweeping = false;
    enableControlsAtMeasure(true);
}

bool MainWindow::writeSweepSetup(SweepPlan const& plan)
{
    const QPointer<SisBiasSourceDriverM0> driver = m_driver;
    bool ok = false;
    driver->sweepParams()->setValueSync(plan.params, &ok, 5);
    if (!driver || m_stopRequested)
        return false;
    if (!ok) {
        setFailureStatus(QStringLiteral("Status: Error at setting sweep parameters"));
        return false;
    }
    driver->mode()->setValueSync(char(plan.params.mode), &ok, 5);
    if (!driver || m_stopRequested)
        return false;
    if (!ok) {
        setFailureStatus(QStringLiteral("Status: Error at setting mode"));
        return false;
    }
    if (plan.params.mode == 1)
        driver->voltage()->setValueSync(plan.params.start, &ok, 5);
    else
        driver->current()->setValueSync(plan.params.start, &ok, 5);
    if (!driver || m_stopRequested)
        return false;
    if (!ok) {
        setFailureStatus(QStringLiteral("Status: Error at setting start point"));
        return false;
    }
    driver->shortEnable()->setValueSync(false, &ok, 5);
    if (!driver || m_stopRequested)
        return false;
    if (!ok) {
        setFailureStatus(QStringLiteral("Status: Error at switching short-circuit off"));
        return false;
    }
    return true;
}

void MainWindow::runSweep(SweepPlan const& plan)
{
    const QString stopped = QStringLiteral("Status: Sweep stopped, %1 points");
    // The points so far stay in the graph; a lost unit's sweep needs no stop or close.
    const QString lost = unitLostStatusText() + QStringLiteral("; sweep stopped, %1 points");
    setMeasurerStatus(QStringLiteral("Status: Setting up the sweep"));
    if (!writeSweepSetup(plan)) {
        if (m_stopRequested)
            setMeasurerStatus(stopped.arg(0));
        return;
    }
    // Settling: nothing runs yet, so a stop needs nothing sent.
    const WaitEnd settled = waitFor(nullptr, settleMs);
    if (settled != WaitEnd::Expired) {
        setMeasurerStatus((settled == WaitEnd::UnitLost ? lost : stopped).arg(0));
        return;
    }

    attachSweepReceiver(true);
    m_frameSeen = false;
    sendToAll(sweepAnnounceCommand);
    WaitEnd end = waitFor(&m_frameSeen, announceWaitMs);
    bool running = false;
    if (end == WaitEnd::Done) {
        m_sweepDone = false;
        const QPointer<SisBiasSourceDriverM0> driver = m_driver;
        bool ok = false;
        if (!m_loopsEnded)
            driver->sweepStart()->executeSync(&ok, 5);
        if (!driver)
            return;
        if (m_stopRequested || m_loopsEnded) {
            setMeasurerStatus(stopped.arg(m_sweepPoints));
            stopModuleSweep();
        } else if (!ok) {
            setFailureStatus(QStringLiteral("Status: Error at sweep start"));
        } else {
            running = true;
        }
    } else if (end == WaitEnd::Expired) {
        setMeasurerStatus(QStringLiteral("Status: No answer to the sweep announcement"));
        stopModuleSweep();
    } else if (end == WaitEnd::UnitLost) {
        setMeasurerStatus(lost.arg(0));
        return;
    } else {
        setMeasurerStatus(stopped.arg(0));
        stopModuleSweep();
    }

    if (running) {
        setMeasurerStatus(QStringLiteral("Status: Sweep running"));
        end = waitFor(&m_sweepDone, sweepEndWaitMs(plan));
        if (end == WaitEnd::Done) {
            setMeasurerStatus(QStringLiteral("Status: Sweep done, %1 points").arg(m_sweepPoints));
        } else if (end == WaitEnd::Expired) {
            setMeasurerStatus(
                QStringLiteral("Status: Sweep did not end in time, %1 points").arg(m_sweepPoints));
            stopModuleSweep();
        } else if (end == WaitEnd::UnitLost) {
            setMeasurerStatus(lost.arg(m_sweepPoints));
            return;
        } else {
            setMeasurerStatus(stopped.arg(m_sweepPoints));
            stopModuleSweep();
        }
    }

    // The close runs after a stop too: the module expects it after every announcement.
    m_frameSeen = false;
    const bool wasStopped = m_stopRequested;
    m_stopRequested = false;
    sendToAll(sweepCloseCommand);
    end = waitFor(&m_frameSeen, announceWaitMs);
    if (end == WaitEnd::Expired) {
        setMeasurerStatus(ui->lbMeasurerStatus->text() +
                          QStringLiteral("; no answer to the sweep close"));
        if (!wasStopped)
            stopModuleSweep();
    }
}

MainWindow::WaitEnd MainWindow::waitFor(bool const* flag, int timeoutMs)
{
    if (flag && *flag)
        return WaitEnd::Done;
    if (m_stopRequested || m_loopsEnded)
        return WaitEnd::Interrupted;
    if (m_link->isUnitLost())
        return WaitEnd::UnitLost;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the settling time is a lower bound.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(m_link, &lcIOInterface::unitLost, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    QEventLoop* const outer = m_wait;
    m_wait = &loop;
    WaitEnd end = WaitEnd::Expired;
    for (;;) {
        if (flag && *flag) {
            end = WaitEnd::Done;
            break;
        }
        if (m_stopRequested) {
            end = WaitEnd::Interrupted;
            break;
        }
        if (m_link->isUnitLost()) {
            end = WaitEnd::UnitLost;
            break;
        }
        if (!timer.isActive())
            break;
        if (loop.exec() < 0) {
            m_loopsEnded = true;
            end = WaitEnd::Interrupted;
            break;
        }
    }
    m_wait = outer;
    return end;
}

void MainWindow::attachSweepReceiver(bool on)
{
    if (on && !m_sweepReceiver) {
        m_sweepReceiver = connect(m_link, &lcIOInterface::msgReceived, this,
                                  &MainWindow::serverMessageReceive, Qt::DirectConnection);
    } else if (!on && m_sweepReceiver) {
        disconnect(m_sweepReceiver);
        m_sweepReceiver = QMetaObject::Connection();
    }
}

void MainWindow::sendToAll(quint8 command)
{
    quint8 none = 0;
    if (!m_link->sendMsg(allModules, command, 0, &none))
        qCDebug(lcSisMeasurer) << "can't send command" << command << "to address 255";
}

void MainWindow::stopModuleSweep()
{
    if (!m_driver)
        return;
    if (m_loopsEnded) {
        // No wait is possible any more; the frame still goes out.
        m_driver->sweepStop()->execute();
        return;
    }
    bool ok = false;
    m_driver->sweepStop()->executeSync(&ok, 5);
    if (!ok)
        qCDebug(lcSisMeasurer) << "can't stop the sweep";
}

void MainWindow::on_pbStop_clicked()
{
    qCDebug(lcSisMeasurer) << Q_FUNC_INFO;
    if (!m_sweeping)
        return;
    m_stopRequested = true;
    if (m_wait)
        m_wait->quit();
}

void MainWindow::serverMessageReceive(quint8 address, quint8 command, quint8 dataLength,
                                      quint8* data)
{
    Q_UNUSED(address)
    m_frameSeen = true;
    if (command == SisBiasSourceDriverM0::sweepFrameCommand) {
        if (dataLength == SisBiasSourceDriverM0::sweepPointLength) {
            const LC4BSM0_Data_t point = DriverValueCodec<LC4BSM0_Data_t>::decode(
                QByteArray::fromRawData(reinterpret_cast<const char*>(data), dataLength));
            if (m_sweepGraph) {
                m_sweepGraph->addData(double(point.voltage), double(point.current));
                ++m_sweepPoints;
                m_rescalePending = true;
                if (!m_replotTimer->isActive())
                    m_replotTimer->start();
            }
        } else if (dataLength == sweepEndLength) {
            m_sweepDone = true;
        }
    }
    if (m_wait)
        m_wait->quit();
}

void MainWindow::measurerContextMenuRequest(QPoint pos)
{
    QCustomPlot* plot = ui->wMeasurerPlot;
    if (plot->graphCount() == 0)
        return;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("measurerMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* clear = menu->addAction(QStringLiteral("Clear"), this, &MainWindow::deleteMeasureData);
    // The running sweep keeps drawing into its graph.
    clear->setEnabled(!m_sweeping);
    menu->addAction(QStringLiteral("Save data"), this, &MainWindow::saveData);
    // This window reports in its status line rather than in boxes.
    addPlotExportActions(menu, plot,
                         {saveFileDialog, [this](QWidget*, QString const&, QString const& text) {
                              setMeasurerStatus(QStringLiteral("Status: ") + text);
                          }});
    menu->popup(plot->mapToGlobal(pos));
}

void MainWindow::deleteMeasureData()
{
    if (m_sweeping)
        return;
    ui->wMeasurerPlot->clearGraphs();
    ui->wMeasurerPlot->replot(QCustomPlot::rpQueuedReplot);
}

void MainWindow::saveData()
{
    QSettings settings = measurerSettings();
    const QString last =
        settings.value(QStringLiteral("LastFileName"), QStringLiteral("/untitled.txt")).toString();
    const QString name = saveFileDialog ? saveFileDialog(this, QStringLiteral("Save data..."), last,
                                                         QStringLiteral("data (*.txt)"))
                                        : QString();
    if (name.isEmpty())
        return;
    settings.setValue(QStringLiteral("LastFileName"), name);
    QString error;
    if (!writeFileAtomically(name, ivDataText(ivCurves(ui->wMeasurerPlot)), &error))
        setMeasurerStatus(QStringLiteral("Status: Can't save %1: %2").arg(name, error));
    else
        setMeasurerStatus(QStringLiteral("Status: Saved %1").arg(name));
}
