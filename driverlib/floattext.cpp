#include "floattext.h"

#include <cmath>

QString shortestFloatText(float value)
{
    // Nine significant digits always give the float back; fewer often do. Below
    // six digits the text is that of %g, which shows 8000 rather than 8e+03.
    constexpr int maxDigits = 9;
    constexpr int displayDigits = 6;
    if (!std::isfinite(value))
        return QString::number(double(value));
    // %g drops the sign of a negative zero, which the module's bytes keep.
    if (value == 0.0f && std::signbit(value))
        return QStringLiteral("-0");
    for (int digits = displayDigits; digits < maxDigits; ++digits) {
        const QString text = QString::number(double(value), 'g', digits);
        if (text.toFloat() == value)
            return text;
    }
    return QString::number(double(value), 'g', maxDigits);
}
