#include "simtempdriverm0.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

enum : quint8
{
    CmdData = 0x10,
    CmdTemperature = 0x11,
    CmdPressure = 0x12,
    CmdGetCurrent = 0x13,
    CmdSetCurrent = 0x14,
    CmdVoltage = 0x15,
    CmdPressVoltageP = 0x16,
    CmdPressVoltageN = 0x17,
    CmdGetCommutator = 0x18,
    CmdSetCommutator = 0x19,
    CmdGetConstants = 0x1A,
    CmdSetConstants = 0x1B,
    CmdGetTable = 0x28,
    CmdSetTable = 0x29,
};

constexpr int itemBytes = int(sizeof(LC4TDM0V1_Temp_Table_Item_t));
constexpr double boltzmannOverCharge = 8.617333e-5; // V/K

QByteArray floatBytes(double value)
{
    return DriverValueCodec<float>::encode(float(value));
}

} // namespace

SimTempDriverM0::SimTempDriverM0(quint8 address, QObject* parent)
    : SimCalibratedModule(QStringLiteral("LC4TDM0"), address, parent)
{
    setTypeString(QStringLiteral("LC4TDM0 temperature driver"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("Temperature driver, modification 0 (simulated)"));
    setConstantsRecord(eepromSize,
                       DriverValueCodec<LC4TDM0V1_EEPROM_Const_t>::encode(defaultConstants()) +
                           defaultTable());
    addParameter(QStringLiteral("gainError"), &m_gainError, 0.0, 0.2);
    addParameter(QStringLiteral("zeroError"), &m_zeroError, 0.0, 2000.0);
    addParameter(QStringLiteral("temperature"), &m_temperature, 1.0, 400.0);
    addParameter(QStringLiteral("pressure"), &m_pressure, 0.0, 1000.0);
    addParameter(QStringLiteral("calibrationLoad"), &m_calibrationLoad, 1.0, 1e7);
    addOutput(QStringLiteral("current"), Quantity::Current, [this] { return sensorCurrent(); });
    addOutput(QStringLiteral("voltage"), Quantity::Voltage, [this] { return sensorVoltage(); });
    addOutput(QStringLiteral("pressureVoltageP"), Quantity::Voltage,
              [this] { return pressureVoltage(true); });
    addOutput(QStringLiteral("pressureVoltageN"), Quantity::Voltage,
              [this] { return pressureVoltage(false); });

    setCommand(CmdData, [this](const QByteArray&) -> std::optional<QByteArray> {
        return DriverValueCodec<LC4TDM0V1_Data_t>::encode(sample());
    });
    const auto reading = [this](quint8 command, float LC4TDM0V1_Data_t::*field) {
        setCommand(command, [this, field](const QByteArray&) -> std::optional<QByteArray> {
            return floatBytes(sample().*field);
        });
    };
    reading(CmdTemperature, &LC4TDM0V1_Data_t::temperature);
    reading(CmdPressure, &LC4TDM0V1_Data_t::pressure);
    reading(CmdGetCurrent, &LC4TDM0V1_Data_t::tempSensorCurrent);
    reading(CmdVoltage, &LC4TDM0V1_Data_t::tempSensorVoltage);
    reading(CmdPressVoltageP, &LC4TDM0V1_Data_t::pressSensorVoltageP);
    reading(CmdPressVoltageN, &LC4TDM0V1_Data_t::pressSensorVoltageN);
    setCommand(CmdSetCurrent, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        float value = 0;
        if (!decodeExact(payload, &value) || !std::isfinite(value))
            return std::nullopt;
        m_setCurrent = value;
        return ack();
    });
    setCommand(CmdGetCommutator, [this](const QByteArray&) -> std::optional<QByteArray> {
        return DriverValueCodec<bool>::encode(m_commutator);
    });
    setCommand(CmdSetCommutator, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        if (payload.size() != 1)
            return std::nullopt;
        m_commutator = payload.at(0) != 0;
        return ack();
    });

    using C = LC4TDM0V1_EEPROM_Const_t;
    addConstantField(CmdGetConstants, CmdSetConstants, 0, constantsBytes);
    addConstantField(0x1C, 0x1D, offsetof(C, tempSensorCurrentAdcCoeff), 8);
    addConstantField(0x1E, 0x1F, offsetof(C, tempSensorCurrentDacCoeff), 8);
    addConstantField(0x20, 0x21, offsetof(C, tempSensorVoltageCoeff), 8);
    addConstantField(0x22, 0x23, offsetof(C, pressSensorVoltagePCoeff), 8);
    addConstantField(0x24, 0x25, offsetof(C, pressSensorVoltageNCoeff), 8);
    addConstantField(0x26, 0x27, offsetof(C, pressSensorCoeff), 8);

    setCommand(CmdGetTable, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        if (payload.size() != 2)
            return std::nullopt;
        const int start = quint8(payload.at(0));
        const int count = quint8(payload.at(1));
        if (!validChunk(start, count))
            return std::nullopt;
        return workingConstants().mid(constantsBytes + start * itemBytes, count * itemBytes);
    });
    setCommand(CmdSetTable, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        if (payload.size() < 2)
            return std::nullopt;
        const int start = quint8(payload.at(0));
        const int count = quint8(payload.at(1));
        // A count that does not match the items sent would misplace them.
        if (!validChunk(start, count) || payload.size() != 2 + count * itemBytes)
            return std::nullopt;
        replaceConstants(constantsBytes + start * itemBytes, payload.mid(2));
        return ack();
    });
}

