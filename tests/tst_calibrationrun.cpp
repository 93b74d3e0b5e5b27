// The calibration run, its calibrators and its dialog against the in-process
// simulator, with a multimeter double that measures a simulated module's true
// output.
#include "calibratedialog.h"
#include "calibrationbounds.h"
#include "calibrationsettings.h"
#include "calibrationtestsupport.h"
#include "lc4bsm0calibrator.h"
#include "lc4clm0calibrator.h"
#include "lc4htm0calibrator.h"
#include "lc4sdm0calibrator.h"
#include "lc4tdm1calibrator.h"
#include "maindialog.h"
#include "moduletypetable.h"
#include "savedialog.h"
#include "simfixture.h"
#include "simmodule.h"
#include "simserver.h"

#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTableWidget>
#include <qcustomplot.h>

#include <functional>

namespace {

// Addresses of the default crate.
enum
{
    SspdM0Address = 1,
    BiasSourceAddress = 3,
    ControlLineAddress = 4,
    HeaterAddress = 5,
    TempM1Address = 7
};

template <typename Record> Record recordOf(QByteArray const& bytes)
{
    return DriverValueCodec<Record>::decode(bytes);
}

bool same(pair_t<float> a, pair_t<float> b)
{
    return a.first == b.first && a.second == b.second;
}

} // namespace

class TestCalibrationRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { CommonCalibrator::setTimeScale(0.0); }
    void init()
    {
        m_dialogs = std::make_unique<CalibrationTestDialogs>();
        m_unit = startSimUnit();
        QVERIFY(m_unit);
        m_link.reset(linkTo(*m_unit));
        m_meter = std::make_unique<TestMeter>();
        m_messages.clear();
        m_finished = 0;
    }
    void cleanup()
    {
        m_calibrator.reset();
        m_driver.reset();
        m_link.reset();
        m_unit.reset();
        m_meter.reset();
        m_dialogs.reset();
    }

    void controlLineRunFitsBothLines();
    void stopDuringTheSweepRestoresTheModule();
    void failedReadingEndsTheRunAndRestores();
    void unusableLineIsNeverStored();
    void nominalLinesAreTheModulesDefaults();
    void implausibleLinesAreNamed();
    void absurdMeterNeverCompletes_data();
    void absurdMeterNeverCompletes();
    void failedVerificationRestoresTheConstantsFound();
    void stopDuringVerificationRestoresTheConstantsFound();
    void dialogKeepsTheTablesAndTheRecordTheirEvidence();
    void nextSavedRecordCarriesTheVerification();
    void temperatureM1VerificationsNameTheirChannel();
    void voltageModeKeepsTheDacLine();
    void biasSourceAndHeaterStatesComeBack();
    void temperatureM1CalibratesOnlyItsChannel();
    void calibratorWithoutModuleGivesItsMessage();
    void dialogRemembersModesAndReplacesCalibrators();
    void plotOffersPictures();

private:
    template <typename Calibrator> Calibrator* calibrator(int address, QString const& output)
    {
        m_driver.reset(
            moduleKind(driverTypeOf(module(address)->typeString()))->createDriver(nullptr));
        m_driver->setIOInterface(m_link.get());
        m_driver->setDevAddress(quint8(address));
        auto* calibrator = new Calibrator(nullptr);
        m_calibrator.reset(calibrator);
        calibrator->setDriver(m_driver.get());
        calibrator->setAgilent(m_meter.get());
        calibrator->setPointCount(40);
        calibrator->setCheckingPointCount(5);
        const SimModule::Output* wired = module(address)->output(output);
        m_meter->measure = [wired] { return wired->value(); };
        connect(calibrator, &CommonCalibrator::message, this,
                [this](QString const& text) { m_messages << text; });
        connect(calibrator, &CommonCalibrator::finished, this, [this] { ++m_finished; });
        return calibrator;
    }
    SimModule* module(int address) const { return m_unit->crate().module(address); }
    QString lastMessage() const { return m_messages.value(m_messages.size() - 1); }

    std::unique_ptr<CalibrationTestDialogs> m_dialogs;
    std::unique_ptr<SimUnit> m_unit;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
    std::unique_ptr<TestMeter> m_meter;
    std::unique_ptr<CommonDriver> m_driver;
    std::unique_ptr<CommonCalibrator> m_calibrator;
    QStringList m_messages;
    int m_finished = 0;
};

