#include "wheaterdriver.h"

#include "ui_wheaterdriver.h"

using Record = LC4HT0V0_EEPROM_Const_t;

wHeaterDriver::wHeaterDriver(QWidget* parent) : RecordEditor(parent), ui(new Ui::wHeaterDriver)
{
    ui->setupUi(this);
    m_fields.addPair(QStringLiteral("CurrentAdcCoeffs"), &Record::currentAdcCoeff,
                     ui->leCurrentAdcSlope, ui->leCurrentAdcIntercept);
    m_fields.addPair(QStringLiteral("CurrentDacCoeffs"), &Record::currentDacCoeff,
                     ui->leCurrentDacSlope, ui->leCurrentDacIntercept);
    m_fields.addSingle(QStringLiteral("MaximumCurrent"), &Record::maximumCurrent,
                       ui->leMaximumCurrent);
    // These keys carry trailing blanks, padding each to 14 characters; stored
    // records use them so.
    m_fields.addSingle(QStringLiteral("FrontEdgeTime "), &Record::frontEdgeTime, ui->leFrontEdge);
    m_fields.addSingle(QStringLiteral("HoldTime      "), &Record::holdTime, ui->leHoldTime);
    m_fields.addSingle(QStringLiteral("RearEdgeTime  "), &Record::rearEdgeTime, ui->leRearEdge);
}

wHeaterDriver::~wHeaterDriver()
{
    delete ui;
}
