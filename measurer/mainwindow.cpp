#include "mainwindow.h"
#include "atomicfile.h"
#include "lclogging.h"

#include "ui_mainwindow.h"

#include "commondriver.h"
#include "deviceinfotext.h"
#include "fixedsteptimeticker.h"
#include "lctcpsocketiointerface.h"
#include "measurerformat.h"
#include "qcustomlib.h"
#include "sspddriverm0.h"
#include "sspddriverm1.h"
#include "sspdsweepstep.h"
#include "sweepdatafile.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSettings>
#include <QTimer>

#include <qcustomplot.h>

#include <cmath>
#include <type_traits>

namespace {

QString const organisation = QStringLiteral("Velmora");
QString const application = QStringLiteral("Photoquell");

constexpr int controlPeriodMs = 500;
constexpr int servicePeriodMs = 500;

template <typename Driver> using DriverType = std::remove_pointer_t<Driver>;

template <typename Driver> constexpr bool isM1 = std::is_same_v<DriverType<Driver>, SspdDriverM1>;

void stylePlot(QCustomPlot* plot, QPalette const& palette)
{
    QColor const text = palette.color(QPalette::Text);
    plot->setBackground(palette.brush(QPalette::Base));
    for (QCPAxis* axis : plot->axisRect()->axes()) {
        axis->setBasePen(QPen(text));
        axis->setTickPen(QPen(text));
        axis->setSubTickPen(QPen(text));
        axis->setTickLabelColor(text);
        axis->setLabelColor(text);
    }
}

enum Switch
{
    ShortSwitch,
    AmplifierSwitch,
    HfModeSwitch
};

} // namespace

// Marks a handler that talks to the module. While one runs, other handlers queue
// behind it; alive() tells whether the window and the driver it started with are
// still there after a wait.
class MainWindow::Busy
{
public:
    explicit Busy(MainWindow* window) : m_window(window), m_driver(window->m_driver)
    {
        ++window->m_busy;
    }
    ~Busy()
    {
        if (m_window && --m_window->m_busy == 0)
            m_window->scheduleDeferred();
    }
    Busy(Busy const&) = delete;
    Busy& operator=(Busy const&) = delete;

    bool windowAlive() const { return !m_window.isNull(); }
    bool alive() const
    {
        return m_window && m_driver && !m_window->m_closing &&
               m_window->m_driver.data() == m_driver.data();
    }

private:
    QPointer<MainWindow> m_window;
    QPointer<CommonDriver> m_driver;
};

MainWindow::MainWindow(QWidget* parent, LumicratePicker::Discovery discovery)
    : QWidget(parent), ui(new Ui::MainWindow), m_link(new lcTcpSocketIOInterface(this)),
      m_timer(new QTimer(this))
{
    saveFileDialog = [](QWidget* parent, QString const& caption, QString const& fileName,
                        QString const& filter) {
        return QFileDialog::getSaveFileName(parent, caption, fileName, filter);
    };
    warningDialog = [](QWidget* parent, QString const& title, QString const& text) {
        QMessageBox::warning(parent, title, text);
    };
    keyboardModifiers = [] { return QGuiApplication::queryKeyboardModifiers(); };
    m_timer->setSingleShot(true);
    // A coarse timer may end a sweep point's two counter periods 5 % early.
    m_timer->setTimerType(Qt::PreciseTimer);

    qCDebug(lcMeasurer) << "MainWindow::MainWindow";
    ui->setupUi(this);
    ui->splitter->setStretchFactor(0, 0);
    ui->splitter->setStretchFactor(1, 1);
    ui->splitter->setSizes({ui->lwActions->maximumWidth(), width()});
    ui->lwActions->setCurrentRow(0);
    // "Secret Params" in 20 points does not fit the list's 200 pixels otherwise.
    for (int i = 0; i < ui->lwActions->count(); ++i) {
        QFont font = ui->lwActions->item(i)->font();
        font.setStretch(QFont::SemiCondensed);
        ui->lwActions->item(i)->setFont(font);
    }
    m_picker = new LumicratePicker(ui->cbTcpIpAddress, this);
    if (discovery)
        m_picker->setDiscovery(std::move(discovery));

    QSettings settings(organisation, application);
    m_tcpAddress = settings.value(QStringLiteral("TcpAddress"), QString()).toString();
    ui->sbDeviceAddress->setValue(settings.value(QStringLiteral("DeviceAddress"), 0).toInt());

    ui->wTitle->hide();
    updateLumicrateList();
    m_picker->selectAddress(m_tcpAddress);

    setupCounterPlot();
    setupMeasurerPlot();
    setAutoScaleCounterPlot(true);
}

MainWindow::~MainWindow()
{
    // Calls still waiting end now and find the window gone.
    m_closing = true;
    quitSettling();
    releaseDrivers();
    delete ui;
}

