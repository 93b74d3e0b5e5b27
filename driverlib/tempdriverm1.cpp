#include "tempdriverm1.h"

#include <QPointer>

#include <algorithm>

namespace {
using FloatCodec = DriverValueCodec<float>;
using PairCodec = DriverValueCodec<pair_t<float>>;

bool validChannel(int ch)
{
    return ch >= 0 && ch < TempDriverM1::channels;
}
} // namespace

TempDriverM1::TempDriverM1(QObject* parent)
    : CommonDriver(parent), m_relaysStatus(new DriverProperty<cRelaysStatus>(this, 0x2A, 0x2B)),
      m_switcherMode(new DriverProperty<cmd::enum_LC4TDM1_SwitcherMode>(this, 0x2C, 0x2D)),
      m_voltages(new DriverProperty_p(this, 0x15, noCommand)),
      // The module answers the current setting with the same code, so it lands
      // on the getter side; nothing reads it.
      m_currentSetting(new DriverProperty_p(this, 0x14, 0x14)),
      m_temperatures(new DriverProperty_p(this, 0x11, noCommand)),
      m_defaultParams(new DriverProperty_p(this, 0x2E, 0x2F)),
      m_eepromCoeffs(new DriverProperty_p(this, 0x1A, 0x1B)),
      m_tempTables(new DriverProperty_p(this, 0x28, 0x29))
{
}

TempDriverM1::~TempDriverM1()
{
    deleteInOrder(m_relaysStatus, m_switcherMode, m_voltages, m_currentSetting, m_temperatures,
                  m_defaultParams, m_eepromCoeffs, m_tempTables);
}

float TempDriverM1::currentVoltage(quint8 ch) const
{
    return validChannel(ch) ? m_voltage[ch] : 0.0f;
}

float TempDriverM1::currentTemperature(quint8 ch) const
{
    return validChannel(ch) ? m_temperature[ch] : 0.0f;
}

DefaultParam TempDriverM1::defaultParam(quint8 ch) const
{
    return validChannel(ch) ? m_defaultParam[ch] : DefaultParam();
}

void TempDriverM1::setDefaultParam(int ch, DefaultParam const& param)
{
    if (validChannel(ch))
        m_defaultParam[ch] = param;
}

TDM1_EepromCoeff TempDriverM1::eepromCoeff(quint8 ch) const
{
    return validChannel(ch) ? m_eepromCoeff[ch] : TDM1_EepromCoeff();
}

void TempDriverM1::setEepromCoeff(quint8 ch, TDM1_EepromCoeff const& coeff)
{
    if (validChannel(ch))
        m_eepromCoeff[ch] = coeff;
}

LC4TDM0V1_Temp_Table_Item_t* TempDriverM1::tempTable(quint8 ch)
{
    return validChannel(ch) ? m_tempTable[ch] : nullptr;
}

const LC4TDM0V1_Temp_Table_Item_t* TempDriverM1::tempTable(quint8 ch) const
{
    return validChannel(ch) ? m_tempTable[ch] : nullptr;
}

LC4TDM0V1_Temp_Table_Item_t TempDriverM1::tempTableItem(quint8 ch, quint8 i) const
{
    return validChannel(ch) && i < tempTableItems ? m_tempTable[ch][i]
                                                  : LC4TDM0V1_Temp_Table_Item_t();
}

void TempDriverM1::setTempTable(quint8 ch, const LC4TDM0V1_Temp_Table_Item_t* items)
{
    if (validChannel(ch) && items)
        std::copy(items, items + tempTableItems, m_tempTable[ch]);
}

void TempDriverM1::setTempTableItem(quint8 ch, quint8 i, LC4TDM0V1_Temp_Table_Item_t const& item)
{
    if (validChannel(ch) && i < tempTableItems)
        m_tempTable[ch][i] = item;
}

bool TempDriverM1::fetch(DriverProperty_p* property, QByteArray const& request, int attempts,
                         int size, QByteArray* answer)
{
    const QPointer<TempDriverM1> alive(this);
    // A wait can also end on some other frame of the module; an emptied buffer
    // keeps an earlier answer from passing for this one.
    property->setBufferData(QByteArray());
    bool ok = false;
    *answer = property->readWriteSync(property->cmdGetter(), request, &ok, attempts);
    return alive && ok && answer->size() == size;
}

bool TempDriverM1::store(DriverProperty_p* property, QByteArray const& payload, int attempts)
{
    const QPointer<TempDriverM1> alive(this);
    bool ok = false;
    property->readWriteSync(property->cmdSetter(), payload, &ok, attempts);
    return alive && ok;
}

