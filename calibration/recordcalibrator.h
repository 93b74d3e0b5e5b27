#ifndef RECORDCALIBRATOR_H
#define RECORDCALIBRATOR_H

#include "cagilent34401avisainterface.h"
#include "commoncalibrator.h"
#include "commondriver.h"
#include "driverproperty.h"
#include "lctcpsocketiointerface.h"

#include <QPointer>

#include <vector>

// A calibrator for a module kind whose calibration constants are one record. It
// talks to the module through a driver and a TCP link of its own, so the main
// dialog's connection stays as it is. Each mode names the multimeter function and
// the record's ADC and DAC pairs it calibrates.
template <typename Driver, typename Record> class RecordCalibrator : public CommonCalibrator
{
public:
    struct Mode
    {
        QString name;
        unsigned char meterMode;
        pair_t<float> Record::*adcPair;
        pair_t<float> Record::*dacPair;
        // False where the meter measures another quantity than the DAC drives.
        bool calibratesDac;
    };

    RecordCalibrator(QObject* parent, QString const& type, std::vector<Mode> modes)
        : CommonCalibrator(parent), m_type(type), m_modes(std::move(modes))
    {
    }

    void setDriver(CommonDriver* mainDriver) override
    {
        if (m_driver)
            m_driver->deleteLater();
        if (m_link)
            m_link->deleteLater();
        auto* mainLink =
            mainDriver ? qobject_cast<lcTcpSocketIOInterface*>(mainDriver->iOInterface()) : nullptr;
        if (!mainLink)
            return;
        m_driver = new Driver(this);
        m_driver->setDevAddress(mainDriver->devAddress());
        m_link = new lcTcpSocketIOInterface(this);
        m_link->setPort(mainLink->port());
        m_link->setAddress(mainLink->address());
        m_driver->setIOInterface(m_link);
    }
    QStringList modeList() override
    {
        QStringList names;
        for (const Mode& mode : m_modes)
            names << mode.name;
        return names;
    }
    QString driverType() override { return m_type; }
    void performAgilent() override { agilent()->setMode(currentMode().meterMode); }
    void saveEepromConsts() override
    {
        bool ok = false;
        const Record record =
            m_driver ? m_driver->eepromConst()->getValueSyncExact(&ok, attempts) : Record{};
        if (!ok) {
            fail(QStringLiteral("ERROR: can't receive/set calibration data"));
            return;
        }
        m_eepromCopy = record;
        m_original = record;
    }
    bool restoreEepromConsts() override { return sendRecord(m_eepromCopy); }
    bool restoreOriginalEepromConsts() override { return sendRecord(m_original); }
    void performAdcConsts() override { m_eepromCopy.*currentMode().adcPair = {1.0f, 0.0f}; }
    void performDacConsts() override { m_eepromCopy.*currentMode().dacPair = identityDacPair(); }
    void setNewDacEepromCoeffs(lineRegressionCoeff line) override
    {
        const Mode& mode = currentMode();
        m_eepromCopy.*mode.dacPair =
            mode.calibratesDac ? moduleDacPair(line) : m_original.*mode.dacPair;
    }
    void setNewAdcEepromCoeffs(lineRegressionCoeff line) override
    {
        m_eepromCopy.*currentMode().adcPair = {line.slope, line.intercept};
    }

    Record eepromCopy() const { return m_eepromCopy; }
    Driver* ownDriver() const { return m_driver; }

protected:
    static constexpr int attempts = 5;

    lcIODevice* module() override { return m_driver; }
    bool calibratesDac() override { return currentMode().calibratesDac; }
    const Mode& currentMode() { return m_modes.at(size_t(mode())); }

    // The DAC pair that passes code-space values through, and the pair that
    // applies a fitted line; modules that use only part of their DAC range
    // compress both.
    virtual pair_t<float> identityDacPair() { return {1.0f, 0.0f}; }
    virtual pair_t<float> moduleDacPair(lineRegressionCoeff line)
    {
        return {line.slope, line.intercept};
    }

    template <typename Property, typename Value> bool write(Property* property, Value value)
    {
        bool ok = false;
        if (m_driver)
            property->setValueSync(value, &ok, attempts);
        return ok && m_driver;
    }
    template <typename Property> double read(Property* property, bool* ok)
    {
        bool answered = false;
        const double value = m_driver ? double(property->getValueSync(&answered, attempts)) : 0.0;
        if (ok)
            *ok = answered && m_driver;
        return value;
    }

private:
    bool sendRecord(Record const& record)
    {
        return m_driver && write(m_driver->eepromConst(), record);
    }

    QString m_type;
    std::vector<Mode> m_modes;
    QPointer<Driver> m_driver;
    QPointer<lcTcpSocketIOInterface> m_link;
    Record m_eepromCopy{};
    Record m_original{};
};

#endif // RECORDCALIBRATOR_H
