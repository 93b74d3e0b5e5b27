#ifndef WTEMPM1CALIBR_H
#define WTEMPM1CALIBR_H

#include "driverwidget.h"
#include "tempdriverm1.h"
#include "wtempm1supportwidget.h"

#include <QPointer>

#include <array>

namespace Ui {
class wTempM1Calibr;
}

// The four channels of a temperature driver M1, one page each. The module takes
// default parameters, constants and tables each for all four channels at once,
// so each of them is sent only when this session filled it on every page.
class wTempM1Calibr : public DriverWidget
{
    Q_OBJECT
public:
    explicit wTempM1Calibr(QWidget* parent = nullptr);
    ~wTempM1Calibr() override;

    // The channel of the current page, the one a calibration run calibrates.
    int currentChannel() const;

public slots:
    void setDriver(CommonDriver* driver) override;
    void enableGUI(bool enable) override;
    void getEeprom() override;
    void setEeprom() override;
    QJsonObject eepromToJson() override;
    void eepromFromJson(QJsonObject object) override;

private:
    using Exchange = bool (TempDriverM1::*)();
    using Section = bool wTempM1SupportWidget::Filled::*;

    // False, after the warning, when the exchange failed; false without one
    // when the editor went during it.
    bool exchange(Exchange exchange, QString const& failure);
    // The pages on which this session has not filled the section.
    QStringList unfilled(Section section) const;
    // False when the editor went while the warning was up.
    bool reportOutOfRange(QStringList const& channels);

    Ui::wTempM1Calibr* ui;
    std::array<wTempM1SupportWidget*, TempDriverM1::channels> m_pages;
    QPointer<TempDriverM1> m_tempDriver;
};

#endif // WTEMPM1CALIBR_H
