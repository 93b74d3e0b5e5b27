#include "simunit.h"

#include "simdiscoveryresponder.h"
#include "simmeterserver.h"
#include "simmodule.h"
#include "simoptions.h"
#include "simserver.h"
#include "simstatefile.h"

SimUnit::SimUnit() = default;
SimUnit::~SimUnit() = default;

bool SimUnit::buildCrate(const SimOptions& options, QString* error)
{
    if (!options.crateFile.isEmpty() && !m_crate.loadFile(options.crateFile, error))
        return false;
    for (const QString& argument : options.moduleArguments) {
        if (!m_crate.addModuleArgument(argument, error))
            return false;
    }
    if (options.crateFile.isEmpty() && options.moduleArguments.isEmpty())
        m_crate.addDefaultModules();
    for (int address : options.server.silent) {
        if (!m_crate.module(address)) {
            *error = QStringLiteral("--silent %1: there is no module at that address").arg(address);
            return false;
        }
    }
    return true;
}

bool SimUnit::startMeter(const SimOptions& options, QString* error)
{
    SimMeterConfig config = options.meter;
    if (!config.wiring.isWired()) {
        config.wiring = m_crate.meterWiring();
        if (options.meter.wiring.shunt > 0)
            config.wiring.shunt = options.meter.wiring.shunt;
    }
    if (!config.wiring.isWired()) {
        if (!options.meterOptionsGiven)
            return true;
        *error = QStringLiteral("the --meter-... options need --meter or a \"meter\" entry in "
                                "the crate file");
        return false;
    }
    auto meter = std::make_unique<SimMeterServer>();
    if (!meter->start(config, &m_crate, options.listenAddress, error))
        return false;
    m_meter = std::move(meter);
    return true;
}

bool SimUnit::start(const SimOptions& options, QString* error)
{
    if (m_server) {
        *error = QStringLiteral("the unit is already running");
        return false;
    }
    if (!buildCrate(options, error))
        return false;
    if (!options.stateFile.isEmpty()) {
        m_state = std::make_unique<SimStateFile>(options.stateFile);
        if (!m_state->load(&m_crate, error))
            return false;
        for (SimModule* module : m_crate.modules()) {
            module->setEepromWriter([this](const SimModule&) {
                QString reason;
                if (m_state->save(m_crate, &reason))
                    return true;
                SimServer::error(reason);
                return false;
            });
        }
    }
    if (!startMeter(options, error))
        return false;
    auto server = std::make_unique<SimServer>(&m_crate, options.server);
    if (!server->listen(options.listenAddress, options.port, error))
        return false;
    m_server = std::move(server);
    if (!options.noDiscovery) {
        // Without discovery the unit still serves frames; programs can take a typed address.
        m_discovery = std::make_unique<SimDiscoveryResponder>();
        m_discovery->setIdentification(options.server.identification);
        // Broadcasts reach only a socket bound to any address; the answer comes from
        // the address the unit serves on.
        m_discovery->setReplyAddress(options.listenAddress);
        if (!m_discovery->start(options.discoveryPort)) {
            SimServer::error(QStringLiteral("discovery off: %1").arg(m_discovery->errorString()));
            m_discovery.reset();
        }
    }
    return true;
}

QStringList SimUnit::summary() const
{
    if (!m_server)
        return {};
    const SimServerConfig& config = m_server->config();
    const QHostAddress address = m_server->serverAddress();
    QStringList lines;
    lines << QStringLiteral("lc-simulator listening on %1 port %2")
                 .arg(address == QHostAddress::Any ? QStringLiteral("any address")
                                                   : address.toString())
                 .arg(m_server->serverPort());
    for (const SimModule* module : m_crate.modules()) {
        lines << QStringLiteral("  address %1: %2, UDID %3%4")
                     .arg(module->address(), 2)
                     .arg(module->typeString(), SimModule::udidToText(module->udid()),
                          config.silent.contains(module->address()) ? QStringLiteral(", silent")
                                                                    : QString());
    }
    lines << (m_discovery
                  ? QStringLiteral("  answering discovery on UDP port %1").arg(m_discovery->port())
                  : QStringLiteral("  not answering discovery"));
    lines << (m_state ? QStringLiteral("  EEPROM state file: %1").arg(m_state->path())
                      : QStringLiteral("  EEPROM kept in memory only"));
    if (m_meter)
        lines << m_meter->summary();
    QStringList faults;
    if (config.delayMs > 0)
        faults << QStringLiteral("replies %1 ms late").arg(config.delayMs);
    if (config.dropEvery > 0)
        faults << QStringLiteral("every %1. answer dropped").arg(config.dropEvery);
    if (config.truncateEvery > 0)
        faults << QStringLiteral("every %1. answer one byte short").arg(config.truncateEvery);
    if (config.garbageEvery > 0)
        faults << QStringLiteral("garbage before every %1. answer").arg(config.garbageEvery);
    if (config.closeAfter > 0)
        faults << QStringLiteral("connections closed at frame %1").arg(config.closeAfter);
    if (!faults.isEmpty())
        lines << QStringLiteral("  faults: %1").arg(faults.join(QStringLiteral(", ")));
    return lines;
}
