#include "simtempdriverm1.h"

#include "simtempdriverm0.h"

#include <algorithm>
#include <cmath>

namespace {

enum : quint8
{
    CmdTemperatures = 0x11,
    CmdCurrent = 0x14,
    CmdVoltages = 0x15,
    CmdGetCoeffs = 0x1A,
    CmdSetCoeffs = 0x1B,
    CmdGetTable = 0x28,
    CmdSetTable = 0x29,
    CmdGetRelays = 0x2A,
    CmdSetRelays = 0x2B,
    CmdGetSwitcher = 0x2C,
    CmdSetSwitcher = 0x2D,
    CmdGetDefaults = 0x2E,
    CmdSetDefaults = 0x2F,
};

constexpr int itemBytes = int(sizeof(LC4TDM0V1_Temp_Table_Item_t));

bool validChannel(int ch)
{
    return ch >= 0 && ch < SimTempDriverM1::channels;
}

} // namespace

SimTempDriverM1::SimTempDriverM1(quint8 address, QObject* parent)
    : SimCalibratedModule(QStringLiteral("LC4TDM1"), address, parent)
{
    setTypeString(QStringLiteral("LC4TDM1 temperature driver"));
    setModificationVersion(QStringLiteral("1"));
    setDescription(QStringLiteral("Temperature driver, modification 1 (simulated)"));
    setConstantsRecord(eepromSize, defaultEeprom());
    addParameter(QStringLiteral("gainError"), &m_gainError, 0.0, 0.2);
    addParameter(QStringLiteral("zeroError"), &m_zeroError, 0.0, 2000.0);
    for (int ch = 0; ch < channels; ++ch)
        addParameter(QStringLiteral("temperature%1").arg(ch), &m_temperature[ch], 1.0, 400.0);
    addParameter(QStringLiteral("calibrationLoad"), &m_calibrationLoad, 1.0, 1e7);
    for (int ch = 0; ch < channels; ++ch) {
        addOutput(QStringLiteral("current%1").arg(ch), Quantity::Current, [this, ch] {
            if (!m_poweredUp)
                powerUp();
            return sensorCurrent(ch);
        });
        addOutput(QStringLiteral("voltage%1").arg(ch), Quantity::Voltage, [this, ch] {
            if (!m_poweredUp)
                powerUp();
            return inputVoltage(ch);
        });
    }

    command(CmdVoltages, [this](const QByteArray& payload) {
        return perChannel(payload, &SimTempDriverM1::readVoltage);
    });
    command(CmdTemperatures, [this](const QByteArray& payload) {
        return perChannel(payload, &SimTempDriverM1::readTemperature);
    });
    // Getter and setter share the code: [ch][current] sets, [ch] reads the set value.
    command(CmdCurrent, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        if (payload.size() == 1) {
            return perChannel(payload,
                              [](SimTempDriverM1* self, int ch) { return self->m_setCurrent[ch]; });
        }
        const quint8 ch = payload.isEmpty() ? 0 : quint8(payload.at(0));
        float value = 0;
        if (!(validChannel(ch) || ch == allChannels) || !decodeExact(payload.mid(1), &value) ||
            !std::isfinite(value))
            return std::nullopt;
        for (int i = 0; i < channels; ++i) {
            if (ch == allChannels || ch == i)
                m_setCurrent[i] = value;
        }
        return ack();
    });

    command(CmdGetRelays, [this](const QByteArray&) -> std::optional<QByteArray> {
        return QByteArray(1, char(m_relays));
    });
    command(CmdSetRelays, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        if (payload.size() != 1)
            return std::nullopt;
        // Only the relays marked in the high nibble change.
        const quint8 byte = quint8(payload.at(0));
        const quint8 mask = byte >> 4;
        m_relays = quint8((m_relays & ~mask) | (byte & mask)) & 0x0F;
        return ack();
    });
    command(CmdGetSwitcher, [this](const QByteArray&) -> std::optional<QByteArray> {
        return QByteArray(1, char(m_switcher));
    });
    command(CmdSetSwitcher, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        const qint8 mode = payload.size() == 1 ? qint8(payload.at(0)) : qint8(-1);
        if (mode < SwitcherCalibration || mode > SwitcherSensors)
            return std::nullopt;
        m_switcher = mode;
        return ack();
    });

    const auto record = [this](quint8 getter, quint8 setter, int offset, int size) {
        command(getter,
                [this, offset, size](const QByteArray& payload) -> std::optional<QByteArray> {
                    if (!payload.isEmpty())
                        return std::nullopt;
                    return workingConstants().mid(offset, size);
                });
        command(setter,
                [this, offset, size](const QByteArray& payload) -> std::optional<QByteArray> {
                    if (payload.size() != size)
                        return std::nullopt;
                    replaceConstants(offset, payload);
                    return ack();
                });
    };
    record(CmdGetCoeffs, CmdSetCoeffs, 0, channels * coeffBytes);
    record(CmdGetDefaults, CmdSetDefaults, defaultsOffset, channels * defaultParamBytes);

    const auto tableOffset = [](int ch, int start) {
        return tablesOffset + ch * tableBytes + start * itemBytes;
    };
    command(CmdGetTable,
            [this, tableOffset](const QByteArray& payload) -> std::optional<QByteArray> {
                if (payload.size() != 3)
                    return std::nullopt;
                const int ch = quint8(payload.at(0));
                const int start = quint8(payload.at(1));
                const int count = quint8(payload.at(2));
                if (!validChannel(ch) || !SimTempDriverM0::validChunk(start, count))
                    return std::nullopt;
                return workingConstants().mid(tableOffset(ch, start), count * itemBytes);
            });
    command(CmdSetTable,
            [this, tableOffset](const QByteArray& payload) -> std::optional<QByteArray> {
                if (payload.size() < 3)
                    return std::nullopt;
                const int ch = quint8(payload.at(0));
                const int start = quint8(payload.at(1));
                const int count = quint8(payload.at(2));
                if (!validChannel(ch) || !SimTempDriverM0::validChunk(start, count) ||
                    payload.size() != 3 + count * itemBytes)
                    return std::nullopt;
                replaceConstants(tableOffset(ch, start), payload.mid(3));
                return ack();
            });
}