CommonDriver* MainWindow::driver() const
{
    return m_driver.data();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    m_closing = true;
    stopRefresh();
    m_sweepRunning = false;
    quitSettling();
    m_deferred.clear();
    // A call waiting on a silent module would otherwise keep the program for its
    // remaining attempts.
    releaseDrivers();
    QWidget::closeEvent(event);
}

void MainWindow::releaseDrivers()
{
    delete m_identifier.data();
    delete m_driver.data();
}

template <typename F> bool MainWindow::withSspd(F&& f)
{
    if (auto* m0 = qobject_cast<SspdDriverM0*>(m_driver.data())) {
        f(m0);
        return true;
    }
    if (auto* m1 = qobject_cast<SspdDriverM1*>(m_driver.data())) {
        f(m1);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Serialised exchanges

void MainWindow::whenIdle(std::function<void()> action)
{
    if (m_closing)
        return;
    if (m_busy == 0 && m_deferred.isEmpty()) {
        action();
        return;
    }
    m_deferred.append(std::move(action));
    if (m_busy == 0)
        scheduleDeferred();
}

void MainWindow::scheduleDeferred()
{
    if (m_drainScheduled || m_deferred.isEmpty())
        return;
    m_drainScheduled = true;
    QTimer::singleShot(0, this, &MainWindow::runDeferred);
}

void MainWindow::runDeferred()
{
    m_drainScheduled = false;
    QPointer<MainWindow> const self(this);
    while (self && m_busy == 0 && !m_closing && !m_deferred.isEmpty()) {
        std::function<void()> const action = m_deferred.takeFirst();
        action();
    }
}

void MainWindow::stopRefresh()
{
    m_timer->stop();
    disconnect(m_timer, &QTimer::timeout, nullptr, nullptr);
    ++m_refreshGeneration;
}

void MainWindow::restartRefresh(int generation, int periodMs)
{
    if (m_closing || generation != m_refreshGeneration)
        return;
    if (periodMs > 0)
        m_timer->start(periodMs);
    else
        m_timer->start();
}

// ---------------------------------------------------------------------------
// Connection page

void MainWindow::updateLumicrateList()
{
    m_picker->updateLumicrateList();
}

void MainWindow::on_cbTcpIpAddress_activated(const QString& text)
{
    m_picker->activated(text);
}

void MainWindow::setInitializeControlsEnabled(bool enabled)
{
    ui->pbInitialize->setEnabled(enabled);
    ui->lwActions->setEnabled(enabled);
    ui->cbTcpIpAddress->setEnabled(enabled);
    ui->sbDeviceAddress->setEnabled(enabled);
}

void MainWindow::on_pbInitialize_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbInitialize_clicked";
    Qt::KeyboardModifiers const modifiers =
        keyboardModifiers ? keyboardModifiers() : Qt::KeyboardModifiers();
    if (m_initializing || m_initializeQueued || m_closing)
        return;
    m_initializeQueued = true;
    setInitializeControlsEnabled(false);
    whenIdle([this, modifiers] {
        m_initializeQueued = false;
        initialize(modifiers);
    });
}

void MainWindow::initialize(Qt::KeyboardModifiers modifiers)
{
    if (m_closing)
        return;
    m_initializing = true;
    setInitializeControlsEnabled(false);
    Busy busy(this);
    auto finish = [this] {
        m_initializing = false;
        setInitializeControlsEnabled(true);
    };

    QString const address = ui->cbTcpIpAddress->currentText();
    int const deviceAddress = ui->sbDeviceAddress->value();

    QPointer<CommonDriver> const identifier(new CommonDriver(nullptr));
    m_identifier = identifier;
    auto const releaseIdentifier = qScopeGuard([identifier] { delete identifier.data(); });

    m_link->setAddress(convertToHostAddress(normaliseUnitAddress(address)));
    m_link->setPort(unitPort);
    identifier->setIOInterface(m_link);
    identifier->setDevAddress(quint8(deviceAddress));

    bool const identified = identifier->getDeviceInfo();
    if (!busy.windowAlive() || m_closing)
        return;
    if (!identified || !identifier) {
        ui->lbStatus->setText(m_link->isUnitLost()
                                  ? unitLostStatusText()
                                  : QStringLiteral("Status: Error at getDeviceInfo function"));
        finish();
        return;
    }

    if (CommonDriver* old = m_driver.data()) {
        // Nothing waits on it: Initialize runs only when no other call does.
        disconnect(m_link, nullptr, old, nullptr);
        old->deleteLater();
    }
    m_driver = nullptr;

    QString const type = identifier->deviceType()->currentValue();
    CommonDriver* fresh = nullptr;
    if (type.contains(QLatin1String("LC4SDM0"))) {
        m_moduleKind = SspdM0;
        fresh = new SspdDriverM0(this);
        ui->cbHFMode->hide();
    } else if (type.contains(QLatin1String("LC4SDM1"))) {
        m_moduleKind = SspdM1;
        fresh = new SspdDriverM1(this);
        ui->cbHFMode->show();
    } else {
        m_moduleKind = OtherModule;
        fresh = new CommonDriver(this);
    }
    fresh->setIOInterface(m_link);
    fresh->setDevAddress(identifier->devAddress());
    m_driver = fresh;

    bool ok = false;
    fresh->init()->executeSync(&ok, 1);
    if (!busy.windowAlive() || m_closing || !identifier)
        return;
    if (!ok) {
        ui->lbStatus->setText(m_link->isUnitLost()
                                  ? unitLostStatusText()
                                  : QStringLiteral("Status: Error at init function"));
        finish();
        return;
    }

    QString status = deviceInfoStatusText(*identifier);

    QListWidget* list = ui->lwActions;
    while (list->count() > 4)
        delete list->takeItem(4);
    bool const sspd = m_moduleKind == SspdM0 || m_moduleKind == SspdM1;
    for (int i = 0; i < 4; ++i)
        list->item(i)->setFlags(sspd ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags);

    if (!sspd) {
        ui->lbStatus->setText(status);
        finish();
        return;
    }

    if (modifiers == (Qt::AltModifier | Qt::MetaModifier)) {
        status += QStringLiteral("<br>Secret Mode Activated");
        auto* item = new QListWidgetItem(QStringLiteral("Secret Params"));
        item->setFont(list->item(3)->font());
        list->addItem(item);
    }
    ui->lbStatus->setText(status);

    readParams();
    if (!busy.windowAlive() || m_closing)
        return;

    m_tcpAddress = address;
    QSettings settings(organisation, application);
    settings.setValue(QStringLiteral("TcpAddress"), address);
    settings.setValue(QStringLiteral("DeviceAddress"), deviceAddress);
    finish();
}

void MainWindow::on_stackedWidget_currentChanged(int index)
{
    qCDebug(lcMeasurer) << "MainWindow::on_stackedWidget_currentChanged" << index;
    stopRefresh();
    int const generation = m_refreshGeneration;
    switch (index) {
    case 1:
        m_timer->setInterval(controlPeriodMs);
        connect(m_timer, &QTimer::timeout, this, &MainWindow::updateData);
        updateData();
        break;
    case 2:
        whenIdle([this, generation] {
            if (generation == m_refreshGeneration)
                enterCounterPage(generation);
        });
        break;
    case 3:
        ui->cbType->setCurrentIndex(0);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// SSPD control page

void MainWindow::updateData()
{
    int const generation = m_refreshGeneration;
    whenIdle([this, generation] {
        if (generation == m_refreshGeneration)
            refreshControlPage(generation);
    });
}

void MainWindow::refreshControlPage(int generation)
{
    Busy busy(this);
    withSspd([&](auto* d) {
        bool ok = false;
        auto const data = d->data()->getValueSync(&ok, 5);
        if (!busy.alive())
            return;
        if (!ok) {
            qCDebug(lcMeasurer) << "error at getting data";
            if (m_link->isUnitLost())
                ui->lbData->setText(unitLostStatusText());
            return;
        }
        using Status = decltype(data.status);
        ui->lbData->setText(controlReadingText(data));
        ui->cbShort->setChecked(data.status.bit(Status::shortEnableBit));
        ui->cbAmplifier->setChecked(data.status.bit(Status::amplifierEnableBit));
        ui->cbComparator->setChecked(data.status.bit(Status::cmpLatchEnableBit));
        if constexpr (isM1<decltype(d)>)
            ui->cbHFMode->setChecked(data.status.bit(Status::highFrequencyModeEnableBit));
    });
    if (busy.windowAlive())
        restartRefresh(generation);
}

void MainWindow::on_pbSetI_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbSetI_clicked";
    double const microAmps = ui->sbI->value();
    whenIdle([this, microAmps] { setBiasCurrent(microAmps); });
}

void MainWindow::setBiasCurrent(double microAmps)
{
    Busy busy(this);
    withSspd([&](auto* d) { d->current()->setValueSync(float(microAmps * 1e-6), nullptr, 5); });
}

void MainWindow::on_pbSetCmp_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbSetCmp_clicked";
    double const volts = ui->sbCmp->value();
    whenIdle([this, volts] { setComparatorLevel(volts); });
}

void MainWindow::setComparatorLevel(double volts)
{
    Busy busy(this);
    withSspd([&](auto* d) { d->cmpReferenceLevel()->setValueSync(float(volts), nullptr, 5); });
}

void MainWindow::on_cbShort_clicked(bool checked)
{
    qCDebug(lcMeasurer) << "MainWindow::on_cbShort_clicked" << checked;
    whenIdle([this, checked] { setSwitch(ShortSwitch, checked); });
}

void MainWindow::on_cbAmplifier_clicked(bool checked)
{
    qCDebug(lcMeasurer) << "MainWindow::on_cbAmplifier_clicked" << checked;
    whenIdle([this, checked] { setSwitch(AmplifierSwitch, checked); });
}

void MainWindow::on_cbHFMode_clicked(bool checked)
{
    qCDebug(lcMeasurer) << "MainWindow::on_cbHFMode_clicked" << checked;
    whenIdle([this, checked] { setSwitch(HfModeSwitch, checked); });
}

void MainWindow::setSwitch(int which, bool on)
{
    Busy busy(this);
    withSspd([&](auto* d) {
        bool ok = false;
        switch (which) {
        case ShortSwitch:
            d->shortEnable()->setValueSync(on, &ok, 1);
            if (!ok)
                qCDebug(lcMeasurer) << "can't set short";
            break;
        case AmplifierSwitch:
            d->amplifierEnable()->setValueSync(on, &ok, 1);
            if (!ok)
                qCDebug(lcMeasurer) << "can't set amplifier";
            break;
        case HfModeSwitch:
            if constexpr (isM1<decltype(d)>)
                d->highFrequencyModeEnable()->setValueSync(on, &ok, 1);
            if (!ok)
                qCDebug(lcMeasurer) << "can't set HF Mode";
            break;
        default:
            break;
        }
    });
}

void MainWindow::on_cbComparator_clicked(bool checked)
{
    qCDebug(lcMeasurer) << "MainWindow::on_cbComparator_clicked" << checked;
    whenIdle([this, checked] { switchComparator(checked); });
}

void MainWindow::switchComparator(bool on)
{
    Busy busy(this);
    withSspd([&](auto* d) {
        bool ok = false;
        auto status = d->status()->getValueSync(&ok, 1);
        if (!busy.alive())
            return;
        if (!ok) {
            qCDebug(lcMeasurer) << "can't get Driver Status";
            return;
        }
        constexpr quint8 mask = SspdMasks<DriverType<decltype(d)>>::comparator;
        status.byte = on ? quint8(status.byte | mask) : quint8(status.byte & ~mask);
        d->status()->setValueSync(status, &ok, 5);
        if (!ok)
            qCDebug(lcMeasurer) << "can't set device status";
    });
}

// ---------------------------------------------------------------------------
// Counter page

void MainWindow::setupCounterPlot()
{
    QCustomPlot* plot = ui->wCounterPlot;
    QPalette const pal = palette();
    plot->addGraph()->setPen(QPen(pal.color(QPalette::Highlight), 3));
    auto ticker = QSharedPointer<FixedStepTimeTicker>::create(10.0);
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    plot->xAxis->setTicker(ticker);
    plot->axisRect()->setupFullAxesBox(true);
    stylePlot(plot, pal);
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, this,
            &MainWindow::counterContextMenuRequest);
}

