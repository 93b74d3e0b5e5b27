#ifndef RECORDEDITOR_H
#define RECORDEDITOR_H

#include "driverwidget.h"
#include "eepromfields.h"

// An editor for a module kind whose constants are one record read and sent whole.
template <typename Driver, typename Record> class RecordEditor : public DriverWidget
{
public:
    explicit RecordEditor(QWidget* parent) : DriverWidget(parent) {}

    // Another kind of driver leaves the editor without one.
    void setDriver(CommonDriver* driver) override
    {
        auto* typed = qobject_cast<Driver*>(driver);
        if (!typed)
            return;
        QObject::connect(typed, &Driver::eepromConstUpdated, this,
                         [this](Record record) { m_fields.show(record); });
        DriverWidget::setDriver(driver);
    }
    void enableGUI(bool enable) override { m_fields.setEnabled(enable); }
    void getEeprom() override { readRecord(property()); }
    void setEeprom() override { sendRecord(property(), m_fields.record()); }
    QJsonObject eepromToJson() override
    {
        QJsonObject object;
        m_fields.toJson(&object);
        return object;
    }
    void eepromFromJson(QJsonObject object) override { m_fields.fromJson(object); }

protected:
    EepromFields<Record> m_fields;

private:
    auto* property() const
    {
        auto* typed = qobject_cast<Driver*>(driver());
        return typed ? typed->eepromConst() : nullptr;
    }
};

#endif // RECORDEDITOR_H
