#ifndef WTEMPCALIBR_H
#define WTEMPCALIBR_H

#include "driverwidget.h"
#include "eepromfields.h"
#include "tempdriverm0.h"
#include "temptablefile.h"

#include <QPointer>

namespace Ui {
class wTempCalibr;
}

// Constants and temperature table of a temperature driver M0. The table is sent
// only once this session has filled it from the module, a record or a file, so
// that an unread table never overwrites the module's with zeros.
class wTempCalibr : public DriverWidget
{
    Q_OBJECT
public:
    explicit wTempCalibr(QWidget* parent = nullptr);
    ~wTempCalibr() override;

    LC4TDM0V1_EEPROM_Const_t getEepromConst() const;
    const LC4TDM0V1_Temp_Table_Item_t* getTempTable();
    void setTempTable(const LC4TDM0V1_Temp_Table_Item_t* items);

public slots:
    void setDriver(CommonDriver* driver) override;
    void enableGUI(bool enable) override;
    void getEeprom() override;
    void setEeprom() override;
    QJsonObject eepromToJson() override;
    void eepromFromJson(QJsonObject object) override;
    void onEepromConstReceived(LC4TDM0V1_EEPROM_Const_t record);

private slots:
    void on_pbLoadFromFile_clicked();

private:
    Ui::wTempCalibr* ui;
    QPointer<TempDriverM0> m_tempDriver;
    EepromFields<LC4TDM0V1_EEPROM_Const_t> m_fields;
    TempTableCells m_table;
    bool m_tableFilled = false;
};

#endif // WTEMPCALIBR_H
