#include "heaterdriverm0.h"

HeaterDriverM0::HeaterDriverM0(QObject* parent)
    : CommonDriver(parent),
      m_data(new DriverPropertyReadOnly<LC4HTM0V0_Data_t>(this, 0x10, noCommand)),
      m_current(new DriverProperty<float>(this, 0x11, 0x12)),
      m_relayStatus(new DriverProperty<char>(this, 0x13, 0x14)),
      m_mode(new DriverProperty<char>(this, 0x15, 0x16)),
      m_eepromConst(new DriverProperty<LC4HT0V0_EEPROM_Const_t>(this, 0x17, 0x18)),
      m_currentAdcCoeff(new DriverProperty<pair_t<float>>(this, 0x21, 0x22)),
      m_currentDacCoeff(new DriverProperty<pair_t<float>>(this, 0x23, 0x24)),
      m_maximumCurrent(new DriverProperty<float>(this, 0x19, 0x1A)),
      m_frontEdgeTime(new DriverProperty<float>(this, 0x1B, 0x1C)),
      m_holdTime(new DriverProperty<float>(this, 0x1D, 0x1E)),
      m_rearEdgeTime(new DriverProperty<float>(this, 0x1F, 0x20)),
      m_startHeating(new DriverCommand(this, 0x0D)), m_emergencyStop(new DriverCommand(this, 0x0E))
{
    const auto updateData = [this](const LC4HTM0V0_Data_t& d) { this->updateData(d); };
    const auto updateEEPROM = [this](const LC4HT0V0_EEPROM_Const_t& e) { this->updateEEPROM(e); };

    m_data->gettedSignal().append([this] {
        const LC4HTM0V0_Data_t d = m_data->currentValue();
        m_current->setCurrentValue(d.current);
        m_relayStatus->setCurrentValue(d.relayStatus);
        m_mode->setCurrentValue(d.mode);
        this->updateData(d);
    });
    patchRecordOnGetted(m_current, m_data, &LC4HTM0V0_Data_t::current, updateData);
    patchRecordOnGetted(m_relayStatus, m_data, &LC4HTM0V0_Data_t::relayStatus, updateData);
    patchRecordOnGetted(m_mode, m_data, &LC4HTM0V0_Data_t::mode, updateData);

    m_eepromConst->gettedSignal().append([this] {
        const LC4HT0V0_EEPROM_Const_t e = m_eepromConst->currentValue();
        m_currentAdcCoeff->setCurrentValue(e.currentAdcCoeff);
        m_currentDacCoeff->setCurrentValue(e.currentDacCoeff);
        m_maximumCurrent->setCurrentValue(e.maximumCurrent);
        m_frontEdgeTime->setCurrentValue(e.frontEdgeTime);
        m_holdTime->setCurrentValue(e.holdTime);
        m_rearEdgeTime->setCurrentValue(e.rearEdgeTime);
        this->updateEEPROM(e);
    });
    using E = LC4HT0V0_EEPROM_Const_t;
    patchRecordOnGetted(m_currentAdcCoeff, m_eepromConst, &E::currentAdcCoeff, updateEEPROM);
    patchRecordOnGetted(m_currentDacCoeff, m_eepromConst, &E::currentDacCoeff, updateEEPROM);
    patchRecordOnGetted(m_maximumCurrent, m_eepromConst, &E::maximumCurrent, updateEEPROM);
    patchRecordOnGetted(m_frontEdgeTime, m_eepromConst, &E::frontEdgeTime, updateEEPROM);
    patchRecordOnGetted(m_holdTime, m_eepromConst, &E::holdTime, updateEEPROM);
    patchRecordOnGetted(m_rearEdgeTime, m_eepromConst, &E::rearEdgeTime, updateEEPROM);
}

HeaterDriverM0::~HeaterDriverM0()
{
    deleteInOrder(m_data, m_current, m_relayStatus, m_mode, m_eepromConst, m_currentAdcCoeff,
                  m_currentDacCoeff, m_maximumCurrent, m_frontEdgeTime, m_holdTime, m_rearEdgeTime,
                  m_startHeating, m_emergencyStop);
}

void HeaterDriverM0::updateData(const LC4HTM0V0_Data_t& data)
{
    m_data->setCurrentValue(data);
    emit dataUpdated(data);
}

void HeaterDriverM0::updateEEPROM(const LC4HT0V0_EEPROM_Const_t& eepromConst)
{
    m_eepromConst->setCurrentValue(eepromConst);
    emit eepromConstUpdated(eepromConst);
}
