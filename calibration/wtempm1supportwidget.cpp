#include "wtempm1supportwidget.h"

#include "ui_wtempm1supportwidget.h"

#include <QSignalBlocker>

#include <cmath>

namespace {
QString const defaultCurrentKey = QStringLiteral("DefaultCurrent");
QString const enableKey = QStringLiteral("Enable");
QString const tableKey = QStringLiteral("TempTable");
constexpr double microamperesPerAmpere = 1e6;
} // namespace

wTempM1SupportWidget::wTempM1SupportWidget(QWidget* parent)
    // The table widget exists once the form is set up.
    : QWidget(parent), ui(new Ui::wTempM1SupportWidget),
      m_table((ui->setupUi(this), ui->twTempTable))
{
    useCLocale(ui->sbDefaultCurrent);
    m_coeffFields.addPair(QStringLiteral("CurrentCoeffs"), &TDM1_EepromCoeff::currentCoeff,
                          ui->leCurrentSlope, ui->leCurrentIntercept);
    m_coeffFields.addPair(QStringLiteral("VoltageCoeffs"), &TDM1_EepromCoeff::voltageCoeff,
                          ui->leVoltageSlope, ui->leVoltageIntercept);
    connect(ui->sbDefaultCurrent, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            [this](double microamperes) {
                m_defaultCurrent = float(microamperes / microamperesPerAmpere);
            });
}

wTempM1SupportWidget::~wTempM1SupportWidget()
{
    delete ui;
}

TDM1_EepromCoeff wTempM1SupportWidget::eepromCoeff() const
{
    return m_coeffFields.record();
}

void wTempM1SupportWidget::setEepromCoeff(TDM1_EepromCoeff const& coeff)
{
    m_coeffFields.show(coeff);
    m_filled.eepromCoeff = true;
}

DefaultParam wTempM1SupportWidget::getDefaultParam() const
{
    DefaultParam param;
    param.enable = ui->cbEnable->isChecked();
    param.current = m_defaultCurrent;
    return param;
}

bool wTempM1SupportWidget::setDefaultParam(DefaultParam const& param)
{
    QDoubleSpinBox* spinBox = ui->sbDefaultCurrent;
    const double microamperes = double(param.current) * microamperesPerAmpere;
    {
        const QSignalBlocker blocker(spinBox);
        spinBox->setValue(microamperes);
    }
    m_defaultCurrent = param.current;
    ui->cbEnable->setChecked(param.enable);
    m_filled.defaultParam = true;
    // As the spin box would show it; a current that is no number is outside too.
    const double scale = std::pow(10.0, spinBox->decimals());
    const double shown = std::round(microamperes * scale) / scale;
    return shown >= spinBox->minimum() && shown <= spinBox->maximum();
}

const LC4TDM0V1_Temp_Table_Item_t* wTempM1SupportWidget::temperatureTable()
{
    return m_table.items();
}

void wTempM1SupportWidget::setTemperatureTable(const LC4TDM0V1_Temp_Table_Item_t* items)
{
    for (int row = 0; row < tempTableItems; ++row)
        setTemperatureTableItem(items[row], row);
    m_filled.table = true;
}

void wTempM1SupportWidget::setTemperatureTableItem(LC4TDM0V1_Temp_Table_Item_t const& item, int row)
{
    m_table.setRow(row, item);
}

QJsonObject wTempM1SupportWidget::toJson() const
{
    QJsonObject channel;
    m_coeffFields.toJson(&channel);
    channel.insert(defaultCurrentKey, eepromJsonNumber(eepromNumberText(m_defaultCurrent)));
    channel.insert(enableKey, ui->cbEnable->isChecked());
    channel.insert(tableKey, m_table.toJson());
    return channel;
}

bool wTempM1SupportWidget::fromJson(QJsonValue const& entry)
{
    const QJsonObject channel = entry.toObject();
    m_coeffFields.fromJson(channel);
    DefaultParam param;
    param.enable = channel.value(enableKey).toBool(false);
    param.current = eepromJsonValue(channel.value(defaultCurrentKey));
    const bool inRange = setDefaultParam(param);
    const bool hasTable = m_table.fromJson(channel.value(tableKey));
    m_filled = {entry.isObject(), entry.isObject(), hasTable};
    return inRange;
}

void wTempM1SupportWidget::on_pbLoadTable_clicked()
{
    if (m_table.loadFile(this, TempTableCells::FileText::AsNumbers))
        m_filled.table = true;
}
