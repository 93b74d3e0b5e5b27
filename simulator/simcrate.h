#ifndef SIMCRATE_H
#define SIMCRATE_H

#include "simmeterconfig.h"

#include <QList>
#include <QString>

#include <map>
#include <memory>

class SimModule;

// The modules of one simulated unit, by device address.
class SimCrate
{
public:
    static constexpr int maxAddress = 31;

    SimCrate();
    ~SimCrate();
    SimCrate(const SimCrate&) = delete;
    SimCrate& operator=(const SimCrate&) = delete;

    // Refuses an address beyond maxAddress, a taken address and a UDID already in the crate.
    bool addModule(std::unique_ptr<SimModule> module, QString* error);
    bool addModule(int address, const QString& kind, QString* error);
    // "ADDR:KIND", as given on the command line.
    bool addModuleArgument(const QString& argument, QString* error);
    // One module of each kind at addresses 1 to 7.
    void addDefaultModules();

    // Either every module of the file is added or none is.
    bool loadFile(const QString& path, QString* error);
    bool loadJson(const QByteArray& json, QString* error);

    SimModule* module(int address) const;
    QList<SimModule*> modules() const;
    bool isEmpty() const { return m_modules.empty(); }
    // The reference meter's wiring from the crate file's "meter" entry.
    const SimMeterWiring& meterWiring() const { return m_meterWiring; }

private:
    bool canAdd(const SimModule& module, QString* error) const;

    std::map<int, std::unique_ptr<SimModule>> m_modules;
    SimMeterWiring m_meterWiring;
};

#endif // SIMCRATE_H
