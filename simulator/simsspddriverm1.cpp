#include "simsspddriverm1.h"

#include "sspddriverm1.h"

static_assert(SimSspdDriverM1::eepromSize == sizeof(LC4SDM1_EEPROM_Const_t),
              "constants record size");

SimSspdDriverM1::SimSspdDriverM1(quint8 address, QObject* parent)
    : SimSspdDriver(QStringLiteral("LC4SDM1"), Bit3::HfMode, address, parent)
{
    setTypeString(QStringLiteral("LC4SDM1 SSPD driver"));
    setModificationVersion(QStringLiteral("1"));
    setDescription(QStringLiteral("SSPD driver, modification 1 (simulated)"));
    setConstantsRecord(eepromSize, record(nominalCalibration()));

    setCommand(0x10, [this](const QByteArray&) -> std::optional<QByteArray> {
        const Readings r = readings();
        LC4SDM1_Data_t data{};
        data.current = r.current;
        data.currentMonitor = r.monitor;
        data.voltage = r.voltage;
        data.counts = r.counts;
        data.status.byte = r.status;
        return encoded(data);
    });
    setCommand(0x35, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(readings().monitor);
    });
    setPairCommands(0x36, 0x37, &Calibration::monitorAdc);
    setCommand(0x3A, [this](const QByteArray&) -> std::optional<QByteArray> {
        return encoded(calibration().pulseWidth);
    });
    setCommand(0x39, [this](const QByteArray& payload) -> std::optional<QByteArray> {
        float width = 0;
        if (!decodeExact(payload, &width))
            return std::nullopt;
        change([&] {
            Calibration cal = calibration();
            cal.pulseWidth = width;
            storeCalibration(cal);
        });
        return QByteArray();
    });
    setBitCommand(0x38, LC4SDM1_Status_t::highFrequencyModeEnableBit);
}

QByteArray SimSspdDriverM1::record(const Calibration& calibration)
{
    LC4SDM1_EEPROM_Const_t constants;
    constants.currentAdcCoeff = calibration.currentAdc;
    constants.voltageAdcCoeff = calibration.voltageAdc;
    constants.currentDacCoeff = calibration.currentDac;
    constants.currentMonitorAdcCoeff = calibration.monitorAdc;
    constants.pulseWidthCoeff = calibration.pulseWidth;
    constants.cmpReferenceCoeff = calibration.cmpReferenceDac;
    return encoded(constants);
}

SimSspdDriver::Calibration SimSspdDriverM1::calibration() const
{
    const auto constants = DriverValueCodec<LC4SDM1_EEPROM_Const_t>::decode(workingConstants());
    Calibration calibration;
    calibration.currentAdc = constants.currentAdcCoeff;
    calibration.voltageAdc = constants.voltageAdcCoeff;
    calibration.currentDac = constants.currentDacCoeff;
    calibration.monitorAdc = constants.currentMonitorAdcCoeff;
    calibration.pulseWidth = constants.pulseWidthCoeff;
    calibration.cmpReferenceDac = constants.cmpReferenceCoeff;
    return calibration;
}

void SimSspdDriverM1::storeCalibration(const Calibration& calibration)
{
    setWorkingConstants(record(calibration));
}
