#ifndef SIMTEMPDRIVERM1_H
#define SIMTEMPDRIVERM1_H

#include "simmodule.h"

// Four-channel temperature driver module, modification 1.
class SimTempDriverM1 : public SimModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = 64;

    explicit SimTempDriverM1(quint8 address, QObject* parent = nullptr);
};

#endif // SIMTEMPDRIVERM1_H
