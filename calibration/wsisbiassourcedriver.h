#ifndef WSISBIASSOURCEDRIVER_H
#define WSISBIASSOURCEDRIVER_H

#include "recordeditor.h"
#include "sisbiassourcedriverm0.h"

namespace Ui {
class wSisBiasSourceDriver;
}

// Constants of an SIS bias source: current and voltage lines, limits, steps and
// the current monitor's resistance. The form shows each maximum above its minimum.
class wSisBiasSourceDriver : public RecordEditor<SisBiasSourceDriverM0, LC4BSM0V0_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit wSisBiasSourceDriver(QWidget* parent = nullptr);
    ~wSisBiasSourceDriver() override;

private:
    Ui::wSisBiasSourceDriver* ui;
};

#endif // WSISBIASSOURCEDRIVER_H
