#ifndef WHEATERDRIVER_H
#define WHEATERDRIVER_H

#include "heaterdriverm0.h"
#include "recordeditor.h"

namespace Ui {
class wHeaterDriver;
}

// Constants of a heater: current lines, maximum current and the pulse times.
class wHeaterDriver : public RecordEditor<HeaterDriverM0, LC4HT0V0_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit wHeaterDriver(QWidget* parent = nullptr);
    ~wHeaterDriver() override;

private:
    Ui::wHeaterDriver* ui;
};

#endif // WHEATERDRIVER_H