QByteArray SimTempDriverM1::defaultEeprom() const
{
    QByteArray eeprom;
    const TDM1_EepromCoeff nominal = {nominalDacCoeff(currentDac(0)),
                                      nominalAdcCoeff(voltageAdc(0))};
    for (int ch = 0; ch < channels; ++ch)
        eeprom += DriverValueCodec<TDM1_EepromCoeff>::encode(nominal);
    for (int ch = 0; ch < channels; ++ch)
        eeprom +=
            '\1' + DriverValueCodec<float>::encode(float(SimTempDriverM0::nominalSensorCurrent));
    const QByteArray table = SimTempDriverM0::defaultTable();
    for (int ch = 0; ch < channels; ++ch)
        eeprom += table;
    return eeprom;
}

TDM1_EepromCoeff SimTempDriverM1::coeff(int ch) const
{
    return constant<TDM1_EepromCoeff>(ch * coeffBytes);
}

DefaultParam SimTempDriverM1::defaultParam(int ch) const
{
    const int at = defaultsOffset + ch * defaultParamBytes;
    DefaultParam param;
    param.enable = workingConstants().at(at) != 0;
    param.current = constant<float>(at + 1);
    return param;
}

LC4TDM0V1_Temp_Table_Item_t SimTempDriverM1::tableItem(int ch, int index) const
{
    return constant<LC4TDM0V1_Temp_Table_Item_t>(tablesOffset + ch * tableBytes +
                                                 index * itemBytes);
}

void SimTempDriverM1::command(quint8 code, Handler handler)
{
    setCommand(code, [this, handler](const QByteArray& payload) {
        if (!m_poweredUp)
            powerUp();
        return handler(payload);
    });
}

void SimTempDriverM1::powerUp()
{
    m_poweredUp = true;
    m_relays = 0;
    for (int ch = 0; ch < channels; ++ch) {
        const DefaultParam param = defaultParam(ch);
        const bool usable = param.enable && std::isfinite(param.current);
        m_setCurrent[ch] = usable ? param.current : 0.0;
        if (usable)
            m_relays |= quint8(1 << ch);
    }
    m_switcher = SwitcherSensors;
}

double SimTempDriverM1::sensorCurrent(int ch) const
{
    if (!validChannel(ch) || m_switcher == SwitcherOff ||
        (m_switcher == SwitcherSensors && !(m_relays & (1 << ch))))
        return 0.0;
    const double code = dacCode(coeff(ch).currentCoeff, m_setCurrent[ch], currentDac(ch));
    return dacOutput(currentDac(ch), code);
}

double SimTempDriverM1::inputVoltage(int ch) const
{
    const double current = sensorCurrent(ch);
    if (current == 0.0)
        return 0.0;
    if (m_switcher == SwitcherCalibration)
        return current * m_calibrationLoad;
    return SimTempDriverM0::diodeVoltage(m_temperature[ch], current);
}

double SimTempDriverM1::readVoltage(int ch)
{
    return adcReading(voltageAdc(ch), coeff(ch).voltageCoeff, inputVoltage(ch));
}

double SimTempDriverM1::readTemperature(int ch)
{
    LC4TDM0V1_Temp_Table_Item_t items[tempTableItems];
    for (int i = 0; i < tempTableItems; ++i)
        items[i] = tableItem(ch, i);
    return SimTempDriverM0::interpolate(items, tempTableItems, readVoltage(ch));
}

std::optional<QByteArray>
SimTempDriverM1::perChannel(const QByteArray& payload,
                            const std::function<double(SimTempDriverM1*, int)>& read)
{
    if (payload.size() != 1)
        return std::nullopt;
    const quint8 ch = quint8(payload.at(0));
    if (ch == allChannels) {
        QByteArray answer;
        for (int i = 0; i < channels; ++i)
            answer += DriverValueCodec<float>::encode(float(read(this, i)));
        return answer;
    }
    if (!validChannel(ch))
        return std::nullopt;
    return DriverValueCodec<float>::encode(float(read(this, ch)));
}

void SimTempDriverM1::stateChanged(State previous)
{
    Q_UNUSED(previous)
    if (!m_poweredUp)
        powerUp();
    if (state() == State::ShutDown) {
        for (double& current : m_setCurrent)
            current = 0.0;
    }
    // A reboot starts again from the defaults the EEPROM holds.
    if (state() == State::Idle)
        powerUp();
}
