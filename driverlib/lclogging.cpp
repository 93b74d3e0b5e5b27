#include "lclogging.h"

// QtInfoMsg: info, warnings and errors are shown, debug only when a rule asks for it.
Q_LOGGING_CATEGORY(lcLink, "lc.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDriver, "lc.driver", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "lc.discovery", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMeasurer, "lc.measurer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSisMeasurer, "lc.sismeasurer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCalibration, "lc.calibration", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMeter, "lc.meter", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSimulator, "lc.simulator", QtInfoMsg)
