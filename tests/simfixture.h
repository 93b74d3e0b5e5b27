#ifndef SIMFIXTURE_H
#define SIMFIXTURE_H

#include "lctcpsocketiointerface.h"
#include "simunit.h"

#include <QStringList>

#include <memory>

// An in-process simulated unit on 127.0.0.1 at a free port, without discovery,
// built from lc-simulator's own options. Null, with the reason in `error`, when
// the options are refused.
std::unique_ptr<SimUnit> startSimUnit(const QStringList& arguments = {}, QString* error = nullptr);

// A link to that unit; the caller owns it.
lcTcpSocketIOInterface* linkTo(const SimUnit& unit, QObject* parent = nullptr);

#endif // SIMFIXTURE_H
