#include "wtempcalibr.h"

#include "ui_wtempcalibr.h"

#include <algorithm>

namespace {
QString const tableKey = QStringLiteral("TempTable");
} // namespace

using Record = LC4TDM0V1_EEPROM_Const_t;

wTempCalibr::wTempCalibr(QWidget* parent)
    // The table widget exists once the form is set up.
    : DriverWidget(parent), ui(new Ui::wTempCalibr), m_table((ui->setupUi(this), ui->twTempTable))
{
    m_fields.addPair(QStringLiteral("TempSensorCurrentADCCoeffs"),
                     &Record::tempSensorCurrentAdcCoeff, ui->leTempSensorCurrentADCslope,
                     ui->leTempSensorCurrentADCintercept);
    m_fields.addPair(QStringLiteral("TempSensorCurrentDACCoeffs"),
                     &Record::tempSensorCurrentDacCoeff, ui->leTempSensorCurrentDACslope,
                     ui->leTempSensorCurrentDACintercept);
    m_fields.addPair(QStringLiteral("TempSensorVoltageCoeffs"), &Record::tempSensorVoltageCoeff,
                     ui->leTempSensorVoltageslope, ui->leTempSensorVoltageintercept);
    m_fields.addPair(QStringLiteral("PressSensorVoltagePCoeffs"), &Record::pressSensorVoltagePCoeff,
                     ui->lePressSensorVoltagePslope, ui->lePressSensorVoltagePintercept);
    m_fields.addPair(QStringLiteral("PressSensorVoltageNCoeffs"), &Record::pressSensorVoltageNCoeff,
                     ui->lePressSensorVoltageNslope, ui->lePressSensorVoltageNintercept);
    m_fields.addPair(QStringLiteral("PressSensorCoeffs"), &Record::pressSensorCoeff,
                     ui->lePressSensorslope, ui->lePressSensorintercept);
}

wTempCalibr::~wTempCalibr()
{
    delete ui;
}

LC4TDM0V1_EEPROM_Const_t wTempCalibr::getEepromConst() const
{
    return m_fields.record();
}

const LC4TDM0V1_Temp_Table_Item_t* wTempCalibr::getTempTable()
{
    return m_table.items();
}

void wTempCalibr::setTempTable(const LC4TDM0V1_Temp_Table_Item_t* items)
{
    m_table.show(items);
}

void wTempCalibr::setDriver(CommonDriver* driver)
{
    auto* typed = qobject_cast<TempDriverM0*>(driver);
    if (!typed)
        return;
    m_tempDriver = typed;
    DriverWidget::setDriver(driver);
    connect(typed, &TempDriverM0::eepromConstUpdated, this, &wTempCalibr::onEepromConstReceived);
}

void wTempCalibr::onEepromConstReceived(LC4TDM0V1_EEPROM_Const_t record)
{
    m_fields.show(record);
}

void wTempCalibr::enableGUI(bool enable)
{
    m_fields.setEnabled(enable);
    // A file loaded or a cell typed during a transfer would be overwritten by it,
    // or shown without being sent.
    ui->twTempTable->setEnabled(enable);
    ui->pbLoadFromFile->setEnabled(enable);
}

void wTempCalibr::getEeprom()
{
    if (!readRecord(m_tempDriver ? m_tempDriver->eepromConst() : nullptr))
        return;
    const QPointer<DriverWidget> alive(this);
    const bool ok = m_tempDriver && m_tempDriver->receiveTempTable();
    if (!reportOutcome(alive, ok && m_tempDriver, TempTableText::readFailed()))
        return;
    setTempTable(m_tempDriver->tempTable());
    m_tableFilled = true;
}

void wTempCalibr::setEeprom()
{
    if (!sendRecord(m_tempDriver ? m_tempDriver->eepromConst() : nullptr, getEepromConst()))
        return;
    if (!m_tableFilled) {
        warn(TempTableText::notFilled({QStringLiteral("temperature table")}));
        return;
    }
    const QPointer<DriverWidget> alive(this);
    bool ok = false;
    if (m_tempDriver) {
        const LC4TDM0V1_Temp_Table_Item_t* items = getTempTable();
        std::copy(items, items + tempTableItems, m_tempDriver->tempTable());
        ok = m_tempDriver->sendTempTable();
    }
    reportOutcome(alive, ok, TempTableText::sendFailed());
}

QJsonObject wTempCalibr::eepromToJson()
{
    QJsonObject object;
    m_fields.toJson(&object);
    object.insert(tableKey, m_table.toJson());
    return object;
}

void wTempCalibr::eepromFromJson(QJsonObject object)
{
    m_fields.fromJson(object);
    // A record without a table clears it, and leaves nothing to send.
    m_tableFilled = m_table.fromJson(object.value(tableKey));
}

void wTempCalibr::on_pbLoadFromFile_clicked()
{
    if (m_table.loadFile(this, TempTableCells::FileText::AsWritten))
        m_tableFilled = true;
}
