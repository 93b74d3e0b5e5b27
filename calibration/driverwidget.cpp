#include "driverwidget.h"

#include "deviceinfotext.h"
#include "operatordialogs.h"

QString const DriverWidget::warningTitle = QStringLiteral("Warning!!!");
QString const DriverWidget::readFailedText = QStringLiteral("Can't read eeprom data");
QString const DriverWidget::sendFailedText =
    QStringLiteral("Can't set eeprom constants. Please try one more time!!!");

DriverWidget::DriverWidget(QWidget* parent) : QWidget(parent) {}

void DriverWidget::setDriver(CommonDriver* driver)
{
    m_driver = driver;
}

void DriverWidget::warn(QString const& text)
{
    OperatorDialogs::warning(this, warningTitle, text);
}

bool DriverWidget::reportOutcome(QPointer<DriverWidget> const& alive, bool ok,
                                 QString const& failure)
{
    if (!alive)
        return false;
    if (!ok)
        alive->warn(withUnitLostCause(failure, alive->driver()));
    return ok;
}
