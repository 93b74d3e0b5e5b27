#include "lc4tdm0calibrator.h"

namespace {
using Record = LC4TDM0V1_EEPROM_Const_t;
enum
{
    PositivePressureVoltage = 0,
    NegativePressureVoltage = 1,
    SensorVoltage = 2,
    SensorCurrent = 3
};
} // namespace

LC4TDM0Calibrator::LC4TDM0Calibrator(QObject* parent)
    : RecordCalibrator(
          parent, QStringLiteral("LC4TDM0"),
          {{QStringLiteral("Pressure sensor Positive Voltage (Vp+)"), 2,
            &Record::pressSensorVoltagePCoeff, &Record::tempSensorCurrentDacCoeff, false},
           {QStringLiteral("Pressure sensor Negative Voltage (Vp-)"), 2,
            &Record::pressSensorVoltageNCoeff, &Record::tempSensorCurrentDacCoeff, false},
           {QStringLiteral("Temperature sensor Voltage (Vt)"), 2, &Record::tempSensorVoltageCoeff,
            &Record::tempSensorCurrentDacCoeff, false},
           {QStringLiteral("Temperature sensor Current (It)"), 0,
            &Record::tempSensorCurrentAdcCoeff, &Record::tempSensorCurrentDacCoeff, true}})
{
}

bool LC4TDM0Calibrator::performDriver()
{
    return write(ownDriver()->commutator(), true);
}

double LC4TDM0Calibrator::defaultValue()
{
    // The sensor current at which the result is checked.
    return 1e-5;
}

bool LC4TDM0Calibrator::setDacValue(double value)
{
    return write(ownDriver()->tempSensorCurrent(), float(value));
}

double LC4TDM0Calibrator::readAdcValue(bool* ok)
{
    switch (mode()) {
    case PositivePressureVoltage:
        return read(ownDriver()->pressSensorVoltageP(), ok);
    case NegativePressureVoltage:
        return read(ownDriver()->pressSensorVoltageN(), ok);
    case SensorVoltage:
        return read(ownDriver()->tempSensorVoltage(), ok);
    default:
        return read(ownDriver()->tempSensorCurrent(), ok);
    }
}

bool LC4TDM0Calibrator::finish()
{
    // Otherwise the module keeps measuring the calibration load.
    return write(ownDriver()->commutator(), false);
}
