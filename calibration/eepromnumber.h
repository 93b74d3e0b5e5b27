#ifndef EEPROMNUMBER_H
#define EEPROMNUMBER_H

#include <QString>

class QDoubleSpinBox;
class QJsonValue;
class QLineEdit;

// How the editors show and read calibration constants. A constant is shown like
// %g, with as many significant digits beyond six (at most nine) as it takes to
// read back as the same float, so showing and sending a constant never changes
// it. Text is always in the C locale, whatever the system's: "1.5" is one and a
// half everywhere.
QString eepromNumberText(float value);
// Empty or unreadable text reads as 0.
float eepromNumberValue(QString const& text);
// The number a record stores for a field: the float that the field sends.
double eepromJsonNumber(QString const& text);
// A record's number as a constant. A value of another JSON type, or a number beyond
// a float's range (which would show as "inf" and save as null), reads as 0.
float eepromJsonValue(QJsonValue const& value);

// Lets the line edit accept only decimal numbers, exponent notation included.
void acceptEepromNumbers(QLineEdit* edit);
// Makes a spin box read and show C-locale numbers.
void useCLocale(QDoubleSpinBox* spinBox);

#endif // EEPROMNUMBER_H
