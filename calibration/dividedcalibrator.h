#ifndef DIVIDEDCALIBRATOR_H
#define DIVIDEDCALIBRATOR_H

#include "recordcalibrator.h"

// A single current mode on a module that uses only the middle part of its DAC
// range: the code-space value v becomes the code 32767 + (v - 32767) / k, and a
// fitted line is compressed the same way (in extended precision, stored as floats).
template <typename Driver, typename Record>
class DividedCalibrator : public RecordCalibrator<Driver, Record>
{
    using Base = RecordCalibrator<Driver, Record>;

public:
    DividedCalibrator(QObject* parent, QString const& type, long double dacRangeDivider)
        : Base(parent, type,
               {{QStringLiteral("I mode"), 0, &Record::currentAdcCoeff, &Record::currentDacCoeff,
                 true}}),
          m_dacRangeDivider(dacRangeDivider)
    {
    }

    bool setDacValue(double value) override
    {
        return Base::write(Base::ownDriver()->current(), float(value));
    }
    double readAdcValue(bool* ok) override { return Base::read(Base::ownDriver()->current(), ok); }

protected:
    pair_t<float> identityDacPair() override { return divided(1.0L, 0.0L); }
    pair_t<float> moduleDacPair(lineRegressionCoeff line) override
    {
        return divided(line.slope, line.intercept);
    }

private:
    pair_t<float> divided(long double slope, long double intercept) const
    {
        const long double k = m_dacRangeDivider;
        const long double middle = 32767.0L;
        return {float(slope / k), float((k - 1) * middle / k + intercept / k)};
    }

    long double m_dacRangeDivider;
};

#endif // DIVIDEDCALIBRATOR_H
