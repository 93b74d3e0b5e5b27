#include "wsspddriver.h"

#include "ui_wsspddriver.h"

namespace {

// The rows both modifications have, in the same keys.
template <typename Record> void addCommonFields(EepromFields<Record>* fields, Ui::wSspdDriver* ui)
{
    fields->addPair(QStringLiteral("CurrentAdcCoeffs"), &Record::currentAdcCoeff,
                    ui->leCurrentAdcSlope, ui->leCurrentAdcIntercept);
    fields->addPair(QStringLiteral("CurrentDacCoeffs"), &Record::currentDacCoeff,
                    ui->leCurrentDacSlope, ui->leCurrentDacIntercept);
    fields->addPair(QStringLiteral("VoltageAdcCoeffs"), &Record::voltageAdcCoeff,
                    ui->leVoltageAdcSlope, ui->leVoltageAdcIntercept);
    // Stored records spell this key with the two letters "le" in front.
    fields->addPair(QStringLiteral("leCmpRefDacCoeffs"), &Record::cmpReferenceCoeff,
                    ui->leCmpRefDacSlope, ui->leCmpRefDacIntercept);
}

} // namespace

wSspdDriver::wSspdDriver(QWidget* parent) : DriverWidget(parent), ui(new Ui::wSspdDriver)
{
    ui->setupUi(this);
    using M1 = LC4SDM1_EEPROM_Const_t;
    addCommonFields(&m_fieldsM0, ui);
    addCommonFields(&m_fieldsM1, ui);
    m_fieldsM1.addPair(QStringLiteral("CurrentMonitorAdcCoeffs"), &M1::currentMonitorAdcCoeff,
                       ui->leCurrentMonitorSlope, ui->leCurrentMonitorIntercept);
    m_fieldsM1.addSingle(QStringLiteral("PulseWidth"), &M1::pulseWidthCoeff, ui->lePulseWidth);
}

wSspdDriver::~wSspdDriver()
{
    delete ui;
}

void wSspdDriver::showM1Rows(bool show)
{
    for (QWidget* widget :
         {static_cast<QWidget*>(ui->lCurrentMonitorSlope),
          static_cast<QWidget*>(ui->leCurrentMonitorSlope),
          static_cast<QWidget*>(ui->lCurrentMonitorIntercept),
          static_cast<QWidget*>(ui->leCurrentMonitorIntercept),
          static_cast<QWidget*>(ui->lPulseWidth), static_cast<QWidget*>(ui->lePulseWidth)})
        widget->setVisible(show);
}

void wSspdDriver::setDriver(CommonDriver* driver)
{
    m_driverKind = UnknownType;
    if (auto* m0 = qobject_cast<SspdDriverM0*>(driver)) {
        m_driverKind = SspdM0;
        showM1Rows(false);
        connect(m0, &SspdDriverM0::eepromConstUpdated, this,
                [this](LC4SDM0V1_EEPROM_Const_t record) { m_fieldsM0.show(record); });
    } else if (auto* m1 = qobject_cast<SspdDriverM1*>(driver)) {
        m_driverKind = SspdM1;
        showM1Rows(true);
        connect(m1, &SspdDriverM1::eepromConstUpdated, this,
                [this](LC4SDM1_EEPROM_Const_t record) { m_fieldsM1.show(record); });
    } else {
        return;
    }
    DriverWidget::setDriver(driver);
}

void wSspdDriver::enableGUI(bool enable)
{
    // The M1 fields include the M0 ones, hidden rows as well.
    m_fieldsM1.setEnabled(enable);
}

void wSspdDriver::getEeprom()
{
    // Without a driver of either kind the read fails with its warning.
    auto* m1 = driverAs<SspdDriverM1>(SspdM1);
    auto* m0 = driverAs<SspdDriverM0>(SspdM0);
    if (m1)
        readRecord(m1->eepromConst());
    else
        readRecord(m0 ? m0->eepromConst() : nullptr);
}

void wSspdDriver::setEeprom()
{
    auto* m1 = driverAs<SspdDriverM1>(SspdM1);
    auto* m0 = driverAs<SspdDriverM0>(SspdM0);
    if (m1)
        sendRecord(m1->eepromConst(), m_fieldsM1.record());
    else
        sendRecord(m0 ? m0->eepromConst() : nullptr, m_fieldsM0.record());
}

QJsonObject wSspdDriver::eepromToJson()
{
    QJsonObject object;
    if (m_driverKind == SspdM1)
        m_fieldsM1.toJson(&object);
    else
        m_fieldsM0.toJson(&object);
    return object;
}

void wSspdDriver::eepromFromJson(QJsonObject object)
{
    if (m_driverKind == SspdM1)
        m_fieldsM1.fromJson(object);
    else
        m_fieldsM0.fromJson(object);
}
