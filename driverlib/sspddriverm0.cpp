#include "sspddriverm0.h"

SspdDriverM0::SspdDriverM0(QObject* parent)
    : CommonDriver(parent),
      m_data(new DriverPropertyReadOnly<LC4SDM0V1_Data_t>(this, 0x10, noCommand)),
      m_current(new DriverProperty<float>(this, 0x11, 0x12)),
      m_voltage(new DriverPropertyReadOnly<float>(this, 0x13, noCommand)),
      m_counts(new DriverPropertyReadOnly<float>(this, 0x14, noCommand)),
      m_status(new DriverProperty<LC4SDM0_Status_t>(this, 0x15, 0x16)),
      m_shortEnable(new DriverPropertyWriteOnly<bool>(this, noCommand, 0x17)),
      m_amplifierEnable(new DriverPropertyWriteOnly<bool>(this, noCommand, 0x18)),
      m_rfKeyEnable(new DriverPropertyWriteOnly<bool>(this, noCommand, 0x19)),
      m_cmpLatchEnable(new DriverPropertyWriteOnly<bool>(this, noCommand, 0x1A)),
      m_counterEnable(new DriverPropertyWriteOnly<bool>(this, noCommand, 0x1B)),
      m_autoResetEnable(new DriverPropertyWriteOnly<bool>(this, noCommand, 0x1C)),
      m_params(new DriverProperty<LC4SDM0V1_Param_t>(this, 0x1D, 0x1E)),
      m_cmpReferenceLevel(new DriverProperty<float>(this, 0x1F, 0x20)),
      m_timeConst(new DriverProperty<float>(this, 0x21, 0x22)),
      m_autoResetThreshold(new DriverProperty<float>(this, 0x23, 0x24)),
      m_autoResetTimeOut(new DriverProperty<float>(this, 0x25, 0x26)),
      m_autoResetAlarmsCounts(new DriverProperty<unsigned int>(this, 0x27, 0x28)),
      m_eepromConst(new DriverProperty<LC4SDM0V1_EEPROM_Const_t>(this, 0x29, 0x2A)),
      m_currentAdcCoeff(new DriverProperty<pair_t<float>>(this, 0x2B, 0x2C)),
      m_voltageAdcCoeff(new DriverProperty<pair_t<float>>(this, 0x2D, 0x2E)),
      m_currentDacCoeff(new DriverProperty<pair_t<float>>(this, 0x2F, 0x30)),
      m_cmpReferenceCoeff(new DriverProperty<pair_t<float>>(this, 0x31, 0x32)),
      m_PIDEnableStatus(new DriverProperty<bool>(this, 0x33, 0x34))
{
    const auto updateData = [this](const LC4SDM0V1_Data_t& d) { this->updateData(d); };
    const auto updateStatus = [this](const LC4SDM0_Status_t& s) { this->updateStatus(s); };
    const auto updateParams = [this](const LC4SDM0V1_Param_t& p) { this->updateParams(p); };
    const auto updateEEPROM = [this](const LC4SDM0V1_EEPROM_Const_t& e) { this->updateEEPROM(e); };

    m_data->gettedSignal().append([this] {
        const LC4SDM0V1_Data_t d = m_data->currentValue();
        m_current->setCurrentValue(d.current);
        m_voltage->setCurrentValue(d.voltage);
        m_counts->setCurrentValue(d.counts);
        m_status->setCurrentValue(d.status);
        this->updateData(d);
    });
    patchRecordOnGetted(m_current, m_data, &LC4SDM0V1_Data_t::current, updateData);
    patchRecordOnGetted(m_voltage, m_data, &LC4SDM0V1_Data_t::voltage, updateData);
    patchRecordOnGetted(m_counts, m_data, &LC4SDM0V1_Data_t::counts, updateData);
    m_status->gettedSignal().append([this] { this->updateStatus(m_status->currentValue()); });
    m_status->settedSignal().append([this] { this->updateStatus(m_status->lastSettedValue()); });
    patchStatusBitOnSetted(m_shortEnable, m_status, LC4SDM0_Status_t::shortEnableBit, updateStatus);
    patchStatusBitOnSetted(m_amplifierEnable, m_status, LC4SDM0_Status_t::amplifierEnableBit,
                           updateStatus);
    patchStatusBitOnSetted(m_rfKeyEnable, m_status, LC4SDM0_Status_t::rfKeyEnableBit, updateStatus);
    patchStatusBitOnSetted(m_cmpLatchEnable, m_status, LC4SDM0_Status_t::cmpLatchEnableBit,
                           updateStatus);
    patchStatusBitOnSetted(m_counterEnable, m_status, LC4SDM0_Status_t::counterEnableBit,
                           updateStatus);
    patchStatusBitOnSetted(m_autoResetEnable, m_status, LC4SDM0_Status_t::autoResetEnableBit,
                           updateStatus);

    m_params->gettedSignal().append([this] {
        const LC4SDM0V1_Param_t p = m_params->currentValue();
        m_cmpReferenceLevel->setCurrentValue(p.cmpReferenceLevel);
        m_timeConst->setCurrentValue(p.timeConst);
        m_autoResetThreshold->setCurrentValue(p.autoResetThreshold);
        m_autoResetTimeOut->setCurrentValue(p.autoResetTimeOut);
        m_autoResetAlarmsCounts->setCurrentValue(p.autoResetAlarmsCounts);
        this->updateParams(p);
    });
    patchRecordOnGetted(m_cmpReferenceLevel, m_params, &LC4SDM0V1_Param_t::cmpReferenceLevel,
                        updateParams);
    patchRecordOnGetted(m_timeConst, m_params, &LC4SDM0V1_Param_t::timeConst, updateParams);
    patchRecordOnGetted(m_autoResetThreshold, m_params, &LC4SDM0V1_Param_t::autoResetThreshold,
                        updateParams);
    patchRecordOnGetted(m_autoResetTimeOut, m_params, &LC4SDM0V1_Param_t::autoResetTimeOut,
                        updateParams);
    patchRecordOnGetted(m_autoResetAlarmsCounts, m_params,
                        &LC4SDM0V1_Param_t::autoResetAlarmsCounts, updateParams);

    m_eepromConst->gettedSignal().append([this] {
        const LC4SDM0V1_EEPROM_Const_t e = m_eepromConst->currentValue();
        m_currentAdcCoeff->setCurrentValue(e.currentAdcCoeff);
        m_voltageAdcCoeff->setCurrentValue(e.voltageAdcCoeff);
        m_currentDacCoeff->setCurrentValue(e.currentDacCoeff);
        m_cmpReferenceCoeff->setCurrentValue(e.cmpReferenceCoeff);
        this->updateEEPROM(e);
    });
    patchRecordOnGetted(m_currentAdcCoeff, m_eepromConst,
                        &LC4SDM0V1_EEPROM_Const_t::currentAdcCoeff, updateEEPROM);
    patchRecordOnGetted(m_currentDacCoeff, m_eepromConst,
                        &LC4SDM0V1_EEPROM_Const_t::currentDacCoeff, updateEEPROM);
    patchRecordOnGetted(m_voltageAdcCoeff, m_eepromConst,
                        &LC4SDM0V1_EEPROM_Const_t::voltageAdcCoeff, updateEEPROM);
    patchRecordOnGetted(m_cmpReferenceCoeff, m_eepromConst,
                        &LC4SDM0V1_EEPROM_Const_t::cmpReferenceCoeff, updateEEPROM);
}

