#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include "simserverconfig.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

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
    bool helpRequested = false;
    QString helpText;

    // Arguments start with the program name; false with a message on bad input.
    bool parse(const QStringList& arguments, QString* error);
};

#endif // SIMOPTIONS_H
