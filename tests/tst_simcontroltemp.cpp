// The simulated control line, heater and temperature modules, driven through
// the real host drivers over TCP to an in-process server.
#include "simcrate.h"
#include "simheaterm0.h"
#include "simserver.h"
#include "simsiscontrollinem0.h"
#include "simtempdriverm0.h"
#include "simtempdriverm1.h"

#include "heaterdriverm0.h"
#include "lctcpsocketiointerface.h"
#include "siscontrollinedriverm0.h"
#include "tempdriverm0.h"
#include "tempdriverm1.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace {

constexpr quint8 clAddress = 4;
constexpr quint8 heaterAddress = 5;
constexpr quint8 tdm0Address = 6;
constexpr quint8 tdm1Address = 7;

// A crate with one module of each of the four kinds, served on 127.0.0.1.
struct Unit
{
    SimCrate crate;
    std::unique_ptr<SimServer> server;
    lcTcpSocketIOInterface link;

    Unit()
    {
        QString error;
        crate.addModule(clAddress, "LC4CLM0", &error);
        crate.addModule(heaterAddress, "LC4HTM0", &error);
        crate.addModule(tdm0Address, "LC4TDM0", &error);
        crate.addModule(tdm1Address, "LC4TDM1", &error);
        server = std::make_unique<SimServer>(&crate, SimServerConfig());
        if (!server->listen(QHostAddress::LocalHost, 0, &error))
            qFatal("cannot listen: %s", qPrintable(error));
        link.setAddress(QHostAddress::LocalHost);
        link.setPort(server->serverPort());
    }
    template <typename Module> Module* module(quint8 address)
    {
        return qobject_cast<Module*>(crate.module(address));
    }
    template <typename Driver> void attach(Driver& driver, quint8 address)
    {
        driver.setDevAddress(address);
        driver.setIOInterface(&link);
    }
};

struct Line
{
    double slope;
    double intercept;
};

Line fit(const QVector<QPointF>& points)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const QPointF& p : points) {
        sx += p.x();
        sy += p.y();
        sxx += p.x() * p.x();
        sxy += p.x() * p.y();
    }
    const double n = points.size();
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    return {slope, (sy - slope * sx) / n};
}

void setParameter(SimModule* module, const QString& name, double value)
{
    QString error;
    if (!module->setParameter(name, value, &error))
        qFatal("%s", qPrintable(error));
}

bool near(double actual, double expected, double tolerance)
{
    return std::abs(actual - expected) <= tolerance;
}

QByteArray tableBytes(const LC4TDM0V1_Temp_Table_Item_t* items)
{
    return QByteArray(reinterpret_cast<const char*>(items),
                      tempTableItems * int(sizeof(LC4TDM0V1_Temp_Table_Item_t)));
}

} // namespace

