#include "ivsweep.h"

#include "ctlinterrupt.h"
#include "lctcpsocketiointerface.h"
#include "plotorder.h"
#include "sisbiassourcedriverm0.h"

#include <QScopeGuard>

IvSweep::IvSweep(SisBiasSourceDriverM0* driver, lcTcpSocketIOInterface* link,
                 CtlInterrupt* interrupt)
    : m_driver(driver), m_link(link), m_interrupt(interrupt)
{
}

bool IvSweep::setUp(SweepPlan const& plan)
{
    bool ok = false;
    m_driver->sweepParams()->setValueSync(plan.params, &ok, 5);
    if (!ok || m_interrupt->interrupted()) {
        m_error = QStringLiteral("setting the sweep parameters failed");
        return false;
    }
    m_driver->mode()->setValueSync(char(plan.params.mode), &ok, 5);
    if (!ok || m_interrupt->interrupted()) {
        m_error = QStringLiteral("setting the mode failed");
        return false;
    }
    if (plan.params.mode == 1)
        m_driver->voltage()->setValueSync(plan.params.start, &ok, 5);
    else
        m_driver->current()->setValueSync(plan.params.start, &ok, 5);
    if (!ok || m_interrupt->interrupted()) {
        m_error = QStringLiteral("setting the start point failed");
        return false;
    }
    m_driver->shortEnable()->setValueSync(false, &ok, 5);
    if (!ok || m_interrupt->interrupted()) {
        m_error = QStringLiteral("switching the short-circuit off failed");
        return false;
    }
    return true;
}

IvSweep::Outcome IvSweep::run(SweepPlan const& plan)
{
    m_points.clear();
    if (!setUp(plan))
        return m_interrupt->interrupted() ? Outcome::Interrupted : Outcome::Failed;
    // Settling: nothing runs yet, so a stop needs nothing sent.
    if (m_interrupt->waitFor(nullptr, sweepSettleMs) == CtlInterrupt::WaitEnd::Interrupted)
        return Outcome::Interrupted;

    const QMetaObject::Connection receiver = QObject::connect(
        m_link, &lcIOInterface::msgReceived, m_link,
        [this](quint8, quint8 command, quint8 length, quint8* data) {
            frame(command, length, data);
        },
        Qt::DirectConnection);
    const auto detach = qScopeGuard([&] { QObject::disconnect(receiver); });
    const auto seen = [this] { return m_frameSeen; };

    Outcome outcome = Outcome::Done;
    m_frameSeen = false;
    m_done = false;
    sendToAll(sweepAnnounceCommand);
    CtlInterrupt::WaitEnd end = m_interrupt->waitFor(seen, sweepAnnounceWaitMs);
    bool running = false;
    if (end == CtlInterrupt::WaitEnd::Done) {
        bool ok = false;
        m_driver->sweepStart()->executeSync(&ok, 5);
        if (m_interrupt->interrupted()) {
            outcome = Outcome::Interrupted;
            stopModuleSweep();
        } else if (!ok) {
            outcome = Outcome::Failed;
            m_error = QStringLiteral("the sweep start was not confirmed");
        } else {
            running = true;
        }
    } else if (end == CtlInterrupt::WaitEnd::Expired) {
        outcome = Outcome::Failed;
        m_error = QStringLiteral("no answer to the sweep announcement");
        stopModuleSweep();
    } else {
        outcome = Outcome::Interrupted;
        stopModuleSweep();
    }

    if (running) {
        end = m_interrupt->waitFor([this] { return m_done; }, sweepEndWaitMs(plan));
        if (end == CtlInterrupt::WaitEnd::Expired) {
            outcome = Outcome::Failed;
            m_error =
                QStringLiteral("the sweep did not end in time, %1 points").arg(m_points.size());
            stopModuleSweep();
        } else if (end == CtlInterrupt::WaitEnd::Interrupted) {
            outcome = Outcome::Interrupted;
            stopModuleSweep();
        }
    }

    // The close goes out after a stop too: the module expects it after every
    // announcement, so a signal does not cut this wait short.
    m_frameSeen = false;
    sendToAll(sweepCloseCommand);
    end = m_interrupt->waitFor(seen, sweepAnnounceWaitMs, CtlInterrupt::Signals::Ignored);
    if (end == CtlInterrupt::WaitEnd::Expired) {
        if (outcome == Outcome::Done) {
            outcome = Outcome::Failed;
            m_error = QStringLiteral("no answer to the sweep close");
        }
        if (outcome != Outcome::Interrupted)
            stopModuleSweep();
    }
    return outcome;
}

void IvSweep::frame(quint8 command, quint8 length, quint8 const* data)
{
    m_frameSeen = true;
    if (command == SisBiasSourceDriverM0::sweepFrameCommand) {
        if (length == SisBiasSourceDriverM0::sweepPointLength) {
            const LC4BSM0_Data_t point = DriverValueCodec<LC4BSM0_Data_t>::decode(
                QByteArray::fromRawData(reinterpret_cast<const char*>(data), length));
            const QPointF xy(double(point.voltage), double(point.current));
            addInPlotOrder(&m_points, xy);
            if (pointMeasured)
                pointMeasured(xy);
        } else if (length == sweepEndLength) {
            m_done = true;
        }
    }
    m_interrupt->wake();
}

void IvSweep::sendToAll(quint8 command)
{
    quint8 none = 0;
    m_link->sendMsg(allModules, command, 0, &none);
}

void IvSweep::stopModuleSweep()
{
    bool ok = false;
    m_driver->sweepStop()->executeSync(&ok, 5);
    if (!ok && m_error.isEmpty())
        m_error = QStringLiteral("the sweep stop was not confirmed");
}
