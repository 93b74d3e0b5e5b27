#include "commondriver.h"

#include <QPointer>

CommonDriver::CommonDriver(QObject* parent)
    : AbstractDriver(parent),
      m_deviceType(new DriverPropertyReadOnly<QString>(this, 0x06, noCommand)),
      m_modificationVersion(new DriverPropertyReadOnly<QString>(this, 0x07, noCommand)),
      m_hardwareVersion(new DriverPropertyReadOnly<QString>(this, 0x08, noCommand)),
      m_firmwareVersion(new DriverPropertyReadOnly<QString>(this, 0x09, noCommand)),
      m_deviceDescription(new DriverPropertyReadOnly<QString>(this, 0x0A, noCommand)),
      m_UDID(new DriverPropertyReadOnly<cUDID>(this, 0x05, noCommand)),
      m_init(new DriverCommand(this, 0x00)), m_shutDown(new DriverCommand(this, 0x01)),
      m_silence(new DriverCommand(this, 0x02)), m_reboot(new DriverCommand(this, 0x0B)),
      m_writeEeprom(new DriverCommand(this, 0x0C))
{
    m_writeEeprom->settedSignal().append([this] { emit eepromWrited(); });
}

CommonDriver::~CommonDriver()
{
    deleteInOrder(m_deviceType, m_modificationVersion, m_hardwareVersion, m_firmwareVersion,
                  m_deviceDescription, m_UDID, m_init, m_shutDown, m_silence, m_reboot,
                  m_writeEeprom);
}

bool CommonDriver::getDeviceInfo()
{
    const QPointer<CommonDriver> alive(this);
    bool ok = false;
    for (auto* text : {m_deviceType, m_modificationVersion, m_hardwareVersion, m_firmwareVersion,
                       m_deviceDescription}) {
        text->getValueSync(&ok, 1);
        if (!ok || !alive)
            return false;
    }
    m_UDID->getValueSync(&ok, 1);
    return ok && alive;
}