#define VERIFY_NEAR(actual, expected, tolerance)                                                   \
    QVERIFY2(near((actual), (expected), (tolerance)),                                              \
             qPrintable(QStringLiteral("%1 is %2, expected %3 +- %4")                              \
                            .arg(#actual)                                                          \
                            .arg(double(actual), 0, 'g', 9)                                        \
                            .arg(double(expected), 0, 'g', 9)                                      \
                            .arg(double(tolerance))))

class TestSimControlTemp : public QObject
{
    Q_OBJECT

private slots:
    void controlLineShortAndRegulation();
    void controlLineCalibrationFixesNominalErrors();
    void heaterPulseAndEmergencyStop();
    void tempM0TableRoundTripAndInterpolation();
    void tempM0SensorAndCalibration();
    void tempM1Channels();
    void tempM1DefaultsTablesAndRefusals();
    void crateKeys();
    void exactConverterErrors();
};

void TestSimControlTemp::controlLineShortAndRegulation()
{
    Unit unit;
    SisControlLineDriverM0 driver;
    unit.attach(driver, clAddress);
    auto* module = unit.module<SimSisControlLineM0>(clAddress);
    bool ok = false;

    // Powers up shorted, so a set point reaches nothing.
    driver.current()->setValueSync(0.02f, &ok, 5);
    QVERIFY(ok);
    LC4CLM0V0_Data_t data = driver.data()->getValueSync(&ok, 5);
    QVERIFY(ok);
    QCOMPARE(int(data.shortEnable), 1);
    QCOMPARE(module->outputCurrent(), 0.0);
    VERIFY_NEAR(data.current, 0.0, 2e-4);

    driver.shortEnable()->setValueSync(false, &ok, 5);
    QVERIFY(ok);
    QCOMPARE(driver.shortEnable()->getValueSync(&ok, 5), false);
    // Regulation holds the module's own reading at the set point.
    VERIFY_NEAR(driver.current()->getValueSync(&ok, 5), 0.02, 2e-5);
    VERIFY_NEAR(module->outputCurrent(), 0.02, 0.02 * 0.03);

    // Regulated set points stay inside the limits.
    driver.currentLimits()->setValueSync({-0.01f, 0.01f}, &ok, 5);
    QVERIFY(ok);
    VERIFY_NEAR(driver.data()->getValueSync(&ok, 5).current, 0.01, 2e-5);
    QCOMPARE(driver.current()->currentValue(), driver.data()->currentValue().current);

    // Open loop, the set point goes through the DAC line unlimited.
    driver.pidEnable()->setValueSync(false, &ok, 5);
    QVERIFY(ok);
    QCOMPARE(driver.pidEnable()->getValueSync(&ok, 5), false);
    VERIFY_NEAR(module->outputCurrent(), 0.02, 0.02 * 0.03);

    driver.shortEnable()->setValueSync(true, &ok, 5);
    QCOMPARE(module->outputCurrent(), 0.0);
    VERIFY_NEAR(driver.current()->getValueSync(&ok, 5), 0.0, 2e-4);

    // A set point that is no number is refused, not applied.
    driver.current()->setValueSync(std::nanf(""), &ok, 1);
    QVERIFY(!ok);
}

void TestSimControlTemp::controlLineCalibrationFixesNominalErrors()
{
    Unit unit;
    SisControlLineDriverM0 driver;
    unit.attach(driver, clAddress);
    auto* module = unit.module<SimSisControlLineM0>(clAddress);
    setParameter(module, "adcNoise", 0);
    bool ok = false;
    driver.pidEnable()->setValueSync(false, &ok, 5);
    driver.shortEnable()->setValueSync(false, &ok, 5);

    const LC4CLM0V0_EEPROM_Const_t nominal = driver.eepromConst()->getValueSync(&ok, 5);
    QVERIFY(ok);
    driver.current()->setValueSync(0.03f, &ok, 5);
    const double before = module->outputCurrent();
    QVERIFY2(!near(before, 0.03, 2e-5), qPrintable(QString::number(before)));

    // The calibration tool's way: identity ADC line, DAC compressed to the middle
    // quarter of the codes, sweep, fit, store.
    constexpr double k = 4.0;
    LC4CLM0V0_EEPROM_Const_t sweep = nominal;
    sweep.currentAdcCoeff = {1.0f, 0.0f};
    sweep.currentDacCoeff = {float(1 / k), float((k - 1) * 32767 / k)};
    driver.eepromConst()->setValueSync(sweep, &ok, 5);
    QVERIFY(ok);
    QVector<QPointF> dacPoints, adcPoints;
    for (double v = 2000; v < 64000; v += 6000) {
        driver.current()->setValueSync(float(v), &ok, 5);
        const double truth = module->outputCurrent();
        dacPoints.append({truth, v});
        adcPoints.append({driver.current()->getValueSync(&ok, 5), truth});
    }
    const Line dacLine = fit(dacPoints);
    const Line adcLine = fit(adcPoints);
    LC4CLM0V0_EEPROM_Const_t calibrated = nominal;
    calibrated.currentDacCoeff = {float(dacLine.slope / k),
                                  float((k - 1) * 32767 / k + dacLine.intercept / k)};
    calibrated.currentAdcCoeff = {float(adcLine.slope), float(adcLine.intercept)};
    driver.eepromConst()->setValueSync(calibrated, &ok, 5);
    QVERIFY(ok);

    // Whole record and single values agree.
    const pair_t<float> dac = driver.currentDacCoeff()->getValueSync(&ok, 5);
    QCOMPARE(dac.first, calibrated.currentDacCoeff.first);
    QCOMPARE(driver.currentStep()->getValueSync(&ok, 5), nominal.currentStep);
    QCOMPARE(driver.eepromConst()->currentValue().currentDacCoeff.second,
             calibrated.currentDacCoeff.second);

    driver.current()->setValueSync(0.03f, &ok, 5);
    VERIFY_NEAR(module->outputCurrent(), 0.03, 1e-5);
    VERIFY_NEAR(driver.current()->getValueSync(&ok, 5), module->outputCurrent(), 5e-6);
}

void TestSimControlTemp::heaterPulseAndEmergencyStop()
{
    Unit unit;
    HeaterDriverM0 driver;
    unit.attach(driver, heaterAddress);
    auto* module = unit.module<SimHeaterM0>(heaterAddress);
    bool ok = false;
    using Phase = SimHeaterM0::Phase;

    driver.maximumCurrent()->setValueSync(0.05f, &ok, 5);
    driver.frontEdgeTime()->setValueSync(0.3f, &ok, 5);
    driver.holdTime()->setValueSync(0.2f, &ok, 5);
    driver.rearEdgeTime()->setValueSync(0.1f, &ok, 5);
    QVERIFY(ok);
    const LC4HT0V0_EEPROM_Const_t constants = driver.eepromConst()->getValueSync(&ok, 5);
    QCOMPARE(constants.maximumCurrent, 0.05f);
    QCOMPARE(constants.holdTime, 0.2f);
    QCOMPARE(driver.rearEdgeTime()->getValueSync(&ok, 5), 0.1f);

    driver.relayStatus()->setValueSync(1, &ok, 5);
    driver.mode()->setValueSync(1, &ok, 5);
    driver.current()->setValueSync(0.08f, &ok, 5);
    QVERIFY(ok);
    // Pulse mode: nothing flows until a pulse starts.
    LC4HTM0V0_Data_t data = driver.data()->getValueSync(&ok, 5);
    QCOMPARE(int(data.relayStatus), 1);
    QCOMPARE(int(data.mode), 1);
    QCOMPARE(module->outputCurrent(), 0.0);

    driver.startHeating()->executeSync(&ok, 5);
    QVERIFY(ok);
    QCOMPARE(module->phase(), Phase::FrontEdge);
    QTRY_COMPARE_WITH_TIMEOUT(module->phase(), Phase::Hold, 2000);
    // The amplitude is held to the maximum current while the heater is connected.
    VERIFY_NEAR(module->outputCurrent(), 0.05, 0.05 * 0.03);
    VERIFY_NEAR(driver.current()->getValueSync(&ok, 5), 0.05, 0.05 * 0.06);

    driver.emergencyStop()->executeSync(&ok, 5);
    QVERIFY(ok);
    QCOMPARE(module->phase(), Phase::Idle);
    QCOMPARE(module->outputCurrent(), 0.0);
    VERIFY_NEAR(driver.current()->getValueSync(&ok, 5), 0.0, 2e-4);

    // A pulse left alone ramps down and ends by itself.
    driver.current()->setValueSync(0.04f, &ok, 5);
    driver.startHeating()->executeSync(&ok, 5);
    QTRY_COMPARE_WITH_TIMEOUT(module->phase(), Phase::RearEdge, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(module->phase(), Phase::Idle, 2000);
    QCOMPARE(module->outputCurrent(), 0.0);

    // Direct mode follows the set point and has no pulse to start.
    driver.mode()->setValueSync(0, &ok, 5);
    VERIFY_NEAR(module->outputCurrent(), 0.04, 0.04 * 0.03);
    QVERIFY(!module->handle(0x0D, QByteArray()));
    // Disconnected, the heater limit does not apply (the calibration's set up).
    driver.relayStatus()->setValueSync(0, &ok, 5);
    driver.current()->setValueSync(0.09f, &ok, 5);
    VERIFY_NEAR(module->outputCurrent(), 0.09, 0.09 * 0.03);
    driver.emergencyStop()->executeSync(&ok, 5);
    QCOMPARE(module->outputCurrent(), 0.0);
}

void TestSimControlTemp::tempM0TableRoundTripAndInterpolation()
{
    Unit unit;
    TempDriverM0 driver;
    unit.attach(driver, tdm0Address);
    auto* module = unit.module<SimTempDriverM0>(tdm0Address);

    // Out of voltage order on purpose: the module orders the points itself.
    LC4TDM0V1_Temp_Table_Item_t* table = driver.tempTable();
    for (int i = 0; i < tempTableItems; ++i) {
        const int j = (i * 37) % tempTableItems;
        table[i] = {float(0.3 + 0.015 * j), float(400.0 - 3.0 * j)};
    }
    const QByteArray sent = tableBytes(table);
    QVERIFY(driver.sendTempTable());
    std::fill(table, table + tempTableItems, LC4TDM0V1_Temp_Table_Item_t{});
    QVERIFY(driver.receiveTempTable());
    QCOMPARE(tableBytes(table), sent);
    QCOMPARE(module->tableItem(99).voltage, table[99].voltage);

    for (double kelvin : {4.2, 30.0, 150.0}) {
        setParameter(module, "temperature", kelvin);
        bool ok = false;
        const LC4TDM0V1_Data_t data = driver.data()->getValueSync(&ok, 5);
        QVERIFY(ok);
        const double voltage = data.tempSensorVoltage;
        // The line through the table: T = 400 - 200 (V - 0.3).
        VERIFY_NEAR(data.temperature, 400.0 - 200.0 * (voltage - 0.3), 1e-3);
        QCOMPARE(driver.temperature()->currentValue(), data.temperature);
    }

    // Chunks that do not fit the table or their own count are not answered.
    QVERIFY(!module->handle(0x28, QByteArray::fromHex("5a0b")));
    QVERIFY(!module->handle(0x28, QByteArray::fromHex("0020")));
    QVERIFY(!module->handle(0x29, QByteArray::fromHex("0002") + QByteArray(8, '\0')));
    QCOMPARE(module->handle(0x28, QByteArray::fromHex("6300"))->size(), 0);
}

void TestSimControlTemp::tempM0SensorAndCalibration()
{
    Unit unit;
    TempDriverM0 driver;
    unit.attach(driver, tdm0Address);
    auto* module = unit.module<SimTempDriverM0>(tdm0Address);
    setParameter(module, "adcNoise", 0);
    bool ok = false;

    // The diode: smooth, falling with temperature, about 1.6 V to 0.5 V.
    VERIFY_NEAR(SimTempDriverM0::diodeVoltage(1.5, 1e-5), 1.6, 0.05);
    VERIFY_NEAR(SimTempDriverM0::diodeVoltage(300, 1e-5), 0.5, 0.01);
    for (double t = 1.5; t < 300; t *= 1.1)
        QVERIFY(SimTempDriverM0::diodeVoltage(t * 1.1, 1e-5) <
                SimTempDriverM0::diodeVoltage(t, 1e-5));

    // Nominal constants and the default table read near, not at, the truth; the
    // pressure is the module's line over the two bridge readings.
    LC4TDM0V1_Data_t data = driver.data()->getValueSync(&ok, 5);
    QVERIFY(ok);
    VERIFY_NEAR(data.temperature, 4.2, 2.0);
    QVERIFY(!near(data.temperature, 4.2, 1e-3));
    LC4TDM0V1_EEPROM_Const_t constants = driver.eepromConst()->getValueSync(&ok, 5);
    VERIFY_NEAR(data.pressure,
                constants.pressSensorCoeff.first *
                        (double(data.pressSensorVoltageP) - data.pressSensorVoltageN) +
                    constants.pressSensorCoeff.second,
                1e-3);

    // The calibration tool's way for the voltage input: commutator on, identity
    // line, sweep the current through the reference load, fit.
    driver.commutator()->setValueSync(true, &ok, 5);
    QCOMPARE(driver.commutator()->getValueSync(&ok, 5), true);
    driver.tempSensorVoltageCoeff()->setValueSync({1.0f, 0.0f}, &ok, 5);
    QVector<QPointF> points;
    for (float current = 2e-6f; current < 29e-6f; current += 4e-6f) {
        driver.tempSensorCurrent()->setValueSync(current, &ok, 5);
        const LC4TDM0V1_Data_t raw = driver.data()->getValueSync(&ok, 5);
        points.append({raw.tempSensorVoltage, module->sensorVoltage()});
        // Every input sees the same load voltage.
        VERIFY_NEAR(raw.pressSensorVoltageP, module->sensorVoltage(),
                    0.03 * module->sensorVoltage() + 2e-3);
    }
    const Line line = fit(points);
    constants.tempSensorVoltageCoeff = {float(line.slope), float(line.intercept)};
    driver.eepromConst()->setValueSync(constants, &ok, 5);
    QCOMPARE(driver.tempSensorVoltageCoeff()->getValueSync(&ok, 5).first, float(line.slope));
    driver.commutator()->setValueSync(false, &ok, 5);
    driver.tempSensorCurrent()->setValueSync(1e-5f, &ok, 5);
    data = driver.data()->getValueSync(&ok, 5);
    QCOMPARE(int(data.commutator), 0);
    VERIFY_NEAR(data.tempSensorVoltage, module->sensorVoltage(), 1e-4);
    VERIFY_NEAR(data.temperature, 4.2, 0.05);
    VERIFY_NEAR(data.tempSensorCurrent, module->sensorCurrent(), 2e-7);
}

void TestSimControlTemp::tempM1Channels()
{
    Unit unit;
    TempDriverM1 driver;
    unit.attach(driver, tdm1Address);
    auto* module = unit.module<SimTempDriverM1>(tdm1Address);
    const double truth[] = {4.2, 20.0, 77.0, 300.0};
    for (int ch = 0; ch < 4; ++ch)
        setParameter(module, QStringLiteral("temperature%1").arg(ch), truth[ch]);
    setParameter(module, "gainError", 0);
    setParameter(module, "zeroError", 0);
    setParameter(module, "adcNoise", 0);

    QVERIFY(driver.updateTemperature());
    for (int ch = 0; ch < 4; ++ch)
        VERIFY_NEAR(driver.currentTemperature(ch), truth[ch], 0.02 * truth[ch]);

    // A channel request answers that channel only.
    TempDriverM1 fresh;
    unit.attach(fresh, tdm1Address);
    QVERIFY(fresh.updateVoltage(2));
    VERIFY_NEAR(fresh.currentVoltage(2), module->inputVoltage(2), 1e-4);
    QCOMPARE(fresh.currentVoltage(1), 0.0f);
    QCOMPARE(fresh.currentVoltage(3), 0.0f);
    QCOMPARE(module->handle(0x15, QByteArray(1, '\2'))->size(), 4);
    QCOMPARE(module->handle(0x15, QByteArray(1, '\xFF'))->size(), 16);
    QVERIFY(!module->handle(0x15, QByteArray(1, '\4')));

    // Relays: the high nibble says which ones a write changes.
    bool ok = false;
    QCOMPARE(int(driver.relaysStatus()->getValueSync(&ok, 5).status()), 0x0F);
    cRelaysStatus relays;
    relays.setValue(2, false);
    driver.relaysStatus()->setValueSync(relays, &ok, 5);
    QVERIFY(ok);
    QCOMPARE(int(driver.relaysStatus()->getValueSync(&ok, 5).status()), 0x0D);
    QVERIFY(driver.updateVoltage(1));
    QCOMPARE(driver.currentVoltage(1), 0.0f);
    driver.relaysStatus()->setValueSync(cRelaysStatus(), &ok, 5);
    QCOMPARE(int(module->relays()), 0x0D);

    // Per-channel and all-channel current settings.
    QVERIFY(driver.setCurrent(3, 2e-5f));
    QVERIFY(driver.updateVoltage());
    VERIFY_NEAR(driver.currentVoltage(3), SimTempDriverM0::diodeVoltage(300, 2e-5), 1e-3);
    VERIFY_NEAR(driver.currentVoltage(0), SimTempDriverM0::diodeVoltage(4.2, 1e-5), 1e-3);
    QVERIFY(driver.setCurrent(5e-6f));
    VERIFY_NEAR(module->sensorCurrent(0), 5e-6, 1e-9);
    VERIFY_NEAR(module->sensorCurrent(3), 5e-6, 1e-9);

    // Calibration routing: every channel sees the reference load.
    driver.switcherMode()->setValueSync(cmd::LC4TDM1_SwitcherCalibration, &ok, 5);
    QVERIFY(ok);
    QCOMPARE(driver.switcherMode()->getValueSync(&ok, 5), cmd::LC4TDM1_SwitcherCalibration);
    QVERIFY(driver.updateVoltage(1));
    VERIFY_NEAR(driver.currentVoltage(1), 5e-6 * 80e3, 1e-3);
    QVERIFY(!module->handle(0x2D, QByteArray(1, '\3')));
    QCOMPARE(int(module->switcher()), 0);
}

void TestSimControlTemp::tempM1DefaultsTablesAndRefusals()
{
    Unit unit;
    TempDriverM1 driver;
    unit.attach(driver, tdm1Address);
    auto* module = unit.module<SimTempDriverM1>(tdm1Address);

    QVERIFY(driver.readDefaultParams());
    for (int ch = 0; ch < 4; ++ch) {
        QVERIFY(driver.defaultParam(ch).enable);
        QCOMPARE(driver.defaultParam(ch).current, 1e-5f);
    }
    QVERIFY(driver.readEepromCoeffs());
    TDM1_EepromCoeff coeff = driver.eepromCoeff(2);
    coeff.voltageCoeff.second = 0.25f;
    driver.setEepromCoeff(2, coeff);
    QVERIFY(driver.writeEepromCoeffs());
    QCOMPARE(module->coeff(2).voltageCoeff.second, 0.25f);
    QCOMPARE(module->coeff(1).voltageCoeff.second, driver.eepromCoeff(1).voltageCoeff.second);

    // Each channel its own table, forty chunks each way.
    for (int ch = 0; ch < 4; ++ch) {
        for (int i = 0; i < tempTableItems; ++i)
            driver.setTempTableItem(ch, i, {float(ch + i * 0.01), float(100 * ch + i)});
    }
    QByteArray sent;
    for (int ch = 0; ch < 4; ++ch)
        sent += tableBytes(driver.tempTable(ch));
    QVERIFY(driver.sendTempTables());
    TempDriverM1 reader;
    unit.attach(reader, tdm1Address);
    QVERIFY(reader.receiveTempTables());
    QByteArray received;
    for (int ch = 0; ch < 4; ++ch)
        received += tableBytes(reader.tempTable(ch));
    QCOMPARE(received, sent);

    // New defaults apply from the EEPROM at reboot; unsaved ones are gone then.
    DefaultParam off;
    driver.setDefaultParam(3, off);
    QVERIFY(driver.writeDefaultParams());
    bool ok = false;
    driver.writeEeprom()->executeSync(&ok, 5);
    QVERIFY(ok);
    driver.reboot()->executeSync(&ok, 5);
    QVERIFY(ok);
    QCOMPARE(int(module->relays()), 0x07);
    QCOMPARE(module->sensorCurrent(3), 0.0);
    QVERIFY(reader.readDefaultParams());
    QVERIFY(!reader.defaultParam(3).enable);
    QCOMPARE(module->tableItem(1, 5).temperature, 105.0f);

    // Malformed requests stay unanswered.
    QVERIFY(!module->handle(0x14, QByteArray::fromHex("04") + QByteArray(4, '\0')));
    QVERIFY(!module->handle(0x2F, QByteArray(19, '\0')));
    QVERIFY(!module->handle(0x28, QByteArray::fromHex("045a0a")));
    QVERIFY(!module->handle(0x29, QByteArray::fromHex("005a0b") + QByteArray(88, '\0')));
}

void TestSimControlTemp::crateKeys()
{
    SimCrate crate;
    QString error;
    QVERIFY2(crate.loadJson(R"({"modules":[
        {"address":1,"kind":"LC4TDM0","temperature":77,"pressure":50},
        {"address":2,"kind":"LC4TDM1","temperature3":300,"calibrationLoad":1e4},
        {"address":3,"kind":"LC4HTM0","outputLimit":0.5,"gainError":0}]})",
                            &error),
             qPrintable(error));
    QCOMPARE(qobject_cast<SimTempDriverM0*>(crate.module(1))->trueTemperature(), 77.0);
    SimCrate other;
    QVERIFY(
        !other.loadJson(R"({"modules":[{"address":1,"kind":"LC4TDM0","temperature":0}]})", &error));
    QVERIFY2(error.contains("temperature"), qPrintable(error));
    QVERIFY(
        !other.loadJson(R"({"modules":[{"address":1,"kind":"LC4CLM0","temperature":4}]})", &error));
}

