#include "abstractdriver.h"

#include "driverproperty.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <algorithm>

AbstractDriver::AbstractDriver(QObject* parent)
    : lcIODeviceImpl(parent), m_answerTimer(new QTimer(this))
{
    m_answerTimer->setSingleShot(true);
    // A coarse timer may end an attempt up to 5 % early or late.
    m_answerTimer->setTimerType(Qt::PreciseTimer);
    connect(m_answerTimer, &QTimer::timeout, this, [this] {
        m_timeOutExpired = true;
        wakeWaits();
    });
}

AbstractDriver::~AbstractDriver()
{
    // Waits still running on the stack end as soon as control returns to them.
    wakeWaits();
}

void AbstractDriver::appendProperty(DriverProperty_p* property)
{
    const quint8 getter = property->cmdGetter();
    const quint8 setter = property->cmdSetter();
    m_properties.erase(
        std::remove_if(m_properties.begin(), m_properties.end(),
                       [=](DriverProperty_p* known) {
                           return (getter != noCommand && getter == known->cmdGetter()) ||
                                  (setter != noCommand && setter == known->cmdSetter());
                       }),
        m_properties.end());
    m_properties.append(property);
}

void AbstractDriver::sendMsg(quint8 command, QByteArray data)
{
    m_answerTimer->start(m_timeOut);
    m_answerReceived = false;
    m_timeOutExpired = false;
    const int length = qMin(data.size(), 255);
    sendMsg(command, quint8(length), reinterpret_cast<quint8*>(data.data()));
}

bool AbstractDriver::waitingAnswer()
{
    QPointer<AbstractDriver> alive(this);
    QEventLoop loop;
    m_waits.append(&loop);
    while (!m_answerReceived && !m_timeOutExpired) {
        // A negative result means the application is quitting: no loop runs any
        // more, so neither the answer nor the timer can ever arrive.
        const bool quitting = loop.exec() < 0;
        if (!alive)
            return false;
        if (quitting) {
            m_waits.removeOne(&loop);
            return false;
        }
    }
    m_waits.removeOne(&loop);
    return !m_timeOutExpired;
}

void AbstractDriver::wakeWaits()
{
    for (QEventLoop* loop : qAsConst(m_waits))
        loop->quit();
}

bool AbstractDriver::pMsgReceived(quint8 address, quint8 command, quint8 dataLength, quint8* data)
{
    if (address != devAddress())
        return false;
    // 0xFF names a direction that does not exist, so it never matches a frame.
    DriverProperty_p* owner = nullptr;
    bool getter = false;
    for (DriverProperty_p* property : qAsConst(m_properties)) {
        if (command != noCommand && command == property->cmdGetter()) {
            owner = property;
            getter = true;
            break;
        }
        if (command != noCommand && command == property->cmdSetter()) {
            owner = property;
            break;
        }
    }
    // A cut answer to a read that must be whole is no answer: the attempt times out.
    if (getter && dataLength < owner->minAnswerSize())
        return true;

    m_answerTimer->stop();
    m_answerReceived = true;
    wakeWaits();
    if (!owner)
        return false;
    if (getter) {
        owner->setBufferData(QByteArray(reinterpret_cast<const char*>(data), dataLength));
        owner->gettedSignal().run(this);
    } else {
        owner->settedSignal().run(this);
    }
    return true;
}