LC4TDM0V1_EEPROM_Const_t SimTempDriverM0::defaultConstants() const
{
    LC4TDM0V1_EEPROM_Const_t constants = {};
    constants.tempSensorCurrentAdcCoeff = nominalAdcCoeff(currentAdc());
    constants.tempSensorCurrentDacCoeff = nominalDacCoeff(currentDac());
    constants.tempSensorVoltageCoeff = nominalAdcCoeff(voltageAdc());
    constants.pressSensorVoltagePCoeff = nominalAdcCoeff(pressPAdc());
    constants.pressSensorVoltageNCoeff = nominalAdcCoeff(pressNAdc());
    constants.pressSensorCoeff = {float(1.0 / bridgeSensitivity), 0.0f};
    return constants;
}

LC4TDM0V1_EEPROM_Const_t SimTempDriverM0::constants() const
{
    return constant<LC4TDM0V1_EEPROM_Const_t>(0);
}

LC4TDM0V1_Temp_Table_Item_t SimTempDriverM0::tableItem(int index) const
{
    return constant<LC4TDM0V1_Temp_Table_Item_t>(constantsBytes + index * itemBytes);
}

double SimTempDriverM0::diodeVoltage(double kelvin, double amperes)
{
    if (!(amperes > 0.0) || !std::isfinite(kelvin))
        return 0.0;
    const double t = std::clamp(kelvin, 0.5, 500.0);
    // A linear fall over the whole range plus the steep rise of the low end.
    const double nominal = 0.5 + 0.00224 * (300.0 - t) + 0.5 * std::exp(-t / 10.0);
    const double v = nominal + boltzmannOverCharge * t * std::log(amperes / nominalSensorCurrent);
    return std::max(0.0, v);
}

QByteArray SimTempDriverM0::defaultTable()
{
    QByteArray table;
    for (int i = 0; i < tempTableItems; ++i) {
        // Denser at the low end, where the curve bends.
        const double kelvin = 1.5 * std::pow(200.0, double(i) / (tempTableItems - 1));
        const LC4TDM0V1_Temp_Table_Item_t item = {float(diodeVoltage(kelvin, nominalSensorCurrent)),
                                                  float(kelvin)};
        table += DriverValueCodec<LC4TDM0V1_Temp_Table_Item_t>::encode(item);
    }
    return table;
}

