#ifndef SIMMETERCONFIG_H
#define SIMMETERCONFIG_H

#include <QString>

class QJsonValue;

// Which module output the simulated reference meter measures. With a shunt the
// output current flows through a precision resistor of that many ohms and the
// meter's voltage input sees the voltage across it; without one, the meter's
// current input carries it.
struct SimMeterWiring
{
    int address = -1; // -1: the meter is not wired, and not started
    QString output;   // a name of SimModule::outputNames()
    double shunt = 0;

    bool isWired() const { return address >= 0; }

    // The crate file's {"address": 3, "output": "current", "shunt": 10}; the
    // shunt is optional.
    static bool fromJson(const QJsonValue& value, SimMeterWiring* wiring, QString* error);
    // The command line's "ADDR:OUTPUT".
    static bool fromArgument(const QString& argument, SimMeterWiring* wiring, QString* error);
};

// The simulated reference meter: where it listens, how long it integrates and
// the faults it plays.
struct SimMeterConfig
{
    static constexpr int defaultPort = 5025; // the usual SCPI socket port

    SimMeterWiring wiring;
    int port = defaultPort;    // on the unit's listen address; 0: any free port
    QString ptyLink;           // non-empty: also serve a pseudo-terminal, linked from here
    int integrationMs = 0;     // per reading; 0: from the resolution asked
    double lineFrequency = 50; // Hz, sets the integration time of a power-line cycle
    bool silent = false;       // takes commands, never answers
    bool garbage = false;      // answers readings with text that is no number
    int delayMs = 0;           // every answer this much later still
    double scale = 1;          // readings this many times what they should be (a broken range)
};

#endif // SIMMETERCONFIG_H
