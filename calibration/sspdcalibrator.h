#ifndef SSPDCALIBRATOR_H
#define SSPDCALIBRATOR_H

#include "recordcalibrator.h"

// What both SSPD driver modifications share: the sweep drives the bias current
// with the regulation loop and the short off; normal operation has the loop on
// (the short stays off).
template <typename Driver, typename Record>
class SspdCalibrator : public RecordCalibrator<Driver, Record>
{
    using Base = RecordCalibrator<Driver, Record>;

public:
    using Base::Base;

    bool performDriver() override
    {
        return Base::write(Base::ownDriver()->PIDEnableStatus(), false) &&
               Base::write(Base::ownDriver()->shortEnable(), false);
    }
    bool setDacValue(double value) override
    {
        return Base::write(Base::ownDriver()->current(), float(value));
    }
    bool finish() override { return Base::write(Base::ownDriver()->PIDEnableStatus(), true); }
};

#endif // SSPDCALIBRATOR_H
