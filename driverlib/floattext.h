#ifndef FLOATTEXT_H
#define FLOATTEXT_H

#include <QString>

// A float as the shortest text that reads back as the very same float: like %g,
// with as many significant digits beyond six (at most nine) as it needs. Always
// the C locale; a negative zero keeps its sign; "nan", "inf" and "-inf" otherwise.
QString shortestFloatText(float value);

#endif // FLOATTEXT_H