void TestCalibrationRun::controlLineRunFitsBothLines()
{
    using Record = LC4CLM0V0_EEPROM_Const_t;
    auto* run = calibrator<LC4CLM0Calibrator>(ControlLineAddress, "current");
    const Record before = recordOf<Record>(module(ControlLineAddress)->workingConstants());
    QByteArray identitySent;
    QVector<int> progress;
    int plotted = 0;
    connect(run, &CommonCalibrator::changeProgress, this, [&](int value) {
        progress << value;
        if (run->data().size() == 1 && identitySent.isEmpty())
            identitySent = module(ControlLineAddress)->workingConstants();
    });
    connect(run, &CommonCalibrator::performPlot, this, [&] { plotted = 0; });
    connect(run, &CommonCalibrator::addPoint, this, [&](int graph) { plotted += graph == 0; });
    run->start();

    QCOMPARE(m_finished, 1);
    QCOMPARE(lastMessage(), QString("Calibration completed"));
    QCOMPARE(progress.last(), 100);
    QVERIFY(progress.contains(0));
    QCOMPARE(m_meter->commands.first(), QString("MEAS:CURR:DC? DEF,DEF\r\n"));
    // 40 points, a tenth of them dropped from each set before the fit.
    QCOMPARE(run->data().size(), 40);
    QCOMPARE(run->data().at(1).dac, 65535.0 / 40);
    QCOMPARE(plotted, 36);
    QVERIFY(same(recordOf<Record>(identitySent).currentDacCoeff, {0.25f, 24575.25f}));
    QVERIFY(same(recordOf<Record>(identitySent).currentAdcCoeff, {1.0f, 0.0f}));

    const Record after = recordOf<Record>(module(ControlLineAddress)->workingConstants());
    QVERIFY(!same(after.currentDacCoeff, before.currentDacCoeff));
    QVERIFY(!same(after.currentAdcCoeff, before.currentAdcCoeff));
    QVERIFY(same(after.currentLimits, before.currentLimits));
    QCOMPARE(after.currentStep, before.currentStep);
    QCOMPARE(module(ControlLineAddress)->eepromConstants(),
             DriverValueCodec<Record>::encode(before));
    // Back in normal operation (which parks the output shorted), the output follows
    // the set value closely.
    auto* line = static_cast<SisControlLineDriverM0*>(m_driver.get());
    bool ok = false;
    QCOMPARE(line->shortEnable()->getValueSync(&ok, 5), true);
    line->shortEnable()->setValueSync(false, &ok, 5);
    line->current()->setValueSync(0.02f, &ok, 5);
    QVERIFY(ok);
    QVERIFY2(qAbs(m_meter->measure() - 0.02) < 0.0001,
             qPrintable(QString::number(m_meter->measure(), 'g', 9)));
}

void TestCalibrationRun::stopDuringTheSweepRestoresTheModule()
{
    auto* run = calibrator<LC4CLM0Calibrator>(ControlLineAddress, "current");
    const QByteArray before = module(ControlLineAddress)->workingConstants();
    connect(run, &CommonCalibrator::changeProgress, this, [run](int value) {
        if (value == 50)
            run->terminate();
    });
    QElapsedTimer clock;
    clock.start();
    run->start();
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(m_finished, 1);
    QCOMPARE(run->data().size(), 20);
    QCOMPARE(module(ControlLineAddress)->workingConstants(), before);
    auto* line = static_cast<SisControlLineDriverM0*>(m_driver.get());
    bool ok = false;
    QCOMPARE(line->pidEnable()->getValueSync(&ok, 5), true);
    QVERIFY(qAbs(m_meter->measure()) < 0.0002);
}