double SimTempDriverM0::interpolate(const LC4TDM0V1_Temp_Table_Item_t* items, int count,
                                    double voltage)
{
    std::vector<LC4TDM0V1_Temp_Table_Item_t> points;
    for (int i = 0; i < count; ++i) {
        const LC4TDM0V1_Temp_Table_Item_t& item = items[i];
        if (!std::isfinite(item.voltage) || !std::isfinite(item.temperature) ||
            (item.voltage == 0.0f && item.temperature == 0.0f))
            continue;
        points.push_back(item);
    }
    if (points.empty() || !std::isfinite(voltage))
        return std::nan("");
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.voltage < b.voltage; });
    if (voltage <= points.front().voltage)
        return points.front().temperature;
    if (voltage >= points.back().voltage)
        return points.back().temperature;
    const auto upper =
        std::upper_bound(points.begin(), points.end(), voltage,
                         [](double v, const auto& item) { return v < double(item.voltage); });
    const auto lower = upper - 1;
    const double span = double(upper->voltage) - double(lower->voltage);
    const double fraction = (voltage - double(lower->voltage)) / span;
    return double(lower->temperature) +
           fraction * (double(upper->temperature) - double(lower->temperature));
}

bool SimTempDriverM0::validChunk(int start, int count)
{
    return count <= maxChunkItems && start + count <= tempTableItems;
}

double SimTempDriverM0::sensorCurrent() const
{
    return dacOutput(currentDac(),
                     dacCode(constants().tempSensorCurrentDacCoeff, m_setCurrent, currentDac()));
}

double SimTempDriverM0::sensorVoltage() const
{
    if (m_commutator)
        return sensorCurrent() * m_calibrationLoad;
    return diodeVoltage(m_temperature, sensorCurrent());
}

double SimTempDriverM0::pressureVoltage(bool positive) const
{
    if (m_commutator)
        return sensorCurrent() * m_calibrationLoad;
    const double half = m_pressure * bridgeSensitivity / 2;
    return bridgeCommonMode + (positive ? half : -half);
}

double SimTempDriverM0::temperatureFor(double voltage) const
{
    LC4TDM0V1_Temp_Table_Item_t items[tempTableItems];
    for (int i = 0; i < tempTableItems; ++i)
        items[i] = tableItem(i);
    return interpolate(items, tempTableItems, voltage);
}

LC4TDM0V1_Data_t SimTempDriverM0::sample()
{
    const LC4TDM0V1_EEPROM_Const_t c = constants();
    LC4TDM0V1_Data_t data = {};
    data.tempSensorCurrent =
        float(adcReading(currentAdc(), c.tempSensorCurrentAdcCoeff, sensorCurrent()));
    data.tempSensorVoltage =
        float(adcReading(voltageAdc(), c.tempSensorVoltageCoeff, sensorVoltage()));
    data.pressSensorVoltageP =
        float(adcReading(pressPAdc(), c.pressSensorVoltagePCoeff, pressureVoltage(true)));
    data.pressSensorVoltageN =
        float(adcReading(pressNAdc(), c.pressSensorVoltageNCoeff, pressureVoltage(false)));
    // Computed from the readings as sent, so the record agrees with itself.
    data.temperature = float(temperatureFor(data.tempSensorVoltage));
    data.pressure = float(double(c.pressSensorCoeff.first) *
                              (double(data.pressSensorVoltageP) - data.pressSensorVoltageN) +
                          c.pressSensorCoeff.second);
    data.commutator = m_commutator ? 1 : 0;
    return data;
}

void SimTempDriverM0::stateChanged(State previous)
{
    Q_UNUSED(previous)
    if (state() == State::ShutDown)
        m_setCurrent = 0.0;
    if (state() == State::Idle) {
        m_setCurrent = nominalSensorCurrent;
        m_commutator = false;
    }
}