void MainWindow::enterCounterPage(int generation)
{
    m_countingLost = false;
    Busy busy(this);
    withSspd([&](auto* d) {
        bool ok = false;
        auto const params = d->params()->getValueSync(&ok, 2);
        if (!busy.alive())
            return;
        if (ok)
            m_timeConstMs = timeConstantMs(double(params.timeConst));
        auto status = d->status()->getValueSync(&ok, 2);
        if (!busy.alive())
            return;
        // Writing back a status that was not read would switch off whatever the
        // cached byte does not have.
        if (ok) {
            status.byte |= SspdMasks<DriverType<decltype(d)>>::counting;
            d->status()->setValueSync(status, &ok, 1);
        }
    });
    if (!busy.windowAlive() || m_closing || generation != m_refreshGeneration)
        return;
    m_timer->setInterval(counterPeriodMs(m_timeConstMs));
    connect(m_timer, &QTimer::timeout, this, &MainWindow::updateCountsGraph);
    counterTick(generation);
}

void MainWindow::updateCountsGraph()
{
    int const generation = m_refreshGeneration;
    whenIdle([this, generation] {
        if (generation != m_refreshGeneration)
            return;
        if (m_countingLost)
            enterCounterPage(generation);
        else
            counterTick(generation);
    });
}

void MainWindow::counterTick(int generation)
{
    qCDebug(lcMeasurer) << "MainWindow::updateCountsGraph";
    Busy busy(this);
    withSspd([&](auto* d) {
        bool ok = false;
        float const counts = d->counts()->getValueSync(&ok, 5);
        if (!busy.alive())
            return;
        if (!ok) {
            qCDebug(lcMeasurer) << "can't read counts data";
            if (m_link->isUnitLost()) {
                m_countingLost = true;
                ui->lbCounts->setText(unitLostStatusText());
            }
            return;
        }
        if (!(m_timeConstMs > 0)) {
            // Without a known counter period there is no rate to show.
            qCDebug(lcMeasurer) << "no counter time constant: rate unknown";
            ui->lbCounts->setText(QStringLiteral("Counts per second: n/a"));
            return;
        }
        double const rate = double(counts) * (1000.0 / m_timeConstMs);
        double const t = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        QCustomPlot* plot = ui->wCounterPlot;
        QCPGraph* graph = plot->graph(0);
        graph->addData(t, rate);
        plot->rescaleAxes(true);
        plot->xAxis->setRange(t - 28, t + 2);
        controlAutoScaleCounter();
        graph->data()->removeBefore(t - 29);
        plot->replot(QCustomPlot::rpQueuedReplot);
        ui->lbCounts->setText(QStringLiteral("Counts per second: %1").arg(rate, 0, 'g', 6));
    });
    if (busy.windowAlive())
        restartRefresh(generation, counterPeriodMs(m_timeConstMs));
}