void TestCalibrationRun::failedReadingEndsTheRunAndRestores()
{
    auto* run = calibrator<LC4HTM0Calibrator>(HeaterAddress, "current");
    const QByteArray before = module(HeaterAddress)->workingConstants();
    // The readings of the as-found verification come first.
    m_meter->failAfter =
        CalibrationBounds::verificationPoints * CommonCalibrator::verificationReadings + 7;
    run->start();
    QCOMPARE(m_finished, 1);
    QVERIFY2(m_messages.contains("ERROR: no multimeter reading at point 8"),
             qPrintable(m_messages.join('\n')));
    QCOMPARE(run->data().size(), 7);
    QCOMPARE(module(HeaterAddress)->workingConstants(), before);
}

void TestCalibrationRun::unusableLineIsNeverStored()
{
    auto* run = calibrator<LC4CLM0Calibrator>(ControlLineAddress, "current");
    const QByteArray before = module(ControlLineAddress)->workingConstants();
    // A meter that always shows the same value gives a line that is no number.
    m_meter->measure = [] { return 0.001; };
    run->start();
    QCOMPARE(m_finished, 1);
    QVERIFY2(lastMessage().startsWith("ERROR: the fitted DAC line"), qPrintable(lastMessage()));
    QCOMPARE(module(ControlLineAddress)->workingConstants(), before);
}

void TestCalibrationRun::nominalLinesAreTheModulesDefaults()
{
    // The simulated modules come with the nominal constants of their converters.
    const auto near = [](pair_t<float> pair, NominalLine line) {
        return qAbs(double(pair.first) / line.slope - 1) < 1e-6 &&
               qAbs(double(pair.second) - line.intercept) <= 1e-6 * qAbs(line.intercept);
    };
    // The DAC line in the run's code space, as a module that uses 1/k of its range keeps it.
    const auto divided = [](NominalLine line, double k) {
        return NominalLine{line.slope / k, (k - 1) * 32767 / k + line.intercept / k};
    };
    const auto bounds = [](const char* type, int mode) {
        const ModeBounds* found = modeBounds(type, mode);
        return found ? *found : ModeBounds{};
    };
    const auto sspd = recordOf<LC4SDM0V1_EEPROM_Const_t>(module(1)->workingConstants());
    QVERIFY(near(sspd.voltageAdcCoeff, bounds("LC4SDM0", 0).adc));
    QVERIFY(near(sspd.currentAdcCoeff, bounds("LC4SDM0", 1).adc));
    QVERIFY(near(sspd.currentDacCoeff, bounds("LC4SDM0", 1).dac));
    const auto bias = recordOf<LC4BSM0V0_EEPROM_Const_t>(module(3)->workingConstants());
    QVERIFY(near(bias.voltageAdcCoeff, bounds("LC4BSM0", 0).adc));
    QVERIFY(near(bias.voltageDacCoeff, bounds("LC4BSM0", 0).dac));
    QVERIFY(near(bias.currentAdcCoeff, bounds("LC4BSM0", 1).adc));
    QVERIFY(near(bias.currentDacCoeff, bounds("LC4BSM0", 1).dac));
    const auto line = recordOf<LC4CLM0V0_EEPROM_Const_t>(module(4)->workingConstants());
    QVERIFY(near(line.currentAdcCoeff, bounds("LC4CLM0", 0).adc));
    QVERIFY(near(line.currentDacCoeff, divided(bounds("LC4CLM0", 0).dac, 4)));
    const auto heater = recordOf<LC4HT0V0_EEPROM_Const_t>(module(5)->workingConstants());
    QVERIFY(near(heater.currentAdcCoeff, bounds("LC4HTM0", 0).adc));
    QVERIFY(near(heater.currentDacCoeff, divided(bounds("LC4HTM0", 0).dac, 3)));
    const auto temperature = recordOf<LC4TDM0V1_EEPROM_Const_t>(module(6)->workingConstants());
    QVERIFY(near(temperature.pressSensorVoltagePCoeff, bounds("LC4TDM0", 0).adc));
    QVERIFY(near(temperature.tempSensorVoltageCoeff, bounds("LC4TDM0", 2).adc));
    QVERIFY(near(temperature.tempSensorCurrentAdcCoeff, bounds("LC4TDM0", 3).adc));
    QVERIFY(near(temperature.tempSensorCurrentDacCoeff, bounds("LC4TDM0", 3).dac));
}

