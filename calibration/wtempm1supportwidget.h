#ifndef WTEMPM1SUPPORTWIDGET_H
#define WTEMPM1SUPPORTWIDGET_H

#include "eepromfields.h"
#include "tempdriverm1.h"
#include "temptablefile.h"

#include <QJsonObject>
#include <QWidget>

namespace Ui {
class wTempM1SupportWidget;
}

// One channel of a temperature driver M1: its default parameters, its constants
// and its temperature table.
class wTempM1SupportWidget : public QWidget
{
    Q_OBJECT
public:
    // What this session filled from the module, a record or a file; only that
    // is worth sending.
    struct Filled
    {
        bool eepromCoeff = false;
        bool defaultParam = false;
        bool table = false;
    };

    explicit wTempM1SupportWidget(QWidget* parent = nullptr);
    ~wTempM1SupportWidget() override;

    TDM1_EepromCoeff eepromCoeff() const;
    void setEepromCoeff(TDM1_EepromCoeff const& coeff);
    DefaultParam getDefaultParam() const;
    // The current is kept exactly as given until the operator changes the spin
    // box, which would round it to its decimals or clamp it to its range. False
    // when it lies outside that range.
    bool setDefaultParam(DefaultParam const& param);
    const LC4TDM0V1_Temp_Table_Item_t* temperatureTable();
    void setTemperatureTable(const LC4TDM0V1_Temp_Table_Item_t* items);
    void setTemperatureTableItem(LC4TDM0V1_Temp_Table_Item_t const& item, int row);

    Filled filled() const { return m_filled; }

    // The channel's entry of a record section.
    QJsonObject toJson() const;
    // An entry that is no object fills zeros and counts as nothing filled. False
    // as for setDefaultParam.
    bool fromJson(QJsonValue const& entry);

private slots:
    void on_pbLoadTable_clicked();

private:
    Ui::wTempM1SupportWidget* ui;
    EepromFields<TDM1_EepromCoeff> m_coeffFields;
    TempTableCells m_table;
    float m_defaultCurrent = 0.0f; // amperes
    Filled m_filled;
};

#endif // WTEMPM1SUPPORTWIDGET_H
