#ifndef SIMSSPDDRIVERM0_H
#define SIMSSPDDRIVERM0_H

#include "simmodule.h"

// SSPD driver module, modification 0.
class SimSspdDriverM0 : public SimModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = 32;

    explicit SimSspdDriverM0(quint8 address, QObject* parent = nullptr);
};

#endif // SIMSSPDDRIVERM0_H
