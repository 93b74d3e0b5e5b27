#ifndef DRIVERWIDGET_H
#define DRIVERWIDGET_H

#include "commondriver.h"

#include <QJsonObject>
#include <QPointer>
#include <QWidget>

// Base of the EEPROM editors: one editor per module kind shows the calibration
// constants kept in the module's EEPROM, sends them back to the module's working
// copy and converts them to and from a calibration record's module section.
class DriverWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DriverWidget(QWidget* parent = nullptr);

    CommonDriver* driver() const { return m_driver; }

public slots:
    virtual void setDriver(CommonDriver* driver);
    virtual void enableGUI(bool enable) = 0;
    // Reads the constants from the module into the fields; reports a failure.
    virtual void getEeprom() = 0;
    // Sends the fields to the module's working copy; reports a failure.
    virtual void setEeprom() = 0;
    virtual QJsonObject eepromToJson() = 0;
    // Fills the fields only; nothing goes to the module.
    virtual void eepromFromJson(QJsonObject object) = 0;

protected:
    static QString const warningTitle;
    static QString const readFailedText;
    static QString const sendFailedText;

    void warn(QString const& text);

    // One synchronous read or send of a whole constants record, five attempts,
    // with its warning on failure; a null property fails. A record that comes back
    // shorter than its type is a failed read, so no zero-filled record ever
    // reaches the fields. False also when the editor went during the wait.
    template <typename Property> bool readRecord(Property* property)
    {
        const QPointer<DriverWidget> alive(this);
        bool ok = false;
        if (property)
            property->getValueSyncExact(&ok, recordAttempts);
        return reportOutcome(alive, ok, readFailedText);
    }
    template <typename Property, typename Record>
    bool sendRecord(Property* property, Record const& record)
    {
        const QPointer<DriverWidget> alive(this);
        bool ok = false;
        if (property)
            property->setValueSync(record, &ok, recordAttempts);
        return reportOutcome(alive, ok, sendFailedText);
    }
    static bool reportOutcome(QPointer<DriverWidget> const& alive, bool ok, QString const& failure);

private:
    static constexpr int recordAttempts = 5;

    // The module driver belongs to the main dialog; it may go during a wait.
    QPointer<CommonDriver> m_driver;
};

#endif // DRIVERWIDGET_H