void TestSimControlTemp::exactConverterErrors()
{
    SimCrate crate;
    QString error;
    QVERIFY2(crate.loadJson(R"({"modules":[
        {"address":1,"kind":"LC4HTM0","gainError":0.02,"zeroError":40,"errorSign":-1},
        {"address":2,"kind":"LC4CLM0","gainError":0.03,"zeroError":25,"errorSign":1}]})",
                            &error),
             qPrintable(error));
    auto* heater = qobject_cast<SimHeaterM0*>(crate.module(1));
    for (const SimConverter& converter : {heater->dac(), heater->adc()}) {
        QCOMPARE(heater->trueGain(converter), converter.gain * 0.98);
        QCOMPARE(heater->trueZero(converter), converter.zeroCode - 40);
    }
    auto* line = qobject_cast<SimSisControlLineM0*>(crate.module(2));
    for (const SimConverter& converter : {line->dac(), line->adc()}) {
        QCOMPARE(line->trueGain(converter), converter.gain * 1.03);
        QCOMPARE(line->trueZero(converter), converter.zeroCode + 25);
    }
    // Without a sign the errors stay below their largest values.
    SimHeaterM0 plain(3);
    QVERIFY(std::abs(plain.trueGain(plain.dac()) / plain.dac().gain - 1) <= 0.01);

    for (const char* sign : {"0.5", "2", "-1.5"}) {
        SimCrate refused;
        QVERIFY(!refused.loadJson(QByteArray(R"({"modules":[{"address":1,"kind":"LC4TDM1",)") +
                                      R"("errorSign":)" + sign + "}]}",
                                  &error));
        QVERIFY2(error.contains("errorSign") && error.contains("whole"), qPrintable(error));
    }
}

QTEST_GUILESS_MAIN(TestSimControlTemp)
#include "tst_simcontroltemp.moc"
