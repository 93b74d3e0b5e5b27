#include "fakeunit.h"
#include "ivdatafile.h"
#include "lctcpsocketiointerface.h"
#include "mainwindow.h"
#include "simoptions.h"
#include "simserver.h"
#include "simunit.h"
#include "sisbiassourcedriverm0.h"
#include "sweepplan.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <qcustomplot.h>

#include <cstring>
#include <memory>

namespace {

constexpr quint8 biasAddress = 3;
const QByteArray biasType = "LC4BSM0 SIS bias source";

QByteArray text(QByteArray const& value)
{
    return value + QByteArray(1, '\0');
}

QByteArray floatBytes(float value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

QByteArray record(float current, float voltage, quint8 shortOn = 0, char mode = 1)
{
    LC4BSM0_Data_t data{};
    data.current = current;
    data.voltage = voltage;
    data.shortEnable = shortOn;
    data.mode = mode;
    return QByteArray(reinterpret_cast<const char*>(&data), sizeof data);
}

QByteArray point(float voltage, float current)
{
    return FakeUnit::frame(biasAddress, SisBiasSourceDriverM0::sweepFrameCommand,
                           record(current, voltage));
}

QByteArray endFrame()
{
    return FakeUnit::frame(biasAddress, SisBiasSourceDriverM0::sweepFrameCommand,
                           QByteArray(4, '\0'));
}

void answerIdentity(FakeUnit& unit, quint8 address, QByteArray const& type, int typeDelayMs = 0)
{
    unit.answer(address, 6, FakeUnit::frame(address, 6, text(type)), typeDelayMs);
    unit.answer(address, 7, FakeUnit::frame(address, 7, text("M0")));
    unit.answer(address, 8, FakeUnit::frame(address, 8, text("HW2")));
    unit.answer(address, 9, FakeUnit::frame(address, 9, text("FW3")));
    unit.answer(address, 10, FakeUnit::frame(address, 10, text("Lab <4>")));
    unit.answer(address, 5,
                FakeUnit::frame(address, 5, QByteArray::fromHex("0123456789abcdef00112233")));
}

void acknowledge(FakeUnit& unit, quint8 address, QList<quint8> const& commands)
{
    for (quint8 command : commands)
        unit.answer(address, command, FakeUnit::frame(address, command));
}

// "addr/cmd" of every frame, for order checks.
QStringList commands(QList<FakeFrame> const& frames)
{
    QStringList out;
    for (FakeFrame const& f : frames)
        out << QStringLiteral("%1/%2").arg(f.address).arg(f.command);
    return out;
}

std::unique_ptr<SimUnit> startSimulator()
{
    SimOptions options;
    QString error;
    auto unit = std::make_unique<SimUnit>();
    if (!options.parse({"lc-simulator", "--listen", "127.0.0.1", "--port", "0", "--no-discovery"},
                       &error) ||
        !unit->start(options, &error)) {
        qWarning() << error;
        return nullptr;
    }
    return unit;
}

bool isExactlyCommonDriver(QObject* object)
{
    return std::strcmp(object->metaObject()->className(), "CommonDriver") == 0;
}

} // namespace

class TestSisMeasurer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void initializeBiasSourceThenOtherModule();
    void initializeFailuresReleaseTheProbe_data();
    void initializeFailuresReleaseTheProbe();
    void initializeCannotRestartWhileCallsWait();
    void readingAndModeControls_data();
    void readingAndModeControls();
    void pollRunsOnlyOnBiasSourcePage();
    void biasControlsSendTheirFrames();
    void sweepInputs();
    void currentSweepSendsParametersAndPlots();
    void graphColoursRepeatAfterTen();
    void failedSetupLeavesEmptyGraphInFile();
    void failedStartStillClosesThePhase();
    void refusedSweepsSendNothing_data();
    void refusedSweepsSendNothing();
    void expiredWaitsStopAndClose_data();
    void expiredWaitsStopAndClose();
    void stopEndsARunningSweep();
    void closingDuringSweepStopsTheModule();
    void clearIsNotOfferedDuringSweep();
    void savingKeepsOldFileOnFailure();
    void dataTextFormat();
    void sweepPlanCountsPoints_data();
    void sweepPlanCountsPoints();
    void simulatedJunctionShowsTheGap_data();
    void simulatedJunctionShowsTheGap();

private:
    MainWindow* makeWindow(QStringList const& found = {QStringLiteral("127.0.0.1")});
    void initialize(QByteArray const& type = biasType, quint8 address = biasAddress);
    void acknowledgeSweep();
    // An initialised window whose unit streams 40 points 100 ms apart once started.
    void prepareSlowSweep();
    void streamOnStart(QList<QByteArray> const& frames, int gapMs);
    void setSweep(int type, QString const& start, QString const& stop, QString const& step,
                  QString const& timeStep);
    template <typename T> T* widget(char const* name)
    {
        T* found = m_window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }
    QCustomPlot* plot() { return widget<QCustomPlot>("wMeasurerPlot"); }
    QString measurerStatus() { return widget<QLabel>("lbMeasurerStatus")->text(); }

