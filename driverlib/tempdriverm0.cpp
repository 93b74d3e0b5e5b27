#include "tempdriverm0.h"

#include <QPointer>

namespace {
using FloatCodec = DriverValueCodec<float>;
constexpr int itemBytes = 2 * FloatCodec::size;

QByteArray chunkHeader(int start, int count)
{
    QByteArray header(2, Qt::Uninitialized);
    header[0] = char(quint8(start));
    header[1] = char(quint8(count));
    return header;
}
} // namespace

bool readTempTableChunk(QByteArray const& answer, LC4TDM0V1_Temp_Table_Item_t* items, int count)
{
    if (count < 0 || answer.size() < count * itemBytes)
        return false;
    for (int i = 0; i < count; ++i)
        items[i] = {FloatCodec::decode(answer, i * itemBytes),
                    FloatCodec::decode(answer, i * itemBytes + FloatCodec::size)};
    return true;
}

QByteArray tempTableChunkBytes(const LC4TDM0V1_Temp_Table_Item_t* items, int count)
{
    QByteArray bytes;
    bytes.reserve(count * itemBytes);
    for (int i = 0; i < count; ++i)
        bytes += FloatCodec::encode(items[i].voltage) + FloatCodec::encode(items[i].temperature);
    return bytes;
}

TempDriverM0::TempDriverM0(QObject* parent)
    : CommonDriver(parent),
      m_data(new DriverPropertyReadOnly<LC4TDM0V1_Data_t>(this, 0x10, noCommand)),
      m_temperature(new DriverPropertyReadOnly<float>(this, 0x11, noCommand)),
      m_pressure(new DriverPropertyReadOnly<float>(this, 0x12, noCommand)),
      m_tempSensorCurrent(new DriverProperty<float>(this, 0x13, 0x14)),
      m_tempSensorVoltage(new DriverPropertyReadOnly<float>(this, 0x15, noCommand)),
      m_pressSensorVoltageP(new DriverPropertyReadOnly<float>(this, 0x16, noCommand)),
      m_pressSensorVoltageN(new DriverPropertyReadOnly<float>(this, 0x17, noCommand)),
      m_commutator(new DriverProperty<bool>(this, 0x18, 0x19)),
      m_eepromConst(new DriverProperty<LC4TDM0V1_EEPROM_Const_t>(this, 0x1A, 0x1B)),
      m_tempSensorCurrentAdcCoeff(new DriverProperty<pair_t<float>>(this, 0x1C, 0x1D)),
      m_tempSensorCurrentDacCoeff(new DriverProperty<pair_t<float>>(this, 0x1E, 0x1F)),
      m_tempSensorVoltageCoeff(new DriverProperty<pair_t<float>>(this, 0x20, 0x21)),
      m_pressSensorVoltagePCoeff(new DriverProperty<pair_t<float>>(this, 0x22, 0x23)),
      m_pressSensorVoltageNCoeff(new DriverProperty<pair_t<float>>(this, 0x24, 0x25)),
      m_pressSensorCoeff(new DriverProperty<pair_t<float>>(this, 0x26, 0x27)),
      m_tempTableTransfer(new DriverProperty_p(this, 0x28, 0x29))
{
    const auto updateData = [this](const LC4TDM0V1_Data_t& d) { this->updateData(d); };
    const auto updateEEPROM = [this](const LC4TDM0V1_EEPROM_Const_t& e) { this->updateEEPROM(e); };

    m_data->gettedSignal().append([this] {
        const LC4TDM0V1_Data_t d = m_data->currentValue();
        m_temperature->setCurrentValue(d.temperature);
        m_pressure->setCurrentValue(d.pressure);
        m_tempSensorCurrent->setCurrentValue(d.tempSensorCurrent);
        m_tempSensorVoltage->setCurrentValue(d.tempSensorVoltage);
        m_pressSensorVoltageP->setCurrentValue(d.pressSensorVoltageP);
        m_pressSensorVoltageN->setCurrentValue(d.pressSensorVoltageN);
        m_commutator->setCurrentValue(d.commutator != 0);
        this->updateData(d);
    });
    using D = LC4TDM0V1_Data_t;
    patchRecordOnGetted(m_temperature, m_data, &D::temperature, updateData);
    patchRecordOnGetted(m_pressure, m_data, &D::pressure, updateData);
    patchRecordOnGetted(m_tempSensorCurrent, m_data, &D::tempSensorCurrent, updateData);
    patchRecordOnGetted(m_tempSensorVoltage, m_data, &D::tempSensorVoltage, updateData);
    patchRecordOnGetted(m_pressSensorVoltageP, m_data, &D::pressSensorVoltageP, updateData);
    patchRecordOnGetted(m_pressSensorVoltageN, m_data, &D::pressSensorVoltageN, updateData);
    patchRecordOnGetted(m_commutator, m_data, &D::commutator, updateData);

    m_eepromConst->gettedSignal().append([this] {
        const LC4TDM0V1_EEPROM_Const_t e = m_eepromConst->currentValue();
        m_tempSensorCurrentAdcCoeff->setCurrentValue(e.tempSensorCurrentAdcCoeff);
        m_tempSensorCurrentDacCoeff->setCurrentValue(e.tempSensorCurrentDacCoeff);
        m_tempSensorVoltageCoeff->setCurrentValue(e.tempSensorVoltageCoeff);
        m_pressSensorVoltagePCoeff->setCurrentValue(e.pressSensorVoltagePCoeff);
        m_pressSensorVoltageNCoeff->setCurrentValue(e.pressSensorVoltageNCoeff);
        m_pressSensorCoeff->setCurrentValue(e.pressSensorCoeff);
        this->updateEEPROM(e);
    });
    using E = LC4TDM0V1_EEPROM_Const_t;
    patchRecordOnGetted(m_tempSensorCurrentAdcCoeff, m_eepromConst, &E::tempSensorCurrentAdcCoeff,
                        updateEEPROM);
    patchRecordOnGetted(m_tempSensorCurrentDacCoeff, m_eepromConst, &E::tempSensorCurrentDacCoeff,
                        updateEEPROM);
    patchRecordOnGetted(m_tempSensorVoltageCoeff, m_eepromConst, &E::tempSensorVoltageCoeff,
                        updateEEPROM);
    patchRecordOnGetted(m_pressSensorVoltagePCoeff, m_eepromConst, &E::pressSensorVoltagePCoeff,
                        updateEEPROM);
    patchRecordOnGetted(m_pressSensorVoltageNCoeff, m_eepromConst, &E::pressSensorVoltageNCoeff,
                        updateEEPROM);
    patchRecordOnGetted(m_pressSensorCoeff, m_eepromConst, &E::pressSensorCoeff, updateEEPROM);
}

