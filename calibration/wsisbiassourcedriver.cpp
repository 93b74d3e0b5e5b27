#include "wsisbiassourcedriver.h"

#include "ui_wsisbiassourcedriver.h"

using Record = LC4BSM0V0_EEPROM_Const_t;

wSisBiasSourceDriver::wSisBiasSourceDriver(QWidget* parent)
    : RecordEditor(parent), ui(new Ui::wSisBiasSourceDriver)
{
    ui->setupUi(this);
    m_fields.addPair(QStringLiteral("CurrentAdcCoeffs"), &Record::currentAdcCoeff,
                     ui->leCurrentAdcSlope, ui->leCurrentAdcIntercept);
    m_fields.addPair(QStringLiteral("CurrentDacCoeffs"), &Record::currentDacCoeff,
                     ui->leCurrentDacSlope, ui->leCurrentDacIntercept);
    m_fields.addPair(QStringLiteral("CurrentLimits"), &Record::currentLimits, ui->leCurrentMinLimit,
                     ui->leCurrentMaxLimit);
    m_fields.addSingle(QStringLiteral("CurrentStep"), &Record::currentStep, ui->leCurrentStep);
    m_fields.addPair(QStringLiteral("VoltageAdcCoeffs"), &Record::voltageAdcCoeff,
                     ui->leVoltageAdcSlope, ui->leVoltageAdcIntercept);
    m_fields.addPair(QStringLiteral("VoltageDacCoeffs"), &Record::voltageDacCoeff,
                     ui->leVoltageDacSlope, ui->leVoltageDacIntercept);
    m_fields.addPair(QStringLiteral("VoltageLimits"), &Record::voltageLimits, ui->leVoltageMinLimit,
                     ui->leVoltageMaxLimit);
    m_fields.addSingle(QStringLiteral("VoltageStep"), &Record::voltageStep, ui->leVoltageStep);
    m_fields.addSingle(QStringLiteral("CurrentMonitorResistance"),
                       &Record::currentMonitorResistance, ui->leCurrentMonitorResistance);
}

wSisBiasSourceDriver::~wSisBiasSourceDriver()
{
    delete ui;
}
