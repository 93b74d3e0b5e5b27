#include "simsspddriverm0.h"

SimSspdDriverM0::SimSspdDriverM0(quint8 address, QObject* parent)
    : SimSspdDriver(QStringLiteral("LC4SDM0"), Bit3::RfKey, address, parent)
{
    setTypeString(QStringLiteral("LC4SDM0 SSPD driver"));
    setModificationVersion(QStringLiteral("0"));
    setDescription(QStringLiteral("SSPD driver, modification 0 (simulated)"));
    setConstantsRecord(eepromSize, record(nominalCalibration()));

    setCommand(0x10, [this](const QByteArray&) -> std::optional<QByteArray> {
        const Readings r = readings();
        LC4SDM0V1_Data_t data{};
        data.current = r.current;
        data.voltage = r.voltage;
        data.counts = r.counts;
        data.status.byte = r.status;
        return encoded(data);
    });
    setBitCommand(0x19, LC4SDM0_Status_t::rfKeyEnableBit);
}

QByteArray SimSspdDriverM0::record(const Calibration& calibration)
{
    LC4SDM0V1_EEPROM_Const_t constants;
    constants.currentAdcCoeff = calibration.currentAdc;
    constants.voltageAdcCoeff = calibration.voltageAdc;
    constants.currentDacCoeff = calibration.currentDac;
    constants.cmpReferenceCoeff = calibration.cmpReferenceDac;
    return encoded(constants);
}

SimSspdDriver::Calibration SimSspdDriverM0::calibration() const
{
    const auto constants = DriverValueCodec<LC4SDM0V1_EEPROM_Const_t>::decode(workingConstants());
    // The monitor ADC and pulse width do not exist here; nominal values keep the model whole.
    Calibration calibration = nominalCalibration();
    calibration.currentAdc = constants.currentAdcCoeff;
    calibration.voltageAdc = constants.voltageAdcCoeff;
    calibration.currentDac = constants.currentDacCoeff;
    calibration.cmpReferenceDac = constants.cmpReferenceCoeff;
    return calibration;
}

void SimSspdDriverM0::storeCalibration(const Calibration& calibration)
{
    setWorkingConstants(record(calibration));
}