TempDriverM0::~TempDriverM0()
{
    deleteInOrder(m_data, m_temperature, m_pressure, m_tempSensorCurrent, m_tempSensorVoltage,
                  m_pressSensorVoltageP, m_pressSensorVoltageN, m_commutator, m_eepromConst,
                  m_tempSensorCurrentAdcCoeff, m_tempSensorCurrentDacCoeff,
                  m_tempSensorVoltageCoeff, m_pressSensorVoltagePCoeff, m_pressSensorVoltageNCoeff,
                  m_pressSensorCoeff, m_tempTableTransfer);
}

bool TempDriverM0::sendTempTable()
{
    const QPointer<TempDriverM0> alive(this);
    for (int start = 0; start < tempTableItems; start += tempTableChunkItems) {
        const int count = qMin(tempTableChunkItems, tempTableItems - start);
        bool ok = false;
        m_tempTableTransfer->readWriteSync(m_tempTableTransfer->cmdSetter(),
                                           chunkHeader(start, count) +
                                               tempTableChunkBytes(m_tempTable + start, count),
                                           &ok, tableAttempts);
        if (!alive || !ok)
            return false;
    }
    return true;
}

bool TempDriverM0::receiveTempTable()
{
    const QPointer<TempDriverM0> alive(this);
    for (int start = 0; start < tempTableItems; start += tempTableChunkItems) {
        const int count = qMin(tempTableChunkItems, tempTableItems - start);
        // Without this, a wait ended by another frame of the module would hand
        // back the previous chunk as this one.
        m_tempTableTransfer->setBufferData(QByteArray());
        bool ok = false;
        const QByteArray answer = m_tempTableTransfer->readWriteSync(
            m_tempTableTransfer->cmdGetter(), chunkHeader(start, count), &ok, tableAttempts);
        if (!alive || !ok || !readTempTableChunk(answer, m_tempTable + start, count))
            return false;
    }
    return true;
}

void TempDriverM0::updateData(LC4TDM0V1_Data_t data)
{
    m_data->setCurrentValue(data);
    emit dataUpdated(data);
}

void TempDriverM0::updateEEPROM(LC4TDM0V1_EEPROM_Const_t eeprom)
{
    m_eepromConst->setCurrentValue(eeprom);
    emit eepromConstUpdated(eeprom);
}