    std::unique_ptr<QTemporaryDir> m_settingsDir;
    std::unique_ptr<FakeUnit> m_unit;
    std::unique_ptr<MainWindow> m_window;
};

void TestSisMeasurer::init()
{
    m_settingsDir = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir->path());
    m_unit = std::make_unique<FakeUnit>();
}

void TestSisMeasurer::cleanup()
{
    m_window.reset();
    m_unit.reset();
    // Deferred deletions of the window's menus and sockets.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

MainWindow* TestSisMeasurer::makeWindow(QStringList const& found)
{
    m_window = std::make_unique<MainWindow>(nullptr, [found] { return found; });
    m_window->setUnitPort(m_unit->port());
    return m_window.get();
}

void TestSisMeasurer::initialize(QByteArray const& type, quint8 address)
{
    answerIdentity(*m_unit, address, type);
    acknowledge(*m_unit, address, {0});
    if (!m_window)
        makeWindow();
    widget<QSpinBox>("sbDeviceAddress")->setValue(address);
    widget<QPushButton>("pbInitialize")->click();
}

void TestSisMeasurer::acknowledgeSweep()
{
    acknowledge(*m_unit, biasAddress, {48, 24, 20, 18, 22, 49, 50});
    acknowledge(*m_unit, 255, {4, 5});
}

void TestSisMeasurer::streamOnStart(QList<QByteArray> const& frames, int gapMs)
{
    FakeUnit* unit = m_unit.get();
    connect(unit, &FakeUnit::frameReceived, unit, [unit, frames, gapMs](FakeFrame const& f) {
        if (f.address == biasAddress && f.command == 49)
            unit->sendPieces(frames, gapMs);
    });
}

void TestSisMeasurer::setSweep(int type, QString const& start, QString const& stop,
                               QString const& step, QString const& timeStep)
{
    widget<QComboBox>("cbSweepType")->setCurrentIndex(type);
    widget<QLineEdit>("leStartSweep")->setText(start);
    widget<QLineEdit>("leStopSweep")->setText(stop);
    widget<QLineEdit>("leStepSweep")->setText(step);
    widget<QLineEdit>("leTimeStepSweep")->setText(timeStep);
}

void TestSisMeasurer::initializeBiasSourceThenOtherModule()
{
    makeWindow({QStringLiteral("127.000.000.001")});
    m_window->show();
    auto* list = widget<QListWidget>("lwActions");
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(list->item(1)->flags(), Qt::ItemFlags(Qt::ItemIsSelectable));
    QCOMPARE(list->item(2)->flags(), Qt::ItemFlags(Qt::ItemIsSelectable));
    QCOMPARE(widget<QComboBox>("cbTcpIpAddress")->currentText(), QString("127.000.000.001"));

    initialize();
    QCOMPARE(m_window->link()->address(), QHostAddress(QStringLiteral("127.0.0.1")));
    QCOMPARE(widget<QLabel>("lbStatus")->text(),
             QString("Status: Device LC4BSM0 SIS bias source inited<br>Modification: M0<br>"
                     "Hardware: HW2<br>Firmware: FW3<br>Description: Lab &lt;4&gt;<br>"
                     "DeviceId: 0123-4567-89AB-CDEF-0011-2233"));
    const Qt::ItemFlags usable = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    for (int row = 0; row < 3; ++row)
        QCOMPARE(list->item(row)->flags(), usable);
    {
        QSettings settings("Velmora", "Photoquell");
        QCOMPARE(settings.value("TcpAddress").toString(), QString("127.000.000.001"));
        QCOMPARE(settings.value("DeviceAddress").toInt(), 3);
    }
    QCOMPARE(commands(m_unit->frames()),
             QStringList({"3/6", "3/7", "3/8", "3/9", "3/10", "3/5", "3/0"}));
    QPointer<SisBiasSourceDriverM0> first = m_window->driver();
    QVERIFY(first);

    // A temperature driver at address 5: identity shown, every page entry disabled.
    initialize("LC4TDM0 temperature", 5);
    QVERIFY(widget<QLabel>("lbStatus")->text().startsWith("Status: Device LC4TDM0 temperature"));
    for (int row = 0; row < 3; ++row)
        QCOMPARE(list->item(row)->flags(), Qt::ItemFlags(Qt::NoItemFlags));
    QCOMPARE(widget<QStackedWidget>("stackedWidget")->currentIndex(), 0);
    QCOMPARE(QSettings("Velmora", "Photoquell").value("DeviceAddress").toInt(), 3);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!first);
    const auto drivers = m_window->findChildren<CommonDriver*>();
    QCOMPARE(drivers.size(), 1);
    QCOMPARE(drivers.first(), static_cast<CommonDriver*>(m_window->driver()));
    QCOMPARE(m_window->driver()->devAddress(), quint8(5));
}

