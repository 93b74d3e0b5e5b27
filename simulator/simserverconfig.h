#ifndef SIMSERVERCONFIG_H
#define SIMSERVERCONFIG_H

#include <QByteArray>
#include <QSet>

// How the frame server behaves, including the faults it injects for testing hosts.
struct SimServerConfig
{
    int delayMs = 0;       // every reply goes out this late
    int dropEvery = 0;     // drop every Nth answer frame of the server; 0: none
    int closeAfter = 0;    // a connection's Nth received frame closes it unanswered; 0: never
    int truncateEvery = 0; // every Nth answer frame loses its payload's last byte; 0: none
    int garbageEvery = 0;  // random bytes go out before every Nth answer frame; 0: none
    QSet<int> silent;      // addresses whose modules never answer
    bool verbose = false;
    QByteArray identification = "Velmora Lumicrate LC4 simulator,SN000001,1.0";
};

#endif // SIMSERVERCONFIG_H
