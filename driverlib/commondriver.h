#ifndef COMMONDRIVER_H
#define COMMONDRIVER_H

#include "abstractdriver.h"
#include "driverproperty.h"

// The commands every module understands: identity values and housekeeping.
// Module drivers derive from it; their own codes start at 0x0D.
class CommonDriver : public AbstractDriver
{
    Q_OBJECT
public:
    explicit CommonDriver(QObject* parent = nullptr);
    ~CommonDriver() override;

    DriverPropertyReadOnly<QString>* deviceType() const { return m_deviceType; }
    DriverPropertyReadOnly<QString>* modificationVersion() const { return m_modificationVersion; }
    DriverPropertyReadOnly<QString>* hardwareVersion() const { return m_hardwareVersion; }
    DriverPropertyReadOnly<QString>* firmwareVersion() const { return m_firmwareVersion; }
    DriverPropertyReadOnly<QString>* deviceDescription() const { return m_deviceDescription; }
    DriverPropertyReadOnly<cUDID>* UDID() const { return m_UDID; }
    DriverCommand* init() const { return m_init; }
    DriverCommand* shutDown() const { return m_shutDown; }
    DriverCommand* silence() const { return m_silence; }
    DriverCommand* reboot() const { return m_reboot; }
    DriverCommand* writeEeprom() const { return m_writeEeprom; }

    // Reads the six identity values, one attempt each, stopping at the first
    // failure. The values stay in the properties.
    bool getDeviceInfo();

signals:
    void eepromWrited();

private:
    DriverPropertyReadOnly<QString>* m_deviceType;
    DriverPropertyReadOnly<QString>* m_modificationVersion;
    DriverPropertyReadOnly<QString>* m_hardwareVersion;
    DriverPropertyReadOnly<QString>* m_firmwareVersion;
    DriverPropertyReadOnly<QString>* m_deviceDescription;
    DriverPropertyReadOnly<cUDID>* m_UDID;
    DriverCommand* m_init;
    DriverCommand* m_shutDown;
    DriverCommand* m_silence;
    DriverCommand* m_reboot;
    DriverCommand* m_writeEeprom;
};

#endif // COMMONDRIVER_H
