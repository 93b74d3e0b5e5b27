#ifndef FIXEDSTEPTIMETICKER_H
#define FIXEDSTEPTIMETICKER_H

#include <qcustomplot.h>

// A date-time ticker with a fixed tick step in seconds; the stock ticker picks
// its own step from the range.
class FixedStepTimeTicker : public QCPAxisTickerDateTime
{
public:
    explicit FixedStepTimeTicker(double stepSeconds) : m_step(stepSeconds) {}

protected:
    double getTickStep(const QCPRange& range) override
    {
        Q_UNUSED(range);
        return m_step;
    }

private:
    double m_step;
};

#endif // FIXEDSTEPTIMETICKER_H