void TestCalibrationRun::implausibleLinesAreNamed()
{
    const ModeBounds& bounds = *modeBounds("LC4SDM0", 1); // 100 uA full scale
    // Points on the nominal DAC line, meter value against code.
    const auto pointsOf = [](NominalLine line, double noise) {
        QVector<QPointF> points;
        for (int i = -10; i <= 10; ++i) {
            const double meter = i * 1e-5;
            points.append({meter + (i % 2 ? noise : -noise), line.slope * meter + line.intercept});
        }
        return points;
    };
    const auto coeff = [](NominalLine line) {
        return lineRegressionCoeff{float(line.slope), float(line.intercept)};
    };
    const NominalLine nominal = bounds.dac;
    QCOMPARE(dacLineImplausibility(bounds, coeff(nominal), pointsOf(nominal, 0)), QString());
    // 15 % steeper still passes; 30 % steeper is 23 % off in gain, which does not.
    const NominalLine steeper{nominal.slope * 1.15, nominal.intercept};
    QCOMPARE(dacLineImplausibility(bounds, coeff(steeper), pointsOf(steeper, 0)), QString());
    const NominalLine steep{nominal.slope * 1.3, nominal.intercept};
    QVERIFY(dacLineImplausibility(bounds, coeff(steep), pointsOf(steep, 0)).contains("slope"));
    // Its zero 15 % of full scale away: 15 uA worth of codes.
    const NominalLine shifted{nominal.slope, nominal.intercept + nominal.slope * 15e-6};
    QVERIFY(dacLineImplausibility(bounds, coeff(shifted), pointsOf(shifted, 0)).contains("zero"));
    // Points 1 % of full scale off the line either way.
    QVERIFY(
        dacLineImplausibility(bounds, coeff(nominal), pointsOf(nominal, 1e-6)).contains("scatter"));
    // The ADC side of a mode without a DAC line: the SSPD's voltage reading.
    const ModeBounds& voltage = *modeBounds("LC4SDM0", 0);
    QVector<QPointF> readings;
    for (int code = 0; code <= 65535; code += 4096)
        readings.append({double(code), voltage.adc.slope * code + voltage.adc.intercept});
    QCOMPARE(adcLineImplausibility(voltage, coeff(voltage.adc), readings), QString());
    QVERIFY(adcLineImplausibility(voltage, {float(voltage.adc.slope), 0.0f}, readings)
                .contains("zero"));
    QVERIFY(!modeBounds("LC4SDM0", 2));
}

void TestCalibrationRun::absurdMeterNeverCompletes_data()
{
    QTest::addColumn<int>("scaleOrValue");
    QTest::addColumn<QString>("error");
    // A broken range relay: most readings far beyond anything the output can give.
    QTest::newRow("1e30 from point 3") << 0 << "ERROR: the multimeter read 1e+30 at point 3";
    // A meter that reads 75 % of the truth stays in range, but its line does not fit
    // the module's converters.
    QTest::newRow("three quarters of the truth") << 75 << "ERROR: the fitted DAC line (slope";
    // Twice the truth: beyond 120 % of full scale at the sweep's ends.
    QTest::newRow("twice the truth") << 200 << "ERROR: the multimeter read ";
}

void TestCalibrationRun::absurdMeterNeverCompletes()
{
    QFETCH(int, scaleOrValue);
    QFETCH(QString, error);
    auto* run = calibrator<LC4CLM0Calibrator>(ControlLineAddress, "current");
    const QByteArray working = module(ControlLineAddress)->workingConstants();
    const QByteArray eeprom = module(ControlLineAddress)->eepromConstants();
    const SimModule::Output* wired = module(ControlLineAddress)->output("current");
    int readings = 0;
    m_meter->measure = [&, wired] {
        const bool sweeping = ++readings > 36 + 2; // after the as-found pass
        if (scaleOrValue == 0)
            return sweeping ? 1e30 : wired->value();
        return wired->value() * scaleOrValue / 100;
    };
    run->start();
    QCOMPARE(m_finished, 1);
    QVERIFY(!m_messages.contains("Calibration completed"));
    QVERIFY2(lastMessage().startsWith(error), qPrintable(lastMessage()));
    QCOMPARE(module(ControlLineAddress)->workingConstants(), working);
    QCOMPARE(module(ControlLineAddress)->eepromConstants(), eeprom);
    // The output is back at its default value with the constants found.
    QVERIFY2(qAbs(wired->value()) < 0.0005, qPrintable(QString::number(wired->value())));
}