void TestSisMeasurer::initializeFailuresReleaseTheProbe_data()
{
    QTest::addColumn<bool>("identityAnswered");
    QTest::addColumn<QString>("status");
    QTest::newRow("silent module") << false << "Status: Error at getDeviceInfo function";
    QTest::newRow("init unanswered") << true << "Status: Error at init function";
}

void TestSisMeasurer::initializeFailuresReleaseTheProbe()
{
    QFETCH(bool, identityAnswered);
    QFETCH(QString, status);
    if (identityAnswered)
        answerIdentity(*m_unit, biasAddress, biasType);
    makeWindow();
    widget<QSpinBox>("sbDeviceAddress")->setValue(biasAddress);
    widget<QPushButton>("pbInitialize")->click();

    QCOMPARE(widget<QLabel>("lbStatus")->text(), status);
    auto* list = widget<QListWidget>("lwActions");
    QCOMPARE(list->item(1)->flags(), Qt::ItemFlags(Qt::ItemIsSelectable));
    QVERIFY(list->isEnabled());
    QVERIFY(widget<QPushButton>("pbInitialize")->isEnabled());
    for (QObject* child : m_window->findChildren<CommonDriver*>())
        QVERIFY2(!isExactlyCommonDriver(child), "the identification driver was left behind");
    QVERIFY(!QSettings("Velmora", "Photoquell").contains("TcpAddress"));
}

void TestSisMeasurer::initializeCannotRestartWhileCallsWait()
{
    // The type string comes late, so the first Initialize is still waiting below.
    answerIdentity(*m_unit, biasAddress, biasType, 300);
    acknowledge(*m_unit, biasAddress, {0});
    makeWindow();
    widget<QSpinBox>("sbDeviceAddress")->setValue(biasAddress);
    auto* button = widget<QPushButton>("pbInitialize");
    auto* list = widget<QListWidget>("lwActions");

    bool checked = false;
    QTimer::singleShot(100, this, [&] {
        QVERIFY(!button->isEnabled());
        QVERIFY(!list->isEnabled());
        QMetaObject::invokeMethod(m_window.get(), "on_pbInitialize_clicked");
        checked = true;
    });
    button->click();
    QVERIFY(checked);
    int typeRequests = 0;
    for (FakeFrame const& f : m_unit->frames())
        typeRequests += f.command == 6;
    QCOMPARE(typeRequests, 1);
    QVERIFY(button->isEnabled());
    QVERIFY(list->isEnabled());

    // A reading still waiting blocks Initialize too, even from another page.
    m_unit->clearRules();
    m_unit->answer(biasAddress, 16, FakeUnit::frame(biasAddress, 16, record(0, 0, 0, 2)), 300);
    bool refused = false;
    QTimer::singleShot(100, this, [&] {
        list->setCurrentRow(0);
        refused = !button->isEnabled();
        QMetaObject::invokeMethod(m_window.get(), "on_pbInitialize_clicked");
    });
    list->setCurrentRow(1);
    QVERIFY(refused);
    QVERIFY(button->isEnabled());
    typeRequests = 0;
    for (FakeFrame const& f : m_unit->frames())
        typeRequests += f.command == 6;
    QCOMPARE(typeRequests, 1);
}

void TestSisMeasurer::readingAndModeControls_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("uChecked");
    QTest::addColumn<bool>("iChecked");
    QTest::addColumn<QString>("modeWrite");
    // Neither button was checked, so rbUmode does not toggle and nothing is written.
    QTest::newRow("current mode") << 0 << false << true << "";
    QTest::newRow("voltage mode") << 1 << true << false << "03 18 [01]";
    QTest::newRow("unknown mode") << 2 << false << false << "";
}

void TestSisMeasurer::readingAndModeControls()
{
    QFETCH(int, mode);
    QFETCH(bool, uChecked);
    QFETCH(bool, iChecked);
    QFETCH(QString, modeWrite);
    initialize();
    m_unit->answer(biasAddress, 16,
                   FakeUnit::frame(biasAddress, 16, record(-1.5e-6f, 2.5e-3f, 1, char(mode))));
    acknowledge(*m_unit, biasAddress, {24});
    const int mark = m_unit->frameCount();

    widget<QListWidget>("lwActions")->setCurrentRow(1);
    QTRY_VERIFY(!widget<QLabel>("lbData")->text().isEmpty());
    widget<QListWidget>("lwActions")->setCurrentRow(0);

    QCOMPARE(widget<QLabel>("lbData")->text(), QString("U:   2.50 mV<br>I:   -1.5 uA<br>"));
    QVERIFY(widget<QCheckBox>("cbShort")->isChecked());
    QCOMPARE(widget<QRadioButton>("rbUmode")->isChecked(), uChecked);
    QCOMPARE(widget<QRadioButton>("rbImode")->isChecked(), iChecked);
    QCOMPARE(widget<QDoubleSpinBox>("sbI")->isEnabled(), mode == 0);
    QCOMPARE(widget<QPushButton>("pbSetI")->isEnabled(), mode == 0);
    QCOMPARE(widget<QDoubleSpinBox>("sbU")->isEnabled(), mode == 1);
    QCOMPARE(widget<QPushButton>("pbSetU")->isEnabled(), mode == 1);

    QStringList writes;
    for (FakeFrame const& f : m_unit->frames().mid(mark))
        if (f.command == 24)
            writes << describe(f);
    QCOMPARE(writes, modeWrite.isEmpty() ? QStringList() : QStringList{modeWrite});
}

