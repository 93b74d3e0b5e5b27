#include "sweepplan.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The validators follow the widget's locale; text typed elsewhere may use ".".
bool readNumber(QString const& text, double* value)
{
    bool ok = false;
    double v = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

double numberOrZero(QString const& text)
{
    double value = 0;
    return readNumber(text, &value) ? value : 0;
}

} // namespace

bool planSweep(int sweepType, QString const& start, QString const& stop, QString const& step,
               QString const& timeStep, SweepPlan* plan, QString* error)
{
    const bool voltage = sweepType == 0;
    const double scale = voltage ? 0.001 : 0.000001;
    SweepPlan out;
    out.params.mode = voltage ? 1 : 0;
    out.params.start = float(numberOrZero(start) * scale);
    out.params.stop = float(numberOrZero(stop) * scale);
    out.params.step = float(numberOrZero(step) * scale);

    double ms = 0;
    if (!readNumber(timeStep, &ms))
        ms = 0;
    ms = std::trunc(ms);
    if (ms < 0) {
        *error = QStringLiteral("Time step must not be negative");
        return false;
    }
    if (ms > double(std::numeric_limits<quint32>::max())) {
        *error = QStringLiteral("Time step is too large");
        return false;
    }
    out.params.timeStep = quint32(ms);

    const double span = double(out.params.stop) - double(out.params.start);
    const double increment = double(out.params.step);
    if (increment == 0) {
        *error = QStringLiteral("Step must not be 0");
        return false;
    }
    if (span * increment < 0) {
        *error = QStringLiteral("Step leads away from Stop");
        return false;
    }
    // A little slack, so that 0 to 5 by 0.1 counts its last point despite rounding.
    out.points = std::floor(span / increment + 1e-6) + 1;
    // A module cannot send points infinitely fast: count at least 1 ms each.
    out.expectedMs = out.points * double(std::max<quint32>(out.params.timeStep, 1));
    *plan = out;
    return true;
}

int sweepEndWaitMs(SweepPlan const& plan)
{
    const double bound = plan.expectedMs * 1.25 + 3000;
    return bound >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                            : int(bound);
}