void TestCalibrationRun::failedVerificationRestoresTheConstantsFound()
{
    auto* run = calibrator<LC4CLM0Calibrator>(ControlLineAddress, "current");
    const QByteArray working = module(ControlLineAddress)->workingConstants();
    const SimModule::Output* wired = module(ControlLineAddress)->output("current");
    // The meter's zero drifts by 0.2 % of full scale once the sweep is done, so the
    // new constants cannot be confirmed.
    bool drifted = false;
    connect(run, &CommonCalibrator::message, this, [&](QString const& text) {
        drifted = drifted || text == "Verifying with the new constants...";
    });
    m_meter->measure = [&, wired] { return wired->value() + (drifted ? 1e-4 : 0.0); };
    run->start();
    QVERIFY2(lastMessage().startsWith("ERROR: the new constants do not verify: at set-point"),
             qPrintable(lastMessage()));
    QCOMPARE(module(ControlLineAddress)->workingConstants(), working);
    const CalibrationVerification verification = run->verification();
    QCOMPARE(verification.asFound.size(), 9);
    QCOMPARE(verification.asLeft.size(), 9);
    QVERIFY(!verification.asLeftPasses());
    QVERIFY(!verification.date.isValid());
}

void TestCalibrationRun::stopDuringVerificationRestoresTheConstantsFound()
{
    auto* run = calibrator<LC4CLM0Calibrator>(ControlLineAddress, "current");
    const QByteArray working = module(ControlLineAddress)->workingConstants();
    // Closed while the new constants are being verified: they were never confirmed.
    connect(run, &CommonCalibrator::verificationChanged, this, [run] {
        if (run->verification().asLeft.size() == 3)
            run->terminate();
    });
    run->start();
    QCOMPARE(m_finished, 1);
    QVERIFY(!m_messages.contains("Calibration completed"));
    QCOMPARE(run->verification().asLeft.size(), 3);
    QCOMPARE(module(ControlLineAddress)->workingConstants(), working);
    auto* line = static_cast<SisControlLineDriverM0*>(m_driver.get());
    bool ok = false;
    QCOMPARE(line->pidEnable()->getValueSync(&ok, 5), true);
}

void TestCalibrationRun::voltageModeKeepsTheDacLine()
{
    using Record = LC4SDM0V1_EEPROM_Const_t;
    auto* run = calibrator<LC4SDM0Calibrator>(SspdM0Address, "voltage");
    run->setModeIndex(0);
    const Record before = recordOf<Record>(module(SspdM0Address)->workingConstants());
    run->start();
    QCOMPARE(lastMessage(), QString("Calibration completed"));
    QCOMPARE(m_meter->commands.first(), QString("MEAS:VOLT:DC? DEF,DEF\r\n"));
    const Record after = recordOf<Record>(module(SspdM0Address)->workingConstants());
    QVERIFY(same(after.currentDacCoeff, before.currentDacCoeff));
    QVERIFY(same(after.currentAdcCoeff, before.currentAdcCoeff));
    QVERIFY(!same(after.voltageAdcCoeff, before.voltageAdcCoeff));
    QVERIFY(same(after.cmpReferenceCoeff, before.cmpReferenceCoeff));
}

