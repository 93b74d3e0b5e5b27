#include "siscontrollinedriverm0.h"

SisControlLineDriverM0::SisControlLineDriverM0(QObject* parent)
    : CommonDriver(parent),
      m_data(new DriverPropertyReadOnly<LC4CLM0V0_Data_t>(this, 0x10, noCommand)),
      m_current(new DriverProperty<float>(this, 0x11, 0x12)),
      m_shortEnable(new DriverProperty<bool>(this, 0x13, 0x14)),
      m_eepromConst(new DriverProperty<LC4CLM0V0_EEPROM_Const_t>(this, 0x17, 0x18)),
      m_currentAdcCoeff(new DriverProperty<pair_t<float>>(this, 0x19, 0x1A)),
      m_currentDacCoeff(new DriverProperty<pair_t<float>>(this, 0x1B, 0x1C)),
      m_currentLimits(new DriverProperty<pair_t<float>>(this, 0x1D, 0x1E)),
      m_currentStep(new DriverProperty<float>(this, 0x1F, 0x20)),
      m_pidEnable(new DriverProperty<bool>(this, 0x15, 0x16))
{
    const auto updateData = [this](const LC4CLM0V0_Data_t& d) { this->updateData(d); };
    const auto updateEEPROM = [this](const LC4CLM0V0_EEPROM_Const_t& e) { this->updateEEPROM(e); };

    m_data->gettedSignal().append([this] {
        const LC4CLM0V0_Data_t d = m_data->currentValue();
        m_current->setCurrentValue(d.current);
        m_shortEnable->setCurrentValue(d.shortEnable != 0);
        this->updateData(d);
    });
    patchRecordOnGetted(m_current, m_data, &LC4CLM0V0_Data_t::current, updateData);
    patchRecordOnGetted(m_shortEnable, m_data, &LC4CLM0V0_Data_t::shortEnable, updateData);

    m_eepromConst->gettedSignal().append([this] {
        const LC4CLM0V0_EEPROM_Const_t e = m_eepromConst->currentValue();
        m_currentAdcCoeff->setCurrentValue(e.currentAdcCoeff);
        m_currentDacCoeff->setCurrentValue(e.currentDacCoeff);
        m_currentLimits->setCurrentValue(e.currentLimits);
        m_currentStep->setCurrentValue(e.currentStep);
        this->updateEEPROM(e);
    });
    using E = LC4CLM0V0_EEPROM_Const_t;
    patchRecordOnGetted(m_currentAdcCoeff, m_eepromConst, &E::currentAdcCoeff, updateEEPROM);
    patchRecordOnGetted(m_currentDacCoeff, m_eepromConst, &E::currentDacCoeff, updateEEPROM);
    patchRecordOnGetted(m_currentLimits, m_eepromConst, &E::currentLimits, updateEEPROM);
    patchRecordOnGetted(m_currentStep, m_eepromConst, &E::currentStep, updateEEPROM);
}

SisControlLineDriverM0::~SisControlLineDriverM0()
{
    deleteInOrder(m_data, m_current, m_shortEnable, m_eepromConst, m_currentAdcCoeff,
                  m_currentDacCoeff, m_currentLimits, m_currentStep, m_pidEnable);
}

void SisControlLineDriverM0::updateData(const LC4CLM0V0_Data_t& data)
{
    m_data->setCurrentValue(data);
    emit dataUpdated(data);
}

void SisControlLineDriverM0::updateEEPROM(const LC4CLM0V0_EEPROM_Const_t& eepromConst)
{
    m_eepromConst->setCurrentValue(eepromConst);
    emit eepromConstUpdated(eepromConst);
}
