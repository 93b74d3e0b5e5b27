#include "simfixture.h"

#include "simoptions.h"
#include "simserver.h"

std::unique_ptr<SimUnit> startSimUnit(const QStringList& arguments, QString* error)
{
    SimOptions options;
    QString message;
    auto unit = std::make_unique<SimUnit>();
    const QStringList base{"lc-simulator", "--listen", "127.0.0.1",
                           "--port",       "0",        "--no-discovery"};
    if (!options.parse(base + arguments, &message) || !unit->start(options, &message)) {
        if (error)
            *error = message;
        return nullptr;
    }
    return unit;
}

lcTcpSocketIOInterface* linkTo(const SimUnit& unit, QObject* parent)
{
    auto* link = new lcTcpSocketIOInterface(parent);
    link->setAddress(QHostAddress(QHostAddress::LocalHost));
    link->setPort(unit.server()->serverPort());
    return link;
}
