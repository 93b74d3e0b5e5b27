#include "wsiscontrollinedriver.h"

#include "ui_wsiscontrollinedriver.h"

using Record = LC4CLM0V0_EEPROM_Const_t;

wSisControlLineDriver::wSisControlLineDriver(QWidget* parent)
    : RecordEditor(parent), ui(new Ui::wSisControlLineDriver)
{
    ui->setupUi(this);
    m_fields.addPair(QStringLiteral("CurrentAdcCoeffs"), &Record::currentAdcCoeff,
                     ui->leCurrentAdcSlope, ui->leCurrentAdcIntercept);
    m_fields.addPair(QStringLiteral("CurrentDacCoeffs"), &Record::currentDacCoeff,
                     ui->leCurrentDacSlope, ui->leCurrentDacIntercept);
    m_fields.addPair(QStringLiteral("CurrentLimits"), &Record::currentLimits,
                     ui->leLowerCurrentLimit, ui->leUpperCurrentLimit);
    m_fields.addSingle(QStringLiteral("CurrentStep"), &Record::currentStep, ui->leCurrentStep);
}

wSisControlLineDriver::~wSisControlLineDriver()
{
    delete ui;
}
