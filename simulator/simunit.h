#ifndef SIMUNIT_H
#define SIMUNIT_H

#include "simcrate.h"

#include <QStringList>

#include <memory>

class SimDiscoveryResponder;
class SimMeterServer;
class SimServer;
class SimStateFile;
struct SimOptions;

// A whole simulated unit: crate, persisted EEPROM and frame server, built from options.
class SimUnit
{
public:
    SimUnit();
    ~SimUnit();

    // Builds the crate, loads the EEPROM state and starts listening. On failure the
    // unit serves nothing and the message says why.
    bool start(const SimOptions& options, QString* error);

    SimCrate& crate() { return m_crate; }
    SimServer* server() const { return m_server.get(); }
    // Null unless the reference meter is wired.
    SimMeterServer* meter() const { return m_meter.get(); }
    // What the unit serves, one line each, for the start-up banner.
    QStringList summary() const;

private:
    bool buildCrate(const SimOptions& options, QString* error);
    bool startMeter(const SimOptions& options, QString* error);

    SimCrate m_crate;
    std::unique_ptr<SimStateFile> m_state;
    std::unique_ptr<SimServer> m_server;
    std::unique_ptr<SimDiscoveryResponder> m_discovery;
    std::unique_ptr<SimMeterServer> m_meter;
};

#endif // SIMUNIT_H
