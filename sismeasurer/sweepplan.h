#ifndef SWEEPPLAN_H
#define SWEEPPLAN_H

#include "sisbiassourcedriverm0.h"

#include <QString>

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
