#include "deviceinfotext.h"

#include "commondriver.h"
#include "lciointerface.h"

QString deviceInfoStatusText(CommonDriver const& driver)
{
    return QStringLiteral("Status: Device %1 inited<br>Modification: %2<br>Hardware: %3<br>"
                          "Firmware: %4<br>Description: %5<br>DeviceId: %6")
        .arg(driver.deviceType()->currentValue().toHtmlEscaped(),
             driver.modificationVersion()->currentValue().toHtmlEscaped(),
             driver.hardwareVersion()->currentValue().toHtmlEscaped(),
             driver.firmwareVersion()->currentValue().toHtmlEscaped(),
             driver.deviceDescription()->currentValue().toHtmlEscaped(),
             udidToString(driver.UDID()->currentValue()));
}

QString unitLostText()
{
    return QStringLiteral("The unit does not answer");
}

QString unitLostStatusText()
{
    return QStringLiteral("Status: ") + unitLostText();
}

QString withUnitLostCause(QString const& text, lcIODevice const* device)
{
    if (!device || !device->iOInterface() || !device->iOInterface()->isUnitLost())
        return text;
    return text + QStringLiteral(". ") + unitLostText();
}