void TestSisMeasurer::pollRunsOnlyOnBiasSourcePage()
{
    initialize();
    m_unit->answer(biasAddress, 16, FakeUnit::frame(biasAddress, 16, record(0, 0, 0, 2)));
    auto reads = [this] {
        int n = 0;
        for (FakeFrame const& f : m_unit->frames())
            n += f.command == 16;
        return n;
    };
    auto* list = widget<QListWidget>("lwActions");
    list->setCurrentRow(1);
    QCOMPARE(reads(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(reads(), 2, 1500);
    list->setCurrentRow(2);
    const int left = reads();
    QTest::qWait(800);
    QCOMPARE(reads(), left);
    list->setCurrentRow(1);
    QCOMPARE(reads(), left + 1);
}

void TestSisMeasurer::biasControlsSendTheirFrames()
{
    initialize();
    acknowledge(*m_unit, biasAddress, {18, 20, 22, 24});
    auto last = [this] { return describe(m_unit->frames().last()); };

    widget<QDoubleSpinBox>("sbU")->setValue(12.5);
    widget<QPushButton>("pbSetU")->click();
    QCOMPARE(last(), describe(FakeFrame{0, biasAddress, 20, floatBytes(0.0125f)}));

    widget<QDoubleSpinBox>("sbI")->setValue(-250);
    widget<QPushButton>("pbSetI")->click();
    QCOMPARE(last(), describe(FakeFrame{0, biasAddress, 18, floatBytes(-0.00025f)}));

    widget<QCheckBox>("cbShort")->click();
    QCOMPARE(last(), QString("03 16 [01]"));
    widget<QRadioButton>("rbUmode")->click();
    QCOMPARE(last(), QString("03 18 [01]"));
    widget<QRadioButton>("rbImode")->click();
    QCOMPARE(last(), QString("03 18 [00]"));
}

void TestSisMeasurer::sweepInputs()
{
    makeWindow();
    auto* type = widget<QComboBox>("cbSweepType");
    QCOMPARE(type->itemText(0), QString("U mode"));
    QCOMPARE(type->itemText(1), QString("I mode"));
    QCOMPARE(widget<QLineEdit>("leTimeStepSweep")->text(), QString("20"));
    type->setCurrentIndex(1);
    QCOMPARE(widget<QLabel>("lbStart")->text(), QString("Start, uA"));
    QCOMPARE(widget<QLabel>("lbStep")->text(), QString("Step, uA"));
    type->setCurrentIndex(0);
    QCOMPARE(widget<QLabel>("lbStop")->text(), QString("Stop, mV"));

    auto* timeStep = widget<QLineEdit>("leTimeStepSweep");
    timeStep->clear();
    QTest::keyClicks(timeStep, "2.9");
    QCOMPARE(timeStep->text(), QString("29"));

    // Right-clicking an empty plot opens no menu.
    m_window->measurerContextMenuRequest(QPoint(5, 5));
    QVERIFY(m_window->findChildren<QMenu*>().isEmpty());
}

void TestSisMeasurer::currentSweepSendsParametersAndPlots()
{
    initialize();
    acknowledgeSweep();
    // A point before the sweep: nobody listens for it yet.
    m_unit->send(point(1, 1));
    QList<QByteArray> stream;
    for (int i = 0; i <= 10; ++i)
        stream << point(2.7e-3f + i * 1e-5f, (10 + i) * 1e-6f);
    stream << endFrame();
    streamOnStart(stream, 5);

    QHash<quint8, qint64> seenAt;
    QElapsedTimer clock;
    clock.start();
    connect(m_unit.get(), &FakeUnit::frameReceived, this,
            [&](FakeFrame const& f) { seenAt.insert(f.command, clock.elapsed()); });

    setSweep(1, "10", "20", "1", "20");
    const int mark = m_unit->frameCount();
    widget<QPushButton>("pbStart")->click();

    const QList<FakeFrame> sent = m_unit->frames().mid(mark);
    QCOMPARE(commands(sent),
             QStringList({"3/48", "3/24", "3/18", "3/22", "255/4", "3/49", "255/5"}));
    LC4BSM0_SWEEP_PARAMS_t params{};
    params.start = 0.00001f;
    params.stop = 0.00002f;
    params.step = 0.000001f;
    params.timeStep = 20;
    params.mode = 0;
    QCOMPARE(sent.at(0).payload.toHex(),
             QByteArray(reinterpret_cast<const char*>(&params), sizeof params).toHex());
    QCOMPARE(sent.at(1).payload, QByteArray(1, '\0'));
    QCOMPARE(sent.at(2).payload, floatBytes(0.00001f));
    QCOMPARE(sent.at(3).payload, QByteArray(1, '\0'));
    QVERIFY(sent.at(4).payload.isEmpty() && sent.at(6).payload.isEmpty());
    const qint64 settled = seenAt.value(4) - seenAt.value(22);
    QVERIFY2(settled >= 499, qPrintable(QString("settled %1 ms").arg(settled)));

    QCOMPARE(plot()->graphCount(), 1);
    QCPGraph* graph = plot()->graph(0);
    QCOMPARE(graph->dataCount(), 11);
    QCOMPARE(graph->data()->at(0)->key, double(2.7e-3f));
    QCOMPARE(graph->data()->at(10)->value, double(20e-6f));
    QCOMPARE(graph->scatterStyle().shape(), QCPScatterStyle::ssDiamond);
    QCOMPARE(graph->scatterStyle().size(), 9.0);
    QCOMPARE(graph->scatterStyle().pen().width(), 3);
    QCOMPARE(graph->lineStyle(), QCPGraph::lsNone);
    QCOMPARE(measurerStatus(), QString("Status: Sweep done, 11 points"));
    QVERIFY(widget<QPushButton>("pbStart")->isEnabled());
    QVERIFY(widget<QListWidget>("lwActions")->isEnabled());

    // Detached again: a late point is not plotted, and the queued rescale covered all.
    m_unit->send(point(1, 1));
    QTest::qWait(100);
    QCOMPARE(graph->dataCount(), 11);
    QVERIFY(plot()->xAxis->range().contains(2.7e-3) && plot()->xAxis->range().contains(2.8e-3));
    QVERIFY(plot()->yAxis->range().contains(10e-6) && plot()->yAxis->range().contains(20e-6));
}

void TestSisMeasurer::graphColoursRepeatAfterTen()
{
    initialize();
    acknowledge(*m_unit, biasAddress, {48, 24, 20, 18, 22, 50});
    acknowledge(*m_unit, 255, {4, 5});
    m_unit->answer(biasAddress, 49, FakeUnit::frame(biasAddress, 49) + endFrame());
    setSweep(0, "0", "1", "1", "1");
    for (int i = 0; i < 11; ++i)
        widget<QPushButton>("pbStart")->click();
    QCOMPARE(plot()->graphCount(), 11);
    QCOMPARE(plot()->graph(0)->pen().color(), QColor("#C0392B"));
    QCOMPARE(plot()->graph(0)->scatterStyle().brush().color(), QColor("#C0392B"));
    QCOMPARE(plot()->graph(1)->pen().color(), QColor("#2980B9"));
    QCOMPARE(plot()->graph(9)->pen().color(), QColor("#E67E22"));
    QCOMPARE(plot()->graph(10)->pen().color(), QColor("#C0392B"));
}

void TestSisMeasurer::failedSetupLeavesEmptyGraphInFile()
{
    initialize();
    m_window->driver()->setTimeOut(20);
    const int mark = m_unit->frameCount();
    setSweep(0, "0", "1", "0.5", "1");
    widget<QPushButton>("pbStart")->click();
    QCOMPARE(commands(m_unit->frames().mid(mark)),
             QStringList({"3/48", "3/48", "3/48", "3/48", "3/48"}));
    QCOMPARE(measurerStatus(), QString("Status: Error at setting sweep parameters"));
    QCOMPARE(plot()->graphCount(), 1);
    QCOMPARE(plot()->graph(0)->dataCount(), 0);
    QVERIFY(widget<QPushButton>("pbStart")->isEnabled());

    acknowledgeSweep();
    m_unit->answer(biasAddress, 49,
                   FakeUnit::frame(biasAddress, 49) + point(0.002f, 1.23457e-05f) +
                       point(0.000123f, -0.0001f) + point(0.002f, 5e-05f) + endFrame());
    widget<QPushButton>("pbStart")->click();
    QCOMPARE(plot()->graph(1)->dataCount(), 3);

    const QString path = m_settingsDir->filePath("iv.txt");
    QStringList asked;
    m_window->saveFileDialog = [&](QWidget*, QString const& caption, QString const& dir,
                                   QString const& filter) {
        asked << caption << dir << filter;
        return path;
    };
    m_window->saveData();
    QCOMPARE(asked, QStringList({"Save data...", "/untitled.txt", "data (*.txt)"}));
    QCOMPARE(QSettings("Velmora", "Photoquell").value("LastFileName").toString(), path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("X\tY\r\n; X == U (mV)\r\n; Y == I (V)\r\n"
                                        "Graph 0\r\n"
                                        "Graph 1\r\n"
                                        "0.000123\t-0.0001\r\n"
                                        "0.002\t1.23457e-05\r\n"
                                        "0.002\t5e-05\r\n"));

    // The picture beside the data; a failed one is told in the status line.
    m_window->measurerContextMenuRequest(QPoint(5, 5));
    auto entry = [this](QString const& text) {
        for (QAction* action : m_window->findChildren<QMenu*>().last()->actions())
            if (action->text() == text)
                return action;
        return static_cast<QAction*>(nullptr);
    };
    QVERIFY(entry("Save picture as PDF..."));
    entry("Save picture as PNG...")->trigger();
    QVERIFY(QFileInfo(path + ".png").size() > 0);
    m_window->saveFileDialog = [&](QWidget*, QString const&, QString const&, QString const&) {
        return m_settingsDir->filePath("missing/iv.pdf");
    };
    m_window->measurerContextMenuRequest(QPoint(5, 5));
    entry("Save picture as PDF...")->trigger();
    QVERIFY2(measurerStatus().startsWith("Status: Can't save picture to " +
                                         m_settingsDir->filePath("missing/iv.pdf")),
             qPrintable(measurerStatus()));
}

void TestSisMeasurer::failedStartStillClosesThePhase()
{
    initialize();
    acknowledge(*m_unit, biasAddress, {48, 24, 20, 22});
    acknowledge(*m_unit, 255, {4, 5});
    m_window->driver()->setTimeOut(20);
    setSweep(0, "0", "1", "1", "1");
    const int mark = m_unit->frameCount();
    widget<QPushButton>("pbStart")->click();
    QCOMPARE(commands(m_unit->frames().mid(mark)),
             QStringList({"3/48", "3/24", "3/20", "3/22", "255/4", "3/49", "3/49", "3/49", "3/49",
                          "3/49", "255/5"}));
    QCOMPARE(measurerStatus(), QString("Status: Error at sweep start"));
    QCOMPARE(plot()->graph(0)->dataCount(), 0);
    QVERIFY(widget<QPushButton>("pbStart")->isEnabled());
}

void TestSisMeasurer::refusedSweepsSendNothing_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("timeStep");
    QTest::addColumn<QString>("status");
    QTest::newRow("zero step") << "0"
                               << "20"
                               << "Status: Step must not be 0";
    QTest::newRow("unreadable step") << ""
                                     << "20"
                                     << "Status: Step must not be 0";
    QTest::newRow("step away from stop") << "-0.1"
                                         << "20"
                                         << "Status: Step leads away from Stop";
    QTest::newRow("negative time step") << "0.1"
                                        << "-5"
                                        << "Status: Time step must not be negative";
}

void TestSisMeasurer::refusedSweepsSendNothing()
{
    QFETCH(QString, step);
    QFETCH(QString, timeStep);
    QFETCH(QString, status);
    initialize();
    acknowledgeSweep();
    setSweep(0, "0", "1", step, timeStep);
    const int mark = m_unit->frameCount();
    widget<QPushButton>("pbStart")->click();
    QCOMPARE(measurerStatus(), status);
    QCOMPARE(m_unit->frameCount(), mark);
    QCOMPARE(plot()->graphCount(), 0);
    QVERIFY(widget<QPushButton>("pbStart")->isEnabled());
}

void TestSisMeasurer::expiredWaitsStopAndClose_data()
{
    QTest::addColumn<QString>("silent");
    QTest::addColumn<QStringList>("tail");
    QTest::addColumn<QString>("status");
    QTest::newRow("announcement") << "255/4" << QStringList({"255/4", "3/50", "255/5"})
                                  << "Status: No answer to the sweep announcement";
    QTest::newRow("end frame") << "end" << QStringList({"255/4", "3/49", "3/50", "255/5"})
                               << "Status: Sweep did not end in time, 2 points";
    QTest::newRow("close") << "255/5" << QStringList({"255/4", "3/49", "255/5", "3/50"})
                           << "Status: Sweep done, 2 points; no answer to the sweep close";
}

void TestSisMeasurer::expiredWaitsStopAndClose()
{
    QFETCH(QString, silent);
    QFETCH(QStringList, tail);
    QFETCH(QString, status);
    initialize();
    acknowledge(*m_unit, biasAddress, {48, 24, 20, 22, 49, 50});
    if (silent != "255/4")
        acknowledge(*m_unit, 255, {4});
    if (silent != "255/5")
        acknowledge(*m_unit, 255, {5});
    QList<QByteArray> stream{point(0, 0), point(1e-4f, 1e-6f)};
    if (silent != "end")
        stream << endFrame();
    streamOnStart(stream, 5);

    // Three points 10 ms apart: the end frame is due within 30 ms.
    setSweep(0, "0", "0.2", "0.1", "10");
    const int mark = m_unit->frameCount();
    QElapsedTimer clock;
    clock.start();
    widget<QPushButton>("pbStart")->click();
    const qint64 took = clock.elapsed();

    QStringList sent = commands(m_unit->frames().mid(mark));
    QCOMPARE(sent.mid(4), tail);
    QCOMPARE(measurerStatus(), status);
    QVERIFY(widget<QPushButton>("pbStart")->isEnabled());
    QVERIFY(widget<QListWidget>("lwActions")->isEnabled());
    QVERIFY2(took < 500 + 3100 + 2 * MainWindow::announceWaitMs, qPrintable(QString::number(took)));
    // Detached on every path.
    const int points = plot()->graph(0)->dataCount();
    m_unit->send(point(1, 1));
    QTest::qWait(50);
    QCOMPARE(plot()->graph(0)->dataCount(), points);
}

void TestSisMeasurer::prepareSlowSweep()
{
    initialize();
    acknowledgeSweep();
    QList<QByteArray> stream;
    for (int i = 0; i < 40; ++i)
        stream << point(i * 1e-4f, i * 1e-6f);
    streamOnStart(stream, 100);
    setSweep(0, "0", "4", "0.1", "100");
}

void TestSisMeasurer::stopEndsARunningSweep()
{
    prepareSlowSweep();
    QElapsedTimer clock;
    qint64 stoppedAt = -1;
    QTimer::singleShot(800, this, [&] {
        QVERIFY(m_window->sweepRunning());
        stoppedAt = clock.elapsed();
        widget<QPushButton>("pbStop")->click();
    });
    const int mark = m_unit->frameCount();
    clock.start();
    widget<QPushButton>("pbStart")->click();
    QVERIFY(stoppedAt > 0);
    QVERIFY2(clock.elapsed() - stoppedAt < 400, "the window leaves its wait at once");
    QVERIFY(commands(m_unit->frames().mid(mark)).join(' ').endsWith("3/49 3/50 255/5"));
    QVERIFY(measurerStatus().startsWith("Status: Sweep stopped, "));
    QVERIFY(plot()->graph(0)->dataCount() > 0);
    QVERIFY(widget<QPushButton>("pbStart")->isEnabled());
}

void TestSisMeasurer::closingDuringSweepStopsTheModule()
{
    prepareSlowSweep();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    bool closed = true;
    QTimer::singleShot(800, this, [&] { closed = m_window->close(); });
    const int mark = m_unit->frameCount();
    widget<QPushButton>("pbStart")->click();
    QVERIFY2(!closed, "the close waits until the sweep has unwound");
    QVERIFY(commands(m_unit->frames().mid(mark)).join(' ').endsWith("3/49 3/50 255/5"));
    QTRY_VERIFY(!m_window->isVisible());
    // Nothing talks to the module any more.
    const int after = m_unit->frameCount();
    widget<QListWidget>("lwActions")->setCurrentRow(1);
    QTest::qWait(100);
    QCOMPARE(m_unit->frameCount(), after);
}

void TestSisMeasurer::clearIsNotOfferedDuringSweep()
{
    initialize();
    acknowledgeSweep();
    QList<QByteArray> stream;
    for (int i = 0; i < 6; ++i)
        stream << point(i * 1e-4f, i * 1e-6f);
    stream << endFrame();
    streamOnStart(stream, 60);
    setSweep(0, "0", "0.5", "0.1", "60");
    bool clearEnabled = true;
    QTimer::singleShot(700, this, [&] {
        m_window->measurerContextMenuRequest(QPoint(20, 20));
        auto* menu = m_window->findChild<QMenu*>("measurerMenu");
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 4);
        QCOMPARE(menu->actions().at(0)->text(), QString("Clear"));
        QCOMPARE(menu->actions().at(1)->text(), QString("Save data"));
        QCOMPARE(menu->actions().at(2)->text(), QString("Save picture as PNG..."));
        clearEnabled = menu->actions().at(0)->isEnabled();
        menu->actions().at(0)->trigger();
        m_window->deleteMeasureData();
        menu->close();
    });
    widget<QPushButton>("pbStart")->click();
    QVERIFY(!clearEnabled);
    QCOMPARE(plot()->graphCount(), 1);
    QCOMPARE(plot()->graph(0)->dataCount(), 6);

    m_window->measurerContextMenuRequest(QPoint(20, 20));
    QMenu* menu = nullptr;
    for (QMenu* m : m_window->findChildren<QMenu*>("measurerMenu"))
        if (m->isVisible())
            menu = m;
    QVERIFY(menu);
    QVERIFY(menu->actions().at(0)->isEnabled());
    menu->actions().at(0)->trigger();
    QCOMPARE(plot()->graphCount(), 0);
}