void MainWindow::controlAutoScaleCounter()
{
    QCPAxis* y = ui->wCounterPlot->yAxis;
    if (m_autoScale) {
        ui->SB_YMin->setValue(y->range().lower);
        ui->SB_YMax->setValue(y->range().upper);
        return;
    }
    if (ui->SB_YMax->value() <= ui->SB_YMin->value())
        ui->SB_YMin->setValue(ui->SB_YMax->value() - 1);
    if (ui->SB_YMin->value() >= ui->SB_YMax->value())
        ui->SB_YMax->setValue(ui->SB_YMin->value() + 1);
    y->setRange(ui->SB_YMin->value(), ui->SB_YMax->value());
}

void MainWindow::setAutoScaleCounterPlot(bool isAuto)
{
    qCDebug(lcMeasurer) << "MainWindow::setAutoScaleCounterPlot";
    m_autoScale = isAuto;
    setRangesVisible(!isAuto);
    ui->SB_YMin->setEnabled(!isAuto);
    ui->SB_YMax->setEnabled(!isAuto);
}

void MainWindow::setRangesVisible(bool isVisible)
{
    m_rangesVisible = isVisible;
    ui->L_YMin->setVisible(isVisible);
    ui->SB_YMin->setVisible(isVisible);
    ui->L_YMax->setVisible(isVisible);
    ui->SB_YMax->setVisible(isVisible);
}

