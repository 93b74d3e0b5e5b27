#ifndef QCUSTOMLIB_H
#define QCUSTOMLIB_H

#include <QHostAddress>
#include <QList>
#include <QStringList>

#include <optional>

// One discovery with the unit's fixed ports: a broadcast of "lc-software" to UDP 9877
// and call-backs to TCP 9878 collected for 500 ms while the event loop runs.
QStringList availableLumicrates();

// Dotted quads with zero-padded parts ("127.000.000.001") are read here; anything
// else goes to QHostAddress. Unparsable text gives a null address.
QHostAddress convertToHostAddress(QString const& text);

// The address text a measurer connects to: leading zeros stripped from the second
// to fourth part of a dotted quad ("192.168.001.010" -> "192.168.1.10"), a lone "0"
// kept, so no part is ever lost. Text that is not four dotted decimal parts is
// returned unchanged.
QString normaliseUnitAddress(QString const& text);

struct lcDiscoveryOptions
{
    quint16 discoveryPort = 9877;
    quint16 callbackPort = 9878;
    int windowMs = 500;
    int dataWaitMs = 100;
    // Unset: every broadcast address of every interface that is up, running and can
    // broadcast. Set: exactly these addresses, so tests can stay on loopback.
    std::optional<QList<QHostAddress>> targets;
};

QStringList lcDiscoverLumicrates(lcDiscoveryOptions const& options);

// The broadcast addresses availableLumicrates() sends to.
QList<QHostAddress> lcBroadcastAddresses();

#endif // QCUSTOMLIB_H
