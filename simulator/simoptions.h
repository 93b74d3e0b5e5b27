#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include "simmeterconfig.h"
#include "simserverconfig.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// The command line of lc-simulator.
struct SimOptions
{
    static constexpr quint16 defaultPort = 9876;

    QHostAddress listenAddress = QHostAddress(QHostAddress::Any);
    quint16 port = defaultPort;
    QString crateFile;
    QStringList moduleArguments; // "ADDR:KIND"
    QString stateFile;           // empty: EEPROM lives in memory only
    quint16 discoveryPort = 9877;
    bool noDiscovery = false;
    SimServerConfig server;
    // The reference meter; --meter overrides the crate file's wiring.
    SimMeterConfig meter;
    bool meterOptionsGiven = false; // any --meter-* option
    bool helpRequested = false;
    QString helpText;

    // Arguments start with the program name; false with a message on bad input.
    bool parse(const QStringList& arguments, QString* error);

private:
    bool parseMeter(const QCommandLineParser& parser, QString* error);
};

#endif // SIMOPTIONS_H
