#ifndef DACRANGEDIVIDER_H
#define DACRANGEDIVIDER_H

#include "driverproperty.h"
#include "lineregression.h"

// Modules that use only the middle part of their DAC range map a code-space value
// v to the code 32767 + (v - 32767) / k; a fitted line is compressed the same way.
// Computed in extended precision, stored as floats.
inline pair_t<float> dividedDacPair(long double k, long double slope, long double intercept)
{
    const long double middle = 32767.0L;
    return {float(slope / k), float((k - 1) * middle / k + intercept / k)};
}

inline pair_t<float> dividedDacPair(long double k, lineRegressionCoeff line)
{
    return dividedDacPair(k, line.slope, line.intercept);
}

#endif // DACRANGEDIVIDER_H
