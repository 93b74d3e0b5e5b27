#ifndef SIMSISBIASSOURCEM0_H
#define SIMSISBIASSOURCEM0_H

#include "simmodule.h"

// SIS bias source module.
class SimSisBiasSourceM0 : public SimModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = 60;

    explicit SimSisBiasSourceM0(quint8 address, QObject* parent = nullptr);
};

#endif // SIMSISBIASSOURCEM0_H
