#ifndef CTLRUNNER_H
#define CTLRUNNER_H

#include "ctloptions.h"

#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>

class CtlInterrupt;
class CtlModule;
struct DriverPropertyRow;

// Carries out one command line. Results go to standard output, failures to
// standard error, each naming what failed.
class CtlRunner
{
public:
    enum ExitCode
    {
        Success = 0,
        Failure = 1,
        BadUsage = 2
    };

    CtlRunner(CtlOptions const& options, CtlInterrupt* interrupt);

    int run();

private:
    int discover();
    int info();
    int scan();
    int list();
    int get();
    int set();
    int watch();
    int sweepCounts();
    int sweepIv();

    // Connects and identifies the module of the command line; false with the
    // exit code in `code`.
    bool openModule(CtlModule* module, int* code);
    // The row of the command line's name in the module's kind, or null with the
    // exit code in `code` when the kind has no such property or not that way round.
    const DriverPropertyRow* rowOf(CtlModule const& module, bool forSet, int* code);
    // Success, or BadUsage when no kind has the command line's name that way round.
    int unknownName(bool forSet) const;
    // Why the command line's value does not suit the row; empty when it does.
    QString valueError(DriverPropertyRow const& row) const;
    // openModule() and rowOf() in one.
    const DriverPropertyRow* openProperty(CtlModule* module, bool forSet, int* code);
    int noAnswer() const;
    // Ends an interrupted sweep: 128 plus the signal, as a shell reports it.
    int interruptedCode() const;
    int fail(QString const& message) const;
    int usage(QString const& message) const;
    using FileWriter =
        std::function<bool(QString const& file, QVector<QPointF> const& points, QString* error)>;
    // Runs a sweep with its points as CSV on standard output, or into the file.
    template <typename Sweep, typename Run>
    int runSweep(Sweep* sweep, Run run, QString const& header,
                 std::function<QString(double)> const& number, FileWriter const& writeFile);

    CtlOptions m_options;
    CtlInterrupt* m_interrupt;
};

#endif // CTLRUNNER_H
