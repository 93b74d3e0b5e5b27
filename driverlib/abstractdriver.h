#ifndef ABSTRACTDRIVER_H
#define ABSTRACTDRIVER_H

#include "lciodeviceimpl.h"

#include <QByteArray>
#include <QList>
#include <QVector>

class DriverProperty_p;
class QEventLoop;
class QTimer;

// Marks a property direction (getter or setter) that the module does not have.
constexpr quint8 noCommand = 0xFF;

// The base of every driver: sends requests for its module, runs one answer timer
// and hands each answer frame to the property that owns its command code.
//
// One exchange per driver: a request started while another waits (from an event
// handled during the wait) takes over the flags and the timer, and whichever
// answer arrives next ends every wait on this driver.
//
// A driver may be deleted while one of its synchronous calls waits; the wait
// then ends at once and reports failure. Callers that can see such a deletion
// (anything that runs events: every synchronous call does) must hold the driver
// in a QPointer and check it after the call before touching it again.
class AbstractDriver : public lcIODeviceImpl
{
    Q_OBJECT
public:
    static constexpr int defaultTimeOutMs = 500;

    explicit AbstractDriver(QObject* parent = nullptr);
    ~AbstractDriver() override;

    int timeOut() const { return m_timeOut; }
    void setTimeOut(int timeOut) { m_timeOut = timeOut; }

    // Registers a property; a later one displaces any earlier one sharing a code.
    void appendProperty(DriverProperty_p* property);

    using lcIODeviceImpl::sendMsg;
    // Starts one exchange; the payload is at most 255 bytes.
    void sendMsg(quint8 command, QByteArray data);

    // Sleeps in the event loop until an answer or the time-out ends the current
    // exchange; true when an answer came first.
    bool waitingAnswer();

protected:
    bool pMsgReceived(quint8 address, quint8 command, quint8 dataLength, quint8* data) override;

private:
    void wakeWaits();

    bool m_answerReceived = false;
    bool m_timeOutExpired = false;
    int m_timeOut = defaultTimeOutMs;
    QTimer* m_answerTimer;
    QList<DriverProperty_p*> m_properties;
    QVector<QEventLoop*> m_waits;
};

#endif // ABSTRACTDRIVER_H
