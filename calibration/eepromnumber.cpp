#include "eepromnumber.h"

#include "floattext.h"

#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QJsonValue>
#include <QLineEdit>
#include <QLocale>

#include <cmath>

QString eepromNumberText(float value)
{
    return shortestFloatText(value);
}

float eepromNumberValue(QString const& text)
{
    bool ok = false;
    const float value = QLocale::c().toFloat(text.trimmed(), &ok);
    return ok ? value : 0.0f;
}

double eepromJsonNumber(QString const& text)
{
    return eepromNumberText(eepromNumberValue(text)).toDouble();
}

float eepromJsonValue(QJsonValue const& value)
{
    const float number = float(value.toDouble());
    return std::isfinite(number) ? number : 0.0f;
}

void acceptEepromNumbers(QLineEdit* edit)
{
    auto* validator = new QDoubleValidator(edit);
    validator->setNotation(QDoubleValidator::ScientificNotation);
    validator->setLocale(QLocale::c());
    edit->setValidator(validator);
}

void useCLocale(QDoubleSpinBox* spinBox)
{
    spinBox->setLocale(QLocale::c());
}
