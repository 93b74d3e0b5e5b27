#ifndef WSISCONTROLLINEDRIVER_H
#define WSISCONTROLLINEDRIVER_H

#include "recordeditor.h"
#include "siscontrollinedriverm0.h"

namespace Ui {
class wSisControlLineDriver;
}

// Constants of an SIS control line: current lines, limits and step.
class wSisControlLineDriver : public RecordEditor<SisControlLineDriverM0, LC4CLM0V0_EEPROM_Const_t>
{
    Q_OBJECT
public:
    explicit wSisControlLineDriver(QWidget* parent = nullptr);
    ~wSisControlLineDriver() override;

private:
    Ui::wSisControlLineDriver* ui;
};

#endif // WSISCONTROLLINEDRIVER_H
