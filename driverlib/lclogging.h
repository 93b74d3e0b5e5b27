#ifndef LCLOGGING_H
#define LCLOGGING_H

#include <QLoggingCategory>

// The suite's logging categories, one per layer and program. Debug messages are off
// unless switched on, e.g. QT_LOGGING_RULES="lc.link.debug=true;lc.driver.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcLink)        // lc.link: connections, frames that do not parse
Q_DECLARE_LOGGING_CATEGORY(lcDriver)      // lc.driver: requests, answers, time-outs, resends
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)   // lc.discovery: broadcasts and call-backs
Q_DECLARE_LOGGING_CATEGORY(lcMeasurer)    // lc.measurer
Q_DECLARE_LOGGING_CATEGORY(lcSisMeasurer) // lc.sismeasurer
Q_DECLARE_LOGGING_CATEGORY(lcCalibration) // lc.calibration
Q_DECLARE_LOGGING_CATEGORY(lcMeter)       // lc.meter: the reference multimeter over VISA
Q_DECLARE_LOGGING_CATEGORY(lcSimulator)   // lc.simulator

#endif // LCLOGGING_H
