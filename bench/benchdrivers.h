#ifndef BENCHDRIVERS_H
#define BENCHDRIVERS_H

#include "commondriver.h"
#include "driverproperty.h"

#include <QEventLoop>

// A float read on the modification-version code: the engine's cost does not
// depend on what the payload means, and every simulated module answers that code.
// It displaces the common driver's text property on 0x07 from the registry.
class FloatProbeDriver : public CommonDriver
{
public:
    static constexpr quint8 probeCode = 0x07;

    explicit FloatProbeDriver(QObject* parent = nullptr)
        : CommonDriver(parent),
          m_value(new DriverPropertyReadOnly<float>(this, probeCode, noCommand))
    {
    }
    ~FloatProbeDriver() override { delete m_value; }

    DriverPropertyReadOnly<float>* value() const { return m_value; }

private:
    DriverPropertyReadOnly<float>* m_value;
};

// Counts getter answers on one code and ends a wait once a target count is reached.
class CountingDriver : public AbstractDriver
{
public:
    explicit CountingDriver(quint8 code, QObject* parent = nullptr)
        : AbstractDriver(parent),
          m_value(new DriverPropertyReadOnly<quint64>(this, code, noCommand))
    {
        m_value->gettedSignal().append([this] {
            if (++m_received == m_target && m_loop)
                m_loop->quit();
        });
    }
    ~CountingDriver() override { delete m_value; }

    DriverPropertyReadOnly<quint64>* value() const { return m_value; }
    qint64 received() const { return m_received; }

    // Arms the counter; `loop` is quit when `target` answers have arrived.
    void expect(qint64 target, QEventLoop* loop)
    {
        m_received = 0;
        m_target = target;
        m_loop = loop;
    }

private:
    DriverPropertyReadOnly<quint64>* m_value;
    qint64 m_received = 0;
    qint64 m_target = 0;
    QEventLoop* m_loop = nullptr;
};

#endif // BENCHDRIVERS_H
