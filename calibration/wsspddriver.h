#ifndef WSSPDDRIVER_H
#define WSSPDDRIVER_H

#include "driverwidget.h"
#include "eepromfields.h"
#include "lc4drivertype.h"
#include "sspddriverm0.h"
#include "sspddriverm1.h"

namespace Ui {
class wSspdDriver;
}

// Constants of both SSPD driver modifications. M1 has the current monitor's line
// and the pulse width besides M0's eight constants; their rows are hidden for M0,
// and an M0 record section neither holds nor takes them.
class wSspdDriver : public DriverWidget
{
    Q_OBJECT
public:
    explicit wSspdDriver(QWidget* parent = nullptr);
    ~wSspdDriver() override;

    LC4DriverType driverKind() const { return m_driverKind; }

public slots:
    void setDriver(CommonDriver* driver) override;
    void enableGUI(bool enable) override;
    void getEeprom() override;
    void setEeprom() override;
    QJsonObject eepromToJson() override;
    void eepromFromJson(QJsonObject object) override;

private:
    void showM1Rows(bool show);
    // The driver when it was found to be of `kind`; null otherwise.
    template <typename Driver> Driver* driverAs(LC4DriverType kind) const
    {
        return m_driverKind == kind ? qobject_cast<Driver*>(driver()) : nullptr;
    }

    Ui::wSspdDriver* ui;
    LC4DriverType m_driverKind = UnknownType;
    EepromFields<LC4SDM0V1_EEPROM_Const_t> m_fieldsM0;
    EepromFields<LC4SDM1_EEPROM_Const_t> m_fieldsM1;
};

#endif // WSSPDDRIVER_H