void TestCalibrationRun::biasSourceAndHeaterStatesComeBack()
{
    auto* bias = calibrator<LC4BSM0Calibrator>(BiasSourceAddress, "current");
    auto* biasDriver = static_cast<SisBiasSourceDriverM0*>(m_driver.get());
    bool ok = false;
    biasDriver->mode()->setValueSync(1, &ok, 5);
    QVERIFY(ok);
    bias->setModeIndex(1);
    char regulationDuring = -1;
    connect(bias, &CommonCalibrator::changeProgress, this, [&](int value) {
        if (value == 50)
            regulationDuring = biasDriver->mode()->getValueSync(nullptr, 5);
    });
    bias->start();
    QCOMPARE(lastMessage(), QString("Calibration completed"));
    QCOMPARE(m_meter->commands.first(), QString("MEAS:VOLT:DC? DEF,DEF\r\n"));
    QCOMPARE(int(regulationDuring), 0);
    QCOMPARE(int(biasDriver->mode()->getValueSync(&ok, 5)), 1);

    auto* heater = calibrator<LC4HTM0Calibrator>(HeaterAddress, "current");
    auto* heaterDriver = static_cast<HeaterDriverM0*>(m_driver.get());
    QList<int> states;
    connect(heater, &CommonCalibrator::changeProgress, this, [&](int value) {
        if (value == 50)
            states << heaterDriver->mode()->getValueSync(nullptr, 5)
                   << heaterDriver->relayStatus()->getValueSync(nullptr, 5);
    });
    heater->start();
    QCOMPARE(lastMessage(), QString("Calibration completed"));
    QCOMPARE(states, (QList<int>{0, 0}));
    QCOMPARE(int(heaterDriver->mode()->getValueSync(&ok, 5)), 1);
    QCOMPARE(int(heaterDriver->relayStatus()->getValueSync(&ok, 5)), 1);
}

void TestCalibrationRun::temperatureM1CalibratesOnlyItsChannel()
{
    auto* run = calibrator<LC4TDM1Calibrator>(TempM1Address, "voltage2");
    run->setChannel(2);
    run->setModeIndex(0);
    auto* driver = static_cast<TempDriverM1*>(m_driver.get());
    QVERIFY(driver->readEepromCoeffs());
    TDM1_EepromCoeff before[TempDriverM1::channels];
    for (quint8 ch = 0; ch < TempDriverM1::channels; ++ch)
        before[ch] = driver->eepromCoeff(ch);
    run->start();
    QCOMPARE(lastMessage(), QString("Calibration completed"));
    QVERIFY(driver->readEepromCoeffs());
    for (quint8 ch = 0; ch < TempDriverM1::channels; ++ch) {
        QVERIFY(same(driver->eepromCoeff(ch).currentCoeff, before[ch].currentCoeff));
        QCOMPARE(same(driver->eepromCoeff(ch).voltageCoeff, before[ch].voltageCoeff), ch != 2);
    }
    bool ok = false;
    QCOMPARE(int(driver->switcherMode()->getValueSync(&ok, 5)), 2);
}

void TestCalibrationRun::calibratorWithoutModuleGivesItsMessage()
{
    CommonCalibrator plain;
    QSignalSpy finished(&plain, &CommonCalibrator::finished);
    QSignalSpy messages(&plain, &CommonCalibrator::message);
    plain.setAgilent(m_meter.get());
    plain.start();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(messages.last().at(0).toString(), QString("ERROR: there is no module to calibrate"));
    QVERIFY(m_meter->commands.isEmpty());

    plain.setPointCount(0);
    plain.setCheckingPointCount(-3);
    QCOMPARE(plain.pointCount(), 1);
    QCOMPARE(plain.checkingPointCount(), 1);
}