SspdDriverM0::~SspdDriverM0()
{
    deleteInOrder(m_data, m_current, m_voltage, m_counts, m_status, m_shortEnable,
                  m_amplifierEnable, m_rfKeyEnable, m_cmpLatchEnable, m_counterEnable,
                  m_autoResetEnable, m_params, m_cmpReferenceLevel, m_timeConst,
                  m_autoResetThreshold, m_autoResetTimeOut, m_autoResetAlarmsCounts, m_eepromConst,
                  m_currentAdcCoeff, m_voltageAdcCoeff, m_currentDacCoeff, m_cmpReferenceCoeff,
                  m_PIDEnableStatus);
}

void SspdDriverM0::updateData(const LC4SDM0V1_Data_t& data)
{
    m_data->setCurrentValue(data);
    emit dataUpdated(data);
}

void SspdDriverM0::updateStatus(const LC4SDM0_Status_t& status)
{
    LC4SDM0V1_Data_t d = m_data->currentValue();
    d.status = status;
    updateData(d);
}

void SspdDriverM0::updateParams(const LC4SDM0V1_Param_t& params)
{
    m_params->setCurrentValue(params);
    emit paramsUpdated(params);
}

void SspdDriverM0::updateEEPROM(const LC4SDM0V1_EEPROM_Const_t& eepromConst)
{
    m_eepromConst->setCurrentValue(eepromConst);
    emit eepromConstUpdated(eepromConst);
}