void MainWindow::counterContextMenuRequest(QPoint pos)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* autoScale = menu->addAction(QStringLiteral("Auto scale"));
    autoScale->setCheckable(true);
    autoScale->setChecked(m_autoScale);
    connect(autoScale, &QAction::toggled, this, &MainWindow::setAutoScaleCounterPlot);
    QAction* ranges = menu->addAction(QStringLiteral("Show Y range"));
    ranges->setCheckable(true);
    ranges->setChecked(m_rangesVisible);
    connect(ranges, &QAction::toggled, this, &MainWindow::setRangesVisible);
    connect(menu->addAction(QStringLiteral("Clear")), &QAction::triggered, this, [this] {
        ui->wCounterPlot->graph(0)->data()->clear();
        ui->wCounterPlot->replot();
    });
    connect(menu->addAction(QStringLiteral("Save data")), &QAction::triggered, this,
            &MainWindow::saveCounterData);
    addPlotExportActions(menu, ui->wCounterPlot, plotExportDialogs());
    menu->popup(ui->wCounterPlot->mapToGlobal(pos));
}

void MainWindow::on_pbReadParams_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbReadParams_clicked";
    whenIdle([this] { readParams(); });
}

void MainWindow::readParams()
{
    Busy busy(this);
    withSspd([&](auto* d) {
        bool ok = false;
        auto const params = d->params()->getValueSync(&ok, 5);
        if (!busy.alive())
            return;
        if (ok)
            ui->sbTimeConst->setValue(double(params.timeConst));
        else
            qCDebug(lcMeasurer) << "can't read params";
    });
}

void MainWindow::on_pbSetParams_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbSetParams_clicked";
    double const seconds = ui->sbTimeConst->value();
    whenIdle([this, seconds] { setParams(seconds); });
}

void MainWindow::setParams(double seconds)
{
    // The counter tick restarts the timer with the period that follows from this.
    m_timeConstMs = timeConstantMs(seconds);
    Busy busy(this);
    withSspd(
        [&](auto* d) { d->timeConst()->setValueSync(float(m_timeConstMs / 1000.0), nullptr, 5); });
}

// ---------------------------------------------------------------------------
// Sweep measurement

void MainWindow::setupMeasurerPlot()
{
    QCustomPlot* plot = ui->wMeasurerPlot;
    plot->yAxis->setScaleType(QCPAxis::stLogarithmic);
    plot->yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    plot->yAxis->setNumberFormat(QStringLiteral("eb"));
    plot->yAxis->setNumberPrecision(0);
    stylePlot(plot, palette());
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, this,
            &MainWindow::measurerContextMenuRequest);
}