void TestCalibrationRun::dialogRemembersModesAndReplacesCalibrators()
{
    CalibrateDialog dialog(nullptr, std::make_unique<TestMeter>(QStringList{LC_VISA_LIBRARY}));
    QVERIFY(dialog.agilent()->isVisaInited());
    m_driver.reset(moduleKind(SspdM0)->createDriver(nullptr));
    m_driver->setIOInterface(m_link.get());
    m_driver->setDevAddress(SspdM0Address);
    dialog.setDriver(m_driver.get());
    dialog.setDriverType(SspdM0);
    QSettings settings = calibrationSettings();
    settings.setValue("DriverType", "LC4SDM1");
    settings.setValue("LC4SDM0_Mode", 1);
    settings.setValue("VisaName", "TCPIP0::127.0.0.1::5025::SOCKET");

    QPointer<CommonCalibrator> first;
    QTimer::singleShot(0, &dialog, [&] {
        first = dialog.calibrator();
        dialog.reject();
    });
    dialog.exec();
    auto* mode = child<QComboBox>(&dialog, "cbMode");
    QCOMPARE(mode->count(), 2);
    QCOMPARE(mode->currentIndex(), 0);
    QCOMPARE(child<QLineEdit>(&dialog, "leVisaName")->text(),
             QString("TCPIP0::127.0.0.1::5025::SOCKET"));

    settings.setValue("DriverType", "LC4SDM0");
    settings.setValue("LC4SDM0_Mode", 7);
    QTimer::singleShot(0, &dialog, [&] {
        dialog.appendPoints(2, 1, 1, true);
        // The first calibrator's signals no longer reach the dialog.
        emit first->changeProgress(55);
        dialog.reject();
    });
    dialog.exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!first);
    QCOMPARE(mode->currentIndex(), 1);
    QCOMPARE(child<QProgressBar>(&dialog, "progressBar")->value(), 0);
    QCOMPARE(child<QCustomPlot>(&dialog, "dataPlot")->graphCount(), 0);
}

void TestCalibrationRun::dialogKeepsTheTablesAndTheRecordTheirEvidence()
{
    CalibrateDialog dialog(nullptr, std::make_unique<TestMeter>(QStringList{LC_VISA_LIBRARY}));
    auto* meter = static_cast<TestMeter*>(dialog.agilent());
    const SimModule::Output* wired = module(ControlLineAddress)->output("current");
    meter->measure = [wired] { return wired->value(); };
    m_driver.reset(moduleKind(ControlLineM0)->createDriver(nullptr));
    m_driver->setIOInterface(m_link.get());
    m_driver->setDevAddress(ControlLineAddress);
    dialog.setDriver(m_driver.get());
    dialog.setDriverType(ControlLineM0);
    QTimer::singleShot(0, &dialog, [&] {
        dialog.calibrator()->setPointCount(40);
        click(&dialog, "pbStart");
        dialog.reject();
    });
    dialog.exec();
    auto* asFound = child<QTableWidget>(&dialog, "twAsFound");
    auto* asLeft = child<QTableWidget>(&dialog, "twAsLeft");
    QCOMPARE(asFound->rowCount(), 9);
    QCOMPARE(asLeft->rowCount(), 9);
    for (int row = 0; row < 9; ++row)
        QCOMPARE(asLeft->item(row, 3)->text(), QString("pass"));
    QCOMPARE(asLeft->item(0, 0)->text(), QString("-0.04"));

    const QJsonArray entries = dialog.verifications();
    QCOMPARE(entries.size(), 1);
    const QJsonObject entry = entries.first().toObject();
    QCOMPARE(entry.value("Mode").toString(), QString("I mode"));
    QCOMPARE(entry.value("Meter").toString(), QString("Test meter"));
    QCOMPARE(entry.value("TolerancePercent").toDouble(), 0.05);
    QCOMPARE(entry.value("SetPoints").toArray().size(), 9);
    QCOMPARE(entry.value("AsFound").toArray().size(), 9);
    QCOMPARE(entry.value("AsLeft").toArray().at(4).toObject().value("Pass").toBool(), true);
    QVERIFY(QDateTime::fromString(entry.value("Date").toString(), Qt::ISODate).isValid());
    // A loader ignores the key: the editor takes the record's constants only.
    dialog.clearVerifications();
    QVERIFY(dialog.verifications().isEmpty());
}

