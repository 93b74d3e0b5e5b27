#ifndef SWEEPPLAN_H
#define SWEEPPLAN_H

#include "sisbiassourcedriverm0.h"

#include <QString>

// The frames around a sweep: announced to every module at this address before
// the start and closed after the end (or a stop); the module's end frame is a
// sweep frame of sweepEndLength bytes.
constexpr quint8 allModules = 255;
constexpr quint8 sweepAnnounceCommand = 4;
constexpr quint8 sweepCloseCommand = 5;
constexpr quint8 sweepEndLength = 4;
// The settling time after the set-up, and the longest wait for a frame after the
// announcement or the close.
constexpr int sweepSettleMs = 500;
constexpr int sweepAnnounceWaitMs = 2000;

// What the window sends for one sweep and how long the module should take for it.
struct SweepPlan
{
    LC4BSM0_SWEEP_PARAMS_t params{};
    double points = 0;     // expected number of sweep frames
    double expectedMs = 0; // points x time step, at least 1 ms a point
};

// Sweep type 0 is a voltage sweep in mV, anything else a current sweep in uA.
// Start, stop and step that do not read as numbers count as 0. Returns false,
// with the reason, for a sweep the module could not run to its stop value or a
// time step that does not fit the record.
bool planSweep(int sweepType, QString const& start, QString const& stop, QString const& step,
               QString const& timeStep, SweepPlan* plan, QString* error);

// The longest wait for the end frame: the expected duration plus a margin for
// the link and for a module that runs a little slow.
int sweepEndWaitMs(SweepPlan const& plan);

#endif // SWEEPPLAN_H