void TestSisMeasurer::savingKeepsOldFileOnFailure()
{
    makeWindow();
    plot()->addGraph()->addData(1e-3, 2e-6);
    QString target;
    m_window->saveFileDialog = [&](QWidget*, QString const&, QString const&, QString const&) {
        return target;
    };

    // Cancelled: nothing stored, nothing written.
    target.clear();
    m_window->saveData();
    QVERIFY(!QSettings("Velmora", "Photoquell").contains("LastFileName"));

    // The temporary file next to a name of the longest length cannot be made, so
    // the save fails with the old file in place.
    const QString longName = m_settingsDir->filePath(QString(255, QLatin1Char('d')));
    {
        QFile old(longName);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old data");
    }
    target = longName;
    m_window->saveData();
    QVERIFY2(measurerStatus().startsWith("Status: Can't save "), qPrintable(measurerStatus()));
    QFile old(longName);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old data"));
    QCOMPARE(QSettings("Velmora", "Photoquell").value("LastFileName").toString(), longName);

    target = m_settingsDir->filePath("no/such/dir/iv.txt");
    m_window->saveData();
    QVERIFY(measurerStatus().startsWith("Status: Can't save "));

    target = m_settingsDir->filePath("iv.txt");
    m_window->saveData();
    QCOMPARE(measurerStatus(), "Status: Saved " + target);
    QVERIFY(QFile::exists(target));
}

