#ifndef SIMTESTUNIT_H
#define SIMTESTUNIT_H

#include "driverproperty.h"
#include "simfixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// An in-process simulated unit built from a crate file, with a host link to it,
// for testing module models through the real host drivers.
class SimTestUnit
{
public:
    // crateJson: the "modules" array's entries, e.g. {"address":1,"kind":"LC4SDM0"}.
    bool start(const QByteArray& crateJson, const QStringList& extra = QStringList())
    {
        m_link.reset();
        m_unit.reset();
        const QString crate = m_dir.filePath(QStringLiteral("crate.json"));
        QFile file(crate);
        if (!file.open(QIODevice::WriteOnly) || file.write("{\"modules\":[" + crateJson + "]}") < 0)
            return false;
        file.close();
        std::unique_ptr<SimUnit> unit =
            startSimUnit(QStringList{"--crate", crate} + extra, &m_error);
        if (!unit)
            return false;
        m_unit = std::move(unit);
        m_link.reset(linkTo(*m_unit));
        return true;
    }

    // Attaches a driver to the link at a device address.
    template <typename Driver> void attach(Driver* driver, quint8 address)
    {
        driver->setIOInterface(m_link.get());
        driver->setDevAddress(address);
    }

    SimUnit* unit() const { return m_unit.get(); }
    lcTcpSocketIOInterface* link() const { return m_link.get(); }
    QString error() const { return m_error; }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_error;
    std::unique_ptr<SimUnit> m_unit;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
};

// Synchronous driver calls with a few attempts; a read that gets no answer fails the test.
constexpr int attempts = 3;

template <typename P> auto value(P* property)
{
    bool ok = false;
    const auto result = property->getValueSync(&ok, attempts);
    if (!ok)
        QTest::qFail("no answer from the module", __FILE__, __LINE__);
    return result;
}

template <typename P, typename T> bool set(P* property, const T& newValue)
{
    bool ok = false;
    property->setValueSync(newValue, &ok, attempts);
    return ok;
}

// A value the module refuses gets no answer; one attempt is enough to see that.
template <typename P, typename T> bool refused(P* property, const T& newValue)
{
    bool ok = false;
    property->setValueSync(newValue, &ok, 1);
    return !ok;
}

inline bool run(DriverCommand* command)
{
    bool ok = false;
    command->executeSync(&ok, attempts);
    return ok;
}

#endif // SIMTESTUNIT_H