void TestCalibrationRun::nextSavedRecordCarriesTheVerification()
{
    auto meter = std::make_unique<TestMeter>(QStringList{LC_VISA_LIBRARY});
    const SimModule::Output* wired = module(ControlLineAddress)->output("current");
    meter->measure = [wired] { return wired->value(); };
    MainDialog dialog(nullptr, std::move(meter));
    dialog.setInterface(m_link.get());
    dialog.setDeviceType(module(ControlLineAddress)->typeString());
    dialog.setDeviceAddress(ControlLineAddress);
    dialog.show();
    QVERIFY(dialog.initializeUI());
    whileShown<CalibrateDialog>(&dialog, "pbCalibrate", [](CalibrateDialog* calibrate) {
        calibrate->calibrator()->setPointCount(40);
        click(calibrate, "pbStart");
    });

    QTemporaryDir records;
    const auto save = [&] {
        whileShown<SaveDialog>(&dialog, "pbSave", [&](SaveDialog* saving) {
            child<QGroupBox>(saving, "gbSaveFile")->setChecked(true);
            child<QGroupBox>(saving, "gbSaveFtp")->setChecked(false);
            child<QLineEdit>(saving, "leFilePath")->setText(records.path());
            saving->on_buttonBox_accepted();
        });
        QDirIterator files(records.path(), {"*.json"}, QDir::Files, QDirIterator::Subdirectories);
        QFile file(files.next());
        file.open(QIODevice::ReadOnly);
        const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        file.remove();
        return record;
    };
    const QJsonObject first = save();
    QVERIFY(first.contains("CurrentDacCoeffs"));
    const QJsonArray verification = first.value("Verification").toArray();
    QCOMPARE(verification.size(), 1);
    QCOMPARE(verification.first().toObject().value("Unit").toString(), QString("A"));
    QCOMPARE(verification.first().toObject().value("AsLeft").toArray().size(), 9);
    // The evidence went with that record; the next one has none to give.
    QVERIFY(!save().contains("Verification"));
}

void TestCalibrationRun::temperatureM1VerificationsNameTheirChannel()
{
    CalibrateDialog dialog(nullptr, std::make_unique<TestMeter>(QStringList{LC_VISA_LIBRARY}));
    m_driver.reset(moduleKind(TempM1)->createDriver(nullptr));
    m_driver->setIOInterface(m_link.get());
    m_driver->setDevAddress(TempM1Address);
    dialog.setDriver(m_driver.get());
    dialog.setDriverType(TempM1);
    for (int channel : {2, 0}) {
        const SimModule::Output* wired =
            module(TempM1Address)->output(QStringLiteral("voltage%1").arg(channel));
        static_cast<TestMeter*>(dialog.agilent())->measure = [wired] { return wired->value(); };
        dialog.setChannel(channel);
        QTimer::singleShot(0, &dialog, [&] {
            dialog.calibrator()->setPointCount(40);
            child<QComboBox>(&dialog, "cbMode")->setCurrentIndex(0);
            click(&dialog, "pbStart");
            dialog.reject();
        });
        dialog.exec();
    }
    // Both channels' U mode, each with its own entry.
    const QJsonArray entries = dialog.verifications();
    QCOMPARE(entries.size(), 2);
    QSet<int> channels;
    for (QJsonValue const& entry : entries) {
        QCOMPARE(entry.toObject().value("Mode").toString(), QString("U mode"));
        channels << entry.toObject().value("Channel").toInt(-1);
    }
    QCOMPARE(channels, (QSet<int>{0, 2}));
}

void TestCalibrationRun::plotOffersPictures()
{
    CalibrateDialog dialog(nullptr, std::make_unique<TestMeter>(QStringList{LC_VISA_LIBRARY}));
    dialog.plotPerform();
    dialog.appendPoints(0, 100, 0.5, true);
    QTemporaryDir dir;
    QString const file = dir.filePath("fit.pdf");
    QStringList asked;
    auto const saved = OperatorDialogs::chooseSaveFile;
    OperatorDialogs::chooseSaveFile = [&](QWidget*, QString const& caption, QString const&,
                                          QString const&) {
        asked << caption;
        return file;
    };
    auto* plot = child<QCustomPlot>(&dialog, "dataPlot");
    emit plot->customContextMenuRequested(QPoint(5, 5));
    QMenu* menu = dialog.findChild<QMenu*>();
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 2);
    menu->actions().at(1)->trigger();
    OperatorDialogs::chooseSaveFile = saved;
    QCOMPARE(asked, QStringList{"Save picture as PDF..."});
    QFile picture(file);
    QVERIFY(picture.open(QIODevice::ReadOnly));
    QCOMPARE(picture.read(4), QByteArray("%PDF"));
}

QTEST_MAIN(TestCalibrationRun)
#include "tst_calibrationrun.moc"
