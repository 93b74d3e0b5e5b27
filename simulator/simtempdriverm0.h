#ifndef SIMTEMPDRIVERM0_H
#define SIMTEMPDRIVERM0_H

#include "simmodule.h"

// Temperature driver module, modification 0.
class SimTempDriverM0 : public SimModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = 48;

    explicit SimTempDriverM0(quint8 address, QObject* parent = nullptr);
};

#endif // SIMTEMPDRIVERM0_H
