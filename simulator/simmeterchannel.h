#ifndef SIMMETERCHANNEL_H
#define SIMMETERCHANNEL_H

#include <QByteArray>
#include <QObject>

#include <functional>

class SimMeter;

// One byte stream to the meter (a TCP connection or the pseudo-terminal): cuts
// it into command lines and runs them one after the other, as the instrument
// does, so that a command waits for the reading before it.
class SimMeterChannel : public QObject
{
    Q_OBJECT
public:
    using Send = std::function<void(const QByteArray& bytes)>;

    // Longest command line kept; the rest of a longer one is dropped.
    static constexpr int maxLineBytes = 4096;

    SimMeterChannel(SimMeter* meter, Send send, QObject* parent = nullptr);
    void receive(const QByteArray& bytes);

private:
    void runNext();

    SimMeter* m_meter;
    Send m_send;
    QByteArray m_input;
    bool m_busy = false;
};

#endif // SIMMETERCHANNEL_H
