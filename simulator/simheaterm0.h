#ifndef SIMHEATERM0_H
#define SIMHEATERM0_H

#include "simmodule.h"

// Heater module.
class SimHeaterM0 : public SimModule
{
    Q_OBJECT
public:
    static constexpr int eepromSize = 32;

    explicit SimHeaterM0(quint8 address, QObject* parent = nullptr);
};

#endif // SIMHEATERM0_H
