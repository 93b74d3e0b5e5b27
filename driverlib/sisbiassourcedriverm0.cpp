#include "sisbiassourcedriverm0.h"

SisBiasSourceDriverM0::SisBiasSourceDriverM0(QObject* parent)
    : CommonDriver(parent), m_data(new DriverPropertyReadOnly<LC4BSM0_Data_t>(this, 16, noCommand)),
      m_current(new DriverProperty<float>(this, 17, 18)),
      m_voltage(new DriverProperty<float>(this, 19, 20)),
      m_shortEnable(new DriverProperty<bool>(this, 21, 22)),
      m_mode(new DriverProperty<char>(this, 23, 24)),
      m_eepromConst(new DriverProperty<LC4BSM0V0_EEPROM_Const_t>(this, 27, 28)),
      m_currentAdcCoeff(new DriverProperty<pair_t<float>>(this, 29, 30)),
      m_currentDacCoeff(new DriverProperty<pair_t<float>>(this, 33, 34)),
      m_currentLimits(new DriverProperty<pair_t<float>>(this, 37, 38)),
      m_currentStep(new DriverProperty<float>(this, 39, 40)),
      m_voltageAdcCoeff(new DriverProperty<pair_t<float>>(this, 31, 32)),
      m_voltageDacCoeff(new DriverProperty<pair_t<float>>(this, 35, 36)),
      m_voltageLimits(new DriverProperty<pair_t<float>>(this, 41, 42)),
      m_voltageStep(new DriverProperty<float>(this, 43, 44)),
      m_currentMonitorResistance(new DriverProperty<float>(this, 45, 46)),
      m_pidEnable(new DriverProperty<bool>(this, 25, 26)),
      m_sweepParams(new DriverProperty<LC4BSM0_SWEEP_PARAMS_t>(this, 47, 48)),
      m_sweepStart(new DriverCommand(this, 49)), m_sweepStop(new DriverCommand(this, 50))
{
    const auto updateData = [this](const LC4BSM0_Data_t& d) { this->updateData(d); };
    const auto updateEEPROM = [this](const LC4BSM0V0_EEPROM_Const_t& e) { this->updateEEPROM(e); };

    m_data->gettedSignal().append([this] {
        const LC4BSM0_Data_t d = m_data->currentValue();
        m_current->setCurrentValue(d.current);
        m_voltage->setCurrentValue(d.voltage);
        m_shortEnable->setCurrentValue(d.shortEnable != 0);
        m_mode->setCurrentValue(d.mode);
        this->updateData(d);
    });
    patchRecordOnGetted(m_current, m_data, &LC4BSM0_Data_t::current, updateData);
    patchRecordOnGetted(m_voltage, m_data, &LC4BSM0_Data_t::voltage, updateData);
    patchRecordOnGetted(m_shortEnable, m_data, &LC4BSM0_Data_t::shortEnable, updateData);
    patchRecordOnGetted(m_mode, m_data, &LC4BSM0_Data_t::mode, updateData);

    m_eepromConst->gettedSignal().append([this] {
        const LC4BSM0V0_EEPROM_Const_t e = m_eepromConst->currentValue();
        m_currentAdcCoeff->setCurrentValue(e.currentAdcCoeff);
        m_currentDacCoeff->setCurrentValue(e.currentDacCoeff);
        m_currentLimits->setCurrentValue(e.currentLimits);
        m_currentStep->setCurrentValue(e.currentStep);
        m_voltageAdcCoeff->setCurrentValue(e.voltageAdcCoeff);
        m_voltageDacCoeff->setCurrentValue(e.voltageDacCoeff);
        m_voltageLimits->setCurrentValue(e.voltageLimits);
        m_voltageStep->setCurrentValue(e.voltageStep);
        m_currentMonitorResistance->setCurrentValue(e.currentMonitorResistance);
        this->updateEEPROM(e);
    });
    using E = LC4BSM0V0_EEPROM_Const_t;
    patchRecordOnGetted(m_currentAdcCoeff, m_eepromConst, &E::currentAdcCoeff, updateEEPROM);
    patchRecordOnGetted(m_currentDacCoeff, m_eepromConst, &E::currentDacCoeff, updateEEPROM);
    patchRecordOnGetted(m_currentLimits, m_eepromConst, &E::currentLimits, updateEEPROM);
    patchRecordOnGetted(m_currentStep, m_eepromConst, &E::currentStep, updateEEPROM);
    patchRecordOnGetted(m_voltageAdcCoeff, m_eepromConst, &E::voltageAdcCoeff, updateEEPROM);
    patchRecordOnGetted(m_voltageDacCoeff, m_eepromConst, &E::voltageDacCoeff, updateEEPROM);
    patchRecordOnGetted(m_voltageLimits, m_eepromConst, &E::voltageLimits, updateEEPROM);
    patchRecordOnGetted(m_voltageStep, m_eepromConst, &E::voltageStep, updateEEPROM);
    patchRecordOnGetted(m_currentMonitorResistance, m_eepromConst, &E::currentMonitorResistance,
                        updateEEPROM);
}

SisBiasSourceDriverM0::~SisBiasSourceDriverM0()
{
    deleteInOrder(m_data, m_current, m_voltage, m_shortEnable, m_mode, m_eepromConst,
                  m_currentAdcCoeff, m_currentDacCoeff, m_currentLimits, m_currentStep,
                  m_voltageAdcCoeff, m_voltageDacCoeff, m_voltageLimits, m_voltageStep,
                  m_currentMonitorResistance, m_pidEnable, m_sweepParams, m_sweepStart,
                  m_sweepStop);
}

void SisBiasSourceDriverM0::updateData(const LC4BSM0_Data_t& data)
{
    m_data->setCurrentValue(data);
    emit dataUpdated(data);
}

void SisBiasSourceDriverM0::updateEEPROM(const LC4BSM0V0_EEPROM_Const_t& eepromConst)
{
    m_eepromConst->setCurrentValue(eepromConst);
    emit eepromConstUpdated(eepromConst);
}
