#ifndef MEASURERFORMAT_H
#define MEASURERFORMAT_H

#include "sspddriverm0.h"
#include "sspddriverm1.h"

#include <QByteArray>
#include <QString>

// Texts the measurer shows and records. Numbers are fixed-point, right-aligned in a
// field of at least 6 characters: currents in uA, voltages in mV.

// The control page's reading: "I: .. uA<br>U: .. mV" (M1 adds "Imon").
QString controlReadingText(LC4SDM0V1_Data_t const& data);
QString controlReadingText(LC4SDM1_Data_t const& data);

// The service page's reading, with the counter value.
QString serviceReadingText(LC4SDM0V1_Data_t const& data);
QString serviceReadingText(LC4SDM1_Data_t const& data);

// One line of the service recording file, tab-separated, CR LF at the end.
QByteArray recordLine(LC4SDM0V1_Data_t const& data);
QByteArray recordLine(LC4SDM1_Data_t const& data);

// The counter time constant in milliseconds, or 0 when the module's value is not a
// usable period (not finite, not positive). Rounded to the microsecond, so that the
// float's last bit does not turn 0.29 s into 289.99999 ms.
double timeConstantMs(double seconds);

// The refresh period of the counter page: the time constant, at least 100 ms.
int counterPeriodMs(double timeConstMs);

#endif // MEASURERFORMAT_H