bool TempDriverM1::readFloats(DriverProperty_p* property, float* copies, quint8 ch)
{
    const bool all = ch == allChannels;
    const int count = all ? channels : 1;
    QByteArray answer;
    if (!fetch(property, QByteArray(1, char(ch)), readingAttempts, count * FloatCodec::size,
               &answer))
        return false;
    float* first = all ? copies : copies + ch;
    for (int i = 0; i < count; ++i)
        first[i] = FloatCodec::decode(answer, i * FloatCodec::size);
    return true;
}

bool TempDriverM1::updateVoltage()
{
    return readFloats(m_voltages, m_voltage, allChannels);
}

bool TempDriverM1::updateVoltage(quint8 ch)
{
    return validChannel(ch) && readFloats(m_voltages, m_voltage, ch);
}

bool TempDriverM1::updateTemperature()
{
    return readFloats(m_temperatures, m_temperature, allChannels);
}

bool TempDriverM1::updateTemperature(quint8 ch)
{
    return validChannel(ch) && readFloats(m_temperatures, m_temperature, ch);
}

bool TempDriverM1::setCurrent(quint8 ch, float current)
{
    if (!validChannel(ch) && ch != allChannels)
        return false;
    return store(m_currentSetting, QByteArray(1, char(ch)) + FloatCodec::encode(current),
                 readingAttempts);
}

bool TempDriverM1::setCurrent(float current)
{
    return setCurrent(allChannels, current);
}

bool TempDriverM1::readDefaultParams()
{
    QByteArray answer;
    if (!fetch(m_defaultParams, QByteArray(), recordAttempts, channels * defaultParamBytes,
               &answer))
        return false;
    for (int ch = 0; ch < channels; ++ch) {
        const int at = ch * defaultParamBytes;
        m_defaultParam[ch].enable = answer.at(at) != 0;
        m_defaultParam[ch].current = FloatCodec::decode(answer, at + 1);
    }
    return true;
}

bool TempDriverM1::writeDefaultParams()
{
    QByteArray payload;
    for (const DefaultParam& param : m_defaultParam)
        payload += QByteArray(1, param.enable ? '\1' : '\0') + FloatCodec::encode(param.current);
    return store(m_defaultParams, payload, recordAttempts);
}

bool TempDriverM1::readEepromCoeffs()
{
    constexpr int coeffBytes = 2 * PairCodec::size;
    QByteArray answer;
    if (!fetch(m_eepromCoeffs, QByteArray(), recordAttempts, channels * coeffBytes, &answer))
        return false;
    for (int ch = 0; ch < channels; ++ch)
        m_eepromCoeff[ch] = {PairCodec::decode(answer, ch * coeffBytes),
                             PairCodec::decode(answer, ch * coeffBytes + PairCodec::size)};
    return true;
}

bool TempDriverM1::writeEepromCoeffs()
{
    QByteArray payload;
    for (const TDM1_EepromCoeff& coeff : m_eepromCoeff)
        payload += PairCodec::encode(coeff.currentCoeff) + PairCodec::encode(coeff.voltageCoeff);
    return store(m_eepromCoeffs, payload, recordAttempts);
}

namespace {
QByteArray chunkHeader(int ch, int start, int count)
{
    QByteArray header(3, Qt::Uninitialized);
    header[0] = char(quint8(ch));
    header[1] = char(quint8(start));
    header[2] = char(quint8(count));
    return header;
}
} // namespace

bool TempDriverM1::receiveTempTables()
{
    for (int ch = 0; ch < channels; ++ch) {
        for (int start = 0; start < tempTableItems; start += tempTableChunkItems) {
            const int count = qMin(tempTableChunkItems, tempTableItems - start);
            QByteArray answer;
            if (!fetch(m_tempTables, chunkHeader(ch, start, count), tableReadAttempts,
                       count * int(sizeof(LC4TDM0V1_Temp_Table_Item_t)), &answer))
                return false;
            readTempTableChunk(answer, m_tempTable[ch] + start, count);
        }
    }
    return true;
}

bool TempDriverM1::sendTempTables()
{
    for (int ch = 0; ch < channels; ++ch) {
        for (int start = 0; start < tempTableItems; start += tempTableChunkItems) {
            const int count = qMin(tempTableChunkItems, tempTableItems - start);
            if (!store(m_tempTables,
                       chunkHeader(ch, start, count) +
                           tempTableChunkBytes(m_tempTable[ch] + start, count),
                       tableWriteAttempts))
                return false;
        }
    }
    return true;
}