void MainWindow::on_cbType_currentIndexChanged(int index)
{
    QString const unit = index == 1 ? QStringLiteral("V") : QStringLiteral("uA");
    ui->lbStart->setText(QStringLiteral("Start, ") + unit);
    ui->lbStop->setText(QStringLiteral("Stop, ") + unit);
    ui->lbStep->setText(QStringLiteral("Step, ") + unit);
    ui->lbTrigger->setText(QStringLiteral("Trigger, V"));
}

void MainWindow::enableControlsAtMeasure(bool enable)
{
    ui->sbStart->setEnabled(enable);
    ui->sbStep->setEnabled(enable);
    ui->sbStop->setEnabled(enable);
    ui->sbTrigger->setEnabled(enable);
    ui->cbType->setEnabled(enable);
    ui->pbStart->setEnabled(enable);
    ui->lwActions->setEnabled(enable);
}

void MainWindow::on_pbStart_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbStart_clicked";
    whenIdle([this] { startSweep(); });
}

void MainWindow::startSweep()
{
    if (m_sweepRunning || m_closing || !qobject_cast<CommonDriver*>(m_driver.data()))
        return;
    QCustomPlot* plot = ui->wMeasurerPlot;
    QPalette const pal = palette();
    QCPGraph* graph = plot->addGraph();
    graph->setLineStyle(QCPGraph::lsNone);
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDiamond,
                                           QPen(pal.color(QPalette::Highlight), 3),
                                           pal.brush(QPalette::Base), 9));
    m_sweepGraph = graph;

    enableControlsAtMeasure(false);
    stopRefresh();
    m_sweepRunning = true;
    m_sweepType = ui->cbType->currentIndex();
    m_sweepStart = ui->sbStart->value();
    m_sweepStep = ui->sbStep->value();
    m_sweepStop = ui->sbStop->value();
    m_sweepIndex = 0;
    m_sweepValue = m_sweepStart;

    Busy busy(this);
    auto const running = [&] { return busy.alive() && m_sweepRunning; };
    bool armed = false;
    bool const sspd = withSspd([&](auto* d) {
        bool ok = false;
        d->shortEnable()->setValueSync(true, &ok, 5);
        if (!running())
            return;
        sendSweepValue(d, m_sweepType, m_sweepValue, &ok);
        if (!running())
            return;

        QEventLoop settling;
        m_settling = &settling;
        QTimer::singleShot(settlingMs, Qt::PreciseTimer, &settling, &QEventLoop::quit);
        settling.exec();
        if (!busy.windowAlive())
            return;
        m_settling = nullptr;
        if (!running())
            return;

        d->shortEnable()->setValueSync(false, &ok, 5);
        if (!running())
            return;
        d->params()->getValueSync(&ok, 1);
        if (!running())
            return;
        double const timeConst = double(d->params()->currentValue().timeConst);
        int const period = sweepPeriodMs(timeConst);
        if (period == 0) {
            stopSweepWithStatus(
                QStringLiteral("Status: Sweep refused: counter time constant %1 s is not usable")
                    .arg(timeConst));
            return;
        }
        m_sweepTimeConst = timeConst;

        auto status = d->status()->getValueSync(&ok, 1);
        if (!running())
            return;
        if (ok) {
            status.byte |= SspdMasks<DriverType<decltype(d)>>::sweep;
            d->status()->setValueSync(status, &ok, 1);
            if (!running())
                return;
        }
        disconnect(m_timer, &QTimer::timeout, nullptr, nullptr);
        connect(m_timer, &QTimer::timeout, this, &MainWindow::addPoint2MeasureGraphs);
        m_timer->setInterval(period);
        armed = true;
    });
    if (!busy.windowAlive())
        return;
    if (!sspd && m_sweepRunning)
        finishSweep();
    if (armed)
        setCurrentValue();
}

double MainWindow::sweepSetPoint(int index) const
{
    return ::sweepSetPoint(m_sweepStart, m_sweepStep, index);
}

void MainWindow::setCurrentValue()
{
    if (!m_sweepRunning)
        return;
    m_sweepValue = sweepSetPoint(m_sweepIndex);
    if (sweepPastStop(m_sweepValue, m_sweepStop, m_sweepStep)) {
        finishSweep();
        return;
    }
    Busy busy(this);
    bool ok = false;
    withSspd([&](auto* d) { sendSweepValue(d, m_sweepType, m_sweepValue, &ok); });
    if (!busy.alive() || !m_sweepRunning)
        return;
    if (!ok) {
        stopSweepOnFailure(
            QStringLiteral("Status: Error at setting the sweep value; sweep stopped"));
        return;
    }
    m_timer->start();
}

void MainWindow::addPoint2MeasureGraphs()
{
    whenIdle([this] { sweepTick(); });
}