void TestSisMeasurer::dataTextFormat()
{
    QCustomPlot figure;
    QCPGraph* first = figure.addGraph();
    first->addData(3e-3, 1e-4);
    first->addData(-1e-3, -2.5e-6);
    first->addData(1e-3, 1.234567e-5);
    figure.addGraph();
    QCPGraph* third = figure.addGraph();
    third->addData(0.5, 1e-7);
    third->addData(0.5, 2e-7);

    QCOMPARE(ivDataText(ivCurves(&figure)), QByteArray("X\tY\r\n; X == U (mV)\r\n; Y == I (V)\r\n"
                                                       "Graph 0\r\n"
                                                       "-0.001\t-2.5e-06\r\n"
                                                       "0.001\t1.23457e-05\r\n"
                                                       "0.003\t0.0001\r\n"
                                                       "Graph 1\r\n"
                                                       "Graph 2\r\n"
                                                       "0.5\t1e-07\r\n"
                                                       "0.5\t2e-07\r\n"));
}

void TestSisMeasurer::sweepPlanCountsPoints_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("timeStep");
    QTest::addColumn<double>("points");
    QTest::addColumn<quint32>("sentTimeStep");
    QTest::newRow("up by a tenth") << 0 << "0"
                                   << "5"
                                   << "0.1"
                                   << "20" << 51.0 << 20u;
    QTest::newRow("down by a tenth") << 0 << "5"
                                     << "0"
                                     << "-0.1"
                                     << "2" << 51.0 << 2u;
    QTest::newRow("one point") << 1 << "7"
                               << "7"
                               << "1"
                               << "0" << 1.0 << 0u;
    QTest::newRow("fraction truncated") << 1 << "0"
                                        << "10"
                                        << "3"
                                        << "2.9" << 4.0 << 2u;
}

