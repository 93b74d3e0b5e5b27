#ifndef SIMSSPDDRIVERM1_H
#define SIMSSPDDRIVERM1_H

#include "simmodule.h"

// SSPD driver module, modification 1.
class SimSspdDriverM1 : public SimModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = 44;

    explicit SimSspdDriverM1(quint8 address, QObject* parent = nullptr);
};

#endif // SIMSSPDDRIVERM1_H