void MainWindow::sweepTick()
{
    if (!m_sweepRunning)
        return;
    double x = m_sweepValue;
    double current = 0;
    double voltage = 0;
    double counts = 0;
    bool ok = false;
    Busy busy(this);
    withSspd([&](auto* d) {
        auto const data = d->data()->getValueSync(&ok, 5);
        current = double(data.current);
        voltage = double(data.voltage);
        counts = double(data.counts);
    });
    if (!busy.alive() || !m_sweepRunning)
        return;
    if (!ok) {
        // The driver would hand back the previous record: no point from it.
        stopSweepOnFailure(QStringLiteral("Status: Error at reading data; sweep stopped"));
        return;
    }
    if (ui->sbTrigger->value() < voltage) {
        qCDebug(lcMeasurer) << "trigger reached at" << voltage << "V";
        finishSweep();
        return;
    }
    if (m_sweepType == 0)
        x = current * 1e6;
    double const y = counts / m_sweepTimeConst;
    if (!m_sweepGraph) {
        stopSweepWithStatus(QStringLiteral("Status: Sweep stopped: its data were cleared"));
        return;
    }
    m_sweepGraph->addData(x, y);
    QCustomPlot* plot = ui->wMeasurerPlot;
    plot->rescaleAxes(true);
    // A little room around the data, so that the outermost diamonds are whole.
    plot->xAxis->scaleRange(1.06);
    plot->yAxis->scaleRange(1.15);
    plot->replot(QCustomPlot::rpQueuedReplot);
    QString const text =
        QStringLiteral("Status: X = %1; Y = %2").arg(x, 0, 'g', 6).arg(y, 0, 'g', 6);
    ui->lbMeasurerStatus->setText(text);
    qCDebug(lcMeasurer) << text;
    ++m_sweepIndex;
    setCurrentValue();
}

void MainWindow::finishSweep()
{
    m_timer->stop();
    m_sweepRunning = false;
    enableControlsAtMeasure(true);
}

void MainWindow::stopSweepWithStatus(QString const& text)
{
    finishSweep();
    ui->lbMeasurerStatus->setText(text);
}

void MainWindow::stopSweepOnFailure(QString const& text)
{
    // The points measured so far stay in the graph, ready to be saved.
    stopSweepWithStatus(
        m_link->isUnitLost() ? unitLostStatusText() + QStringLiteral("; sweep stopped") : text);
}

void MainWindow::quitSettling()
{
    if (m_settling)
        m_settling->quit();
}

void MainWindow::on_pbStop_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbStop_clicked";
    m_timer->stop();
    m_sweepRunning = false;
    quitSettling();
    enableControlsAtMeasure(true);
}

void MainWindow::measurerContextMenuRequest(QPoint pos)
{
    if (ui->wMeasurerPlot->graphCount() == 0)
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* clear = menu->addAction(QStringLiteral("Clear"));
    // The running sweep appends to the newest graph.
    clear->setEnabled(!m_sweepRunning);
    connect(clear, &QAction::triggered, this, &MainWindow::deleteMeasureData);
    connect(menu->addAction(QStringLiteral("Save data")), &QAction::triggered, this,
            &MainWindow::saveData);
    addPlotExportActions(menu, ui->wMeasurerPlot, plotExportDialogs());
    menu->popup(ui->wMeasurerPlot->mapToGlobal(pos));
}

void MainWindow::deleteMeasureData()
{
    qCDebug(lcMeasurer) << "MainWindow::deleteMeasureData";
    ui->wMeasurerPlot->clearGraphs();
    ui->wMeasurerPlot->replot();
    if (m_sweepRunning)
        stopSweepWithStatus(QStringLiteral("Status: Sweep stopped: its data were cleared"));
}

void MainWindow::saveData()
{
    qCDebug(lcMeasurer) << "MainWindow::saveData";
    saveDataFile(QStringLiteral("LastFileName"), QStringLiteral("/untitled.txt"), [this] {
        QList<QVector<QPointF>> graphs;
        QCustomPlot* plot = ui->wMeasurerPlot;
        for (int i = 0; i < plot->graphCount(); ++i) {
            QVector<QPointF> points;
            QSharedPointer<QCPGraphDataContainer> const data = plot->graph(i)->data();
            for (auto it = data->constBegin(); it != data->constEnd(); ++it)
                points.append(QPointF(it->key, it->value));
            graphs.append(points);
        }
        return sweepDataFileBytes(graphs);
    });
}

void MainWindow::saveCounterData()
{
    saveDataFile(QStringLiteral("LastCounterFileName"), QStringLiteral("/counts.txt"), [this] {
        QCustomPlot* plot = ui->wCounterPlot;
        QCPRange const range = plot->xAxis->range();
        QVector<QPointF> points;
        QSharedPointer<QCPGraphDataContainer> const data = plot->graph(0)->data();
        for (auto it = data->findBegin(range.lower, false); it != data->findEnd(range.upper, false);
             ++it)
            points.append(QPointF(it->key, it->value));
        return counterDataFileBytes(points);
    });
}

