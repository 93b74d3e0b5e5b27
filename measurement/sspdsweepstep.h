#ifndef SSPDSWEEPSTEP_H
#define SSPDSWEEPSTEP_H

#include "sspddriverm0.h"
#include "sspddriverm1.h"

#include <cmath>

// The rules of one SSPD counts sweep, shared by the measurer window and lc-ctl.

// Status bits each modification switches on at once: the comparator check box,
// entering the counter page, and starting a sweep. M1 has no RF key (bit 3 is its
// HF mode), so its masks leave that bit alone.
template <typename Driver> struct SspdMasks;
template <> struct SspdMasks<SspdDriverM0>
{
    static constexpr quint8 comparator = 0x38;
    static constexpr quint8 counting = 0x38;
    static constexpr quint8 sweep = 0x3C;
};
template <> struct SspdMasks<SspdDriverM1>
{
    static constexpr quint8 comparator = 0x30;
    static constexpr quint8 counting = 0x30;
    static constexpr quint8 sweep = 0x34;
};

// Sweep type 0 sets the bias current (value in uA), 1 the comparator level (V).
template <typename Driver> void sendSweepValue(Driver* d, int type, double value, bool* ok)
{
    if (type == 0)
        d->current()->setValueSync(float(value * 1e-6), ok, 5);
    else
        d->cmpReferenceLevel()->setValueSync(float(value), ok, 5);
}

// Two counter periods per point, in whole milliseconds; 0 when the time constant
// gives no usable period.
inline int sweepPeriodMs(double timeConst)
{
    constexpr double longest = 24.0 * 3600 * 1000;
    if (!std::isfinite(timeConst))
        return 0;
    double const period = std::round(timeConst * 2000);
    return period >= 1 && period <= longest ? int(period) : 0;
}

// From the start each time, so that rounding does not pile up over the steps.
inline double sweepSetPoint(double start, double step, int index)
{
    return start + index * step;
}

// A set-point that misses the stop value by rounding alone is still measured.
inline bool sweepPastStop(double value, double stop, double step)
{
    return value > stop + std::abs(step) * 1e-6;
}

#endif // SSPDSWEEPSTEP_H
