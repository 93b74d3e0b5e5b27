#ifndef CTLINTERRUPT_H
#define CTLINTERRUPT_H

#include <QObject>

#include <functional>

class QEventLoop;
class QSocketNotifier;

// SIGINT and SIGTERM as an event: the handler only writes the signal's number
// into a pipe, which the event loop reads. Waits sleep in an event loop until
// their deadline, a wake-up or a signal, so a signal ends them at once.
class CtlInterrupt : public QObject
{
    Q_OBJECT
public:
    enum class WaitEnd
    {
        Done,
        Expired,
        Interrupted
    };
    enum class Signals
    {
        EndTheWait,
        Ignored
    };

    // Installs the handlers; one instance per process.
    explicit CtlInterrupt(QObject* parent = nullptr);
    ~CtlInterrupt() override;

    // The signal that arrived first, or 0.
    int signal() const { return m_signal; }
    bool interrupted() const { return m_signal != 0; }

    // Sleeps until `done` is true (checked after every event), `ms` have passed
    // or, unless ignored, a signal arrives. A null `done` only sleeps.
    WaitEnd waitFor(std::function<bool()> const& done, int ms,
                    Signals signalRule = Signals::EndTheWait);
    // Ends the current wait's sleep so that it checks its condition now.
    void wake();

signals:
    void arrived(int signal);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    int m_signal = 0;
    QEventLoop* m_loop = nullptr;
};

#endif // CTLINTERRUPT_H