void MainWindow::saveDataFile(QString const& settingsKey, QString const& defaultName,
                              std::function<QByteArray()> const& bytes)
{
    QPointer<MainWindow> const self(this);
    QString const last =
        QSettings(organisation, application).value(settingsKey, defaultName).toString();
    QString const fileName = saveFileDialog ? saveFileDialog(this, QStringLiteral("Save data..."),
                                                             last, QStringLiteral("data (*.txt)"))
                                            : QString();
    if (!self || fileName.isEmpty())
        return;
    QSettings(organisation, application).setValue(settingsKey, fileName);
    QString error;
    // The data as they are once the name is chosen: a sweep may have gone on meanwhile.
    if (!writeFileAtomically(fileName, bytes(), &error) && warningDialog)
        warningDialog(this, QStringLiteral("Warning"),
                      QStringLiteral("Can't save data to %1: %2").arg(fileName, error));
}

// ---------------------------------------------------------------------------
// Service page

void MainWindow::on_pbGetSecretParams_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbGetSecretParams_clicked";
    whenIdle([this] { readPid(); });
}

void MainWindow::readPid()
{
    Busy busy(this);
    withSspd([&](auto* d) {
        bool ok = false;
        bool const on = d->PIDEnableStatus()->getValueSync(&ok, 5);
        if (!busy.alive())
            return;
        if (ok) {
            ui->cbPID->setChecked(on);
            ui->lbSecretStatus->setText(QStringLiteral("Success"));
        } else {
            ui->lbSecretStatus->setText(
                QStringLiteral("Error at PIDEnableStatus()->getValueSequence"));
        }
    });
}

void MainWindow::on_pbSetSecretParams_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbSetSecretParams_clicked";
    bool const on = ui->cbPID->isChecked();
    whenIdle([this, on] { writePid(on); });
}

void MainWindow::writePid(bool on)
{
    Busy busy(this);
    withSspd([&](auto* d) {
        bool ok = false;
        d->PIDEnableStatus()->setValueSync(on, &ok, 5);
        if (!busy.alive())
            return;
        ui->lbSecretStatus->setText(
            ok ? QStringLiteral("Success")
               : QStringLiteral("Error at PIDEnableStatus()->setValueSequence"));
    });
}

void MainWindow::on_pbReading_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbReading_clicked";
    stopRefresh();
    if (!ui->pbReading->isChecked())
        return;
    m_timer->setInterval(servicePeriodMs);
    connect(m_timer, &QTimer::timeout, this, &MainWindow::updateSecureData);
    updateSecureData();
}

void MainWindow::updateSecureData()
{
    int const generation = m_refreshGeneration;
    whenIdle([this, generation] {
        if (generation == m_refreshGeneration)
            serviceTick(generation);
    });
}

void MainWindow::serviceTick(int generation)
{
    static int ticks = 0;
    qCDebug(lcMeasurer) << ticks++;
    Busy busy(this);
    QByteArray line;
    withSspd([&](auto* d) {
        bool ok = false;
        auto const data = d->data()->getValueSync(&ok, 5);
        if (!busy.alive())
            return;
        if (!ok) {
            if (m_link->isUnitLost())
                ui->lbSecretStatus->setText(unitLostStatusText());
            return;
        }
        ui->lbSecretStatus->setText(serviceReadingText(data));
        if (ui->pbRecording->isChecked())
            line = recordLine(data);
    });
    if (!busy.windowAlive())
        return;
    if (!line.isEmpty())
        record(line);
    if (busy.windowAlive())
        restartRefresh(generation);
}

void MainWindow::record(QByteArray const& line)
{
    QString error;
    if (appendToFile(m_recordFileName, line, &error))
        return;
    // Stop trying at every tick: the operator chooses a file again.
    ui->pbRecording->setChecked(false);
    if (warningDialog)
        warningDialog(this, QStringLiteral("Warning"),
                      QStringLiteral("Can't write the record file %1: %2. Recording stopped.")
                          .arg(m_recordFileName, error));
}

void MainWindow::on_pbRecording_clicked()
{
    qCDebug(lcMeasurer) << "MainWindow::on_pbRecording_clicked";
    if (!ui->pbRecording->isChecked())
        return;
    QPointer<MainWindow> const self(this);
    QString const fileName = saveFileDialog ? saveFileDialog(this, QStringLiteral("Save File..."),
                                                             QStringLiteral("output.txt"),
                                                             QStringLiteral("Text files (*.txt)"))
                                            : QString();
    if (!self)
        return;
    if (fileName.isEmpty())
        ui->pbRecording->setChecked(false);
    else
        m_recordFileName = fileName;
}