void TestSisMeasurer::sweepPlanCountsPoints()
{
    QFETCH(int, type);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(QString, step);
    QFETCH(QString, timeStep);
    QFETCH(double, points);
    QFETCH(quint32, sentTimeStep);
    SweepPlan plan;
    QString error;
    QVERIFY(planSweep(type, start, stop, step, timeStep, &plan, &error));
    QCOMPARE(plan.points, points);
    QCOMPARE(plan.params.timeStep, sentTimeStep);
    // Even a time step of 0 leaves the module time for its points.
    QVERIFY(sweepEndWaitMs(plan) >= plan.points * qMax<quint32>(sentTimeStep, 1) + 3000);
}

void TestSisMeasurer::simulatedJunctionShowsTheGap_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("step");
    QTest::newRow("voltage sweep") << 0 << "5"
                                   << "0.1";
    QTest::newRow("current sweep") << 1 << "250"
                                   << "5";
}

void TestSisMeasurer::simulatedJunctionShowsTheGap()
{
    QFETCH(int, type);
    QFETCH(QString, stop);
    QFETCH(QString, step);
    std::unique_ptr<SimUnit> simulator = startSimulator();
    QVERIFY(simulator);
    makeWindow();
    m_window->setUnitPort(simulator->server()->serverPort());
    widget<QSpinBox>("sbDeviceAddress")->setValue(biasAddress);
    widget<QPushButton>("pbInitialize")->click();
    QVERIFY(widget<QListWidget>("lwActions")->item(2)->flags() & Qt::ItemIsEnabled);

    setSweep(type, "0", stop, step, "2");
    widget<QPushButton>("pbStart")->click();
    QCOMPARE(measurerStatus(), QString("Status: Sweep done, 51 points"));
    QCOMPARE(plot()->graph(0)->dataCount(), 51);

    // Below the 2.8 mV gap only leakage flows; above it the 20 ohm branch.
    double below = 0;
    double above = 0;
    for (auto it = plot()->graph(0)->data()->constBegin();
         it != plot()->graph(0)->data()->constEnd(); ++it) {
        if (it->key > 0.5e-3 && it->key < 2.4e-3)
            below = qMax(below, it->value / it->key);
        if (it->key > 3.2e-3)
            above = qMax(above, it->value / it->key);
    }
    QVERIFY2(below > 0 && below < 1.0 / 200, qPrintable(QString::number(below)));
    QVERIFY2(above > 1.0 / 40, qPrintable(QString::number(above)));
}

QTEST_MAIN(TestSisMeasurer)
#include "tst_sismeasurer.moc"
