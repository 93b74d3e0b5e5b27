#ifndef CALIBRATIONPROGRAM_H
#define CALIBRATIONPROGRAM_H

class MainDialog;
class StartDialog;

// The program's flow: the start dialog until a module is found, then the main
// dialog for that module until it closes. Returns the exit code; 0 when the start
// dialog is closed or the module's kind is unknown, before any event loop runs.
int runDevCalibration(StartDialog& startDialog, MainDialog& mainDialog);

#endif // CALIBRATIONPROGRAM_H
