#include "countssweep.h"

#include "ctlinterrupt.h"
#include "plotorder.h"
#include "sspdsweepstep.h"

CountsSweep::CountsSweep(CommonDriver* driver, CtlInterrupt* interrupt)
    : m_driver(driver), m_interrupt(interrupt)
{
}

CountsSweep::Outcome CountsSweep::fail(QString const& what)
{
    m_error = what;
    return Outcome::Failed;
}

CountsSweep::Outcome CountsSweep::run(Settings const& settings)
{
    m_points.clear();
    if (auto* m0 = qobject_cast<SspdDriverM0*>(m_driver))
        return runOn(m0, settings);
    if (auto* m1 = qobject_cast<SspdDriverM1*>(m_driver))
        return runOn(m1, settings);
    return fail(QStringLiteral("the module is no SSPD driver"));
}

template <typename Driver>
CountsSweep::Outcome CountsSweep::runOn(Driver* d, Settings const& settings)
{
    const int type = settings.comparator ? 1 : 0;
    bool ok = false;
    // A stop is only ever noticed between exchanges, as in the window.
    d->shortEnable()->setValueSync(true, &ok, 5);
    if (m_interrupt->interrupted())
        return Outcome::Interrupted;
    if (!ok)
        return fail(QStringLiteral("shorting the detector failed"));
    sendSweepValue(d, type, settings.start, &ok);
    if (m_interrupt->interrupted())
        return Outcome::Interrupted;
    if (!ok)
        return fail(QStringLiteral("setting the first sweep value failed"));
    if (m_interrupt->waitFor(nullptr, settings.settlingMs) == CtlInterrupt::WaitEnd::Interrupted)
        return Outcome::Interrupted;
    d->shortEnable()->setValueSync(false, &ok, 5);
    if (m_interrupt->interrupted())
        return Outcome::Interrupted;
    if (!ok)
        return fail(QStringLiteral("releasing the detector's short failed"));
    d->params()->getValueSync(&ok, 1);
    if (m_interrupt->interrupted())
        return Outcome::Interrupted;
    if (!ok)
        return fail(QStringLiteral("reading the counter parameters failed"));
    const double timeConst = double(d->params()->currentValue().timeConst);
    const int period = sweepPeriodMs(timeConst);
    if (period == 0)
        return fail(QStringLiteral("the counter time constant %1 s is not usable").arg(timeConst));
    auto status = d->status()->getValueSync(&ok, 1);
    if (m_interrupt->interrupted())
        return Outcome::Interrupted;
    // As the window: without a status the sweep runs on the switches as they are.
    if (ok) {
        status.byte |= SspdMasks<Driver>::sweep;
        d->status()->setValueSync(status, &ok, 1);
        if (m_interrupt->interrupted())
            return Outcome::Interrupted;
    }

    for (int index = 0;; ++index) {
        const double value = sweepSetPoint(settings.start, settings.step, index);
        if (sweepPastStop(value, settings.stop, settings.step))
            return Outcome::Done;
        sendSweepValue(d, type, value, &ok);
        if (m_interrupt->interrupted())
            return Outcome::Interrupted;
        if (!ok)
            return fail(QStringLiteral("setting the sweep value %1 failed").arg(value));
        if (m_interrupt->waitFor(nullptr, period) == CtlInterrupt::WaitEnd::Interrupted)
            return Outcome::Interrupted;
        const auto data = d->data()->getValueSync(&ok, 5);
        if (m_interrupt->interrupted())
            return Outcome::Interrupted;
        if (!ok)
            return fail(QStringLiteral("reading the data record failed"));
        if (settings.trigger < double(data.voltage))
            return Outcome::Done;
        const double x = type == 0 ? double(data.current) * 1e6 : value;
        const QPointF point(x, double(data.counts) / timeConst);
        addInPlotOrder(&m_points, point);
        if (pointMeasured)
            pointMeasured(point);
    }
}
