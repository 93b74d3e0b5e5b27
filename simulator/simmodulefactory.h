#ifndef SIMMODULEFACTORY_H
#define SIMMODULEFACTORY_H

#include <QString>
#include <QStringList>

#include <memory>

class SimModule;

// Maps model codes ("LC4SDM0", ...) to the module classes.
class SimModuleFactory
{
public:
    // All model codes, in the order of the default crate.
    static QStringList kinds();
    // Null for an unknown model code.
    static std::unique_ptr<SimModule> create(const QString& kind, quint8 address);
};

#endif // SIMMODULEFACTORY_H
