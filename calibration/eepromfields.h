#ifndef EEPROMFIELDS_H
#define EEPROMFIELDS_H

#include "driverproperty.h"
#include "eepromnumber.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QList>

// The constants of one record type as line edits and as a record section's keys:
// a coefficient or limit pair is two fields and a JSON array [first, second], a
// single constant one field and a JSON number.
template <typename Record> class EepromFields
{
public:
    void addPair(QString const& key, pair_t<float> Record::*pair, QLineEdit* first,
                 QLineEdit* second)
    {
        m_fields.append({key, pair, nullptr, first, second});
        acceptEepromNumbers(first);
        acceptEepromNumbers(second);
    }
    void addSingle(QString const& key, float Record::*single, QLineEdit* edit)
    {
        m_fields.append({key, nullptr, single, edit, nullptr});
        acceptEepromNumbers(edit);
    }

    void show(Record const& record) const
    {
        for (const Field& field : m_fields) {
            if (field.single) {
                field.first->setText(eepromNumberText(record.*field.single));
            } else {
                field.first->setText(eepromNumberText((record.*field.pair).first));
                field.second->setText(eepromNumberText((record.*field.pair).second));
            }
        }
    }

    // Empty or unreadable text gives 0.
    Record record() const
    {
        Record record{};
        for (const Field& field : m_fields) {
            if (field.single) {
                record.*field.single = eepromNumberValue(field.first->text());
            } else {
                (record.*field.pair).first = eepromNumberValue(field.first->text());
                (record.*field.pair).second = eepromNumberValue(field.second->text());
            }
        }
        return record;
    }

    void toJson(QJsonObject* object) const
    {
        for (const Field& field : m_fields) {
            if (field.single)
                object->insert(field.key, eepromJsonNumber(field.first->text()));
            else
                object->insert(field.key, QJsonArray{eepromJsonNumber(field.first->text()),
                                                     eepromJsonNumber(field.second->text())});
        }
    }

    // A missing key, a missing element, a value of another JSON type or a number
    // beyond a float's range gives 0.
    void fromJson(QJsonObject const& object) const
    {
        for (const Field& field : m_fields) {
            const QJsonValue value = object.value(field.key);
            if (field.single) {
                field.first->setText(eepromNumberText(eepromJsonValue(value)));
            } else {
                const QJsonArray pair = value.toArray();
                field.first->setText(eepromNumberText(eepromJsonValue(pair.at(0))));
                field.second->setText(eepromNumberText(eepromJsonValue(pair.at(1))));
            }
        }
    }

    void setEnabled(bool enable) const
    {
        for (const Field& field : m_fields) {
            field.first->setEnabled(enable);
            if (field.second)
                field.second->setEnabled(enable);
        }
    }

private:
    struct Field
    {
        QString key;
        pair_t<float> Record::*pair;
        float Record::*single;
        QLineEdit* first;
        QLineEdit* second;
    };
    QList<Field> m_fields;
};

#endif // EEPROMFIELDS_H
