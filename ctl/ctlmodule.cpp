#include "ctlmodule.h"

#include "commondriver.h"
#include "driverpropertytable.h"
#include "lctcpsocketiointerface.h"

#include <QStringList>

QString CtlIdentity::text() const
{
    const QStringList lines = {
        QStringLiteral("address: %1").arg(address),
        QStringLiteral("type: ") + type,
        QStringLiteral("kind: ") + kind,
        QStringLiteral("modification: ") + modification,
        QStringLiteral("hardware: ") + hardware,
        QStringLiteral("firmware: ") + firmware,
        QStringLiteral("description: ") + description,
        QStringLiteral("UDID: ") + udid,
    };
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QJsonObject CtlIdentity::json() const
{
    return {
        {QStringLiteral("address"), int(address)},
        {QStringLiteral("type"), type},
        {QStringLiteral("kind"), kind},
        {QStringLiteral("modification"), modification},
        {QStringLiteral("hardware"), hardware},
        {QStringLiteral("firmware"), firmware},
        {QStringLiteral("description"), description},
        {QStringLiteral("UDID"), udid},
    };
}

CtlModule::CtlModule(QHostAddress const& host, quint16 port, int timeoutMs)
    : m_host(host), m_port(port), m_timeoutMs(timeoutMs),
      m_link(std::make_unique<lcTcpSocketIOInterface>())
{
    m_link->setAddress(host);
    m_link->setPort(port);
}

CtlModule::~CtlModule()
{
    // Before the link: the driver is bound to it.
    delete m_driver.data();
}

QString CtlModule::where() const
{
    return QStringLiteral("%1 port %2").arg(m_host.toString()).arg(m_port);
}

bool CtlModule::connectUnit(QString* error)
{
    if (m_link->initialize())
        return true;
    *error = QStringLiteral("cannot connect to the unit at %1").arg(where());
    return false;
}

bool CtlModule::open(quint8 address, int attempts, QString* error)
{
    delete m_driver.data();
    m_kind = nullptr;
    m_address = address;
    auto probe = std::make_unique<CommonDriver>();
    probe->setIOInterface(m_link.get());
    probe->setDevAddress(address);
    probe->setTimeOut(m_timeoutMs);
    bool ok = false;
    m_type = probe->deviceType()->getValueSync(&ok, attempts);
    if (!ok) {
        *error = QStringLiteral("the module at address %1 of %2 does not answer")
                     .arg(address)
                     .arg(where());
        return false;
    }
    m_kind = driverKindOf(m_type);
    if (m_kind) {
        probe.reset(m_kind->create(nullptr));
        probe->setIOInterface(m_link.get());
        probe->setDevAddress(address);
        probe->setTimeOut(m_timeoutMs);
    }
    m_driver = probe.release();
    return true;
}

bool CtlModule::readIdentity(int attempts, CtlIdentity* identity, QString* error)
{
    CommonDriver* d = m_driver;
    bool ok = true;
    auto read = [&](DriverPropertyReadOnly<QString>* property, QString* text) {
        if (ok)
            *text = property->getValueSync(&ok, attempts);
    };
    CtlIdentity out;
    out.address = m_address;
    read(d->deviceType(), &out.type);
    read(d->modificationVersion(), &out.modification);
    read(d->hardwareVersion(), &out.hardware);
    read(d->firmwareVersion(), &out.firmware);
    read(d->deviceDescription(), &out.description);
    if (ok) {
        // A cut identifier would name a different module.
        const cUDID udid = d->UDID()->getValueSyncExact(&ok, attempts);
        out.udid = udidToString(udid);
    }
    if (!ok) {
        *error = QStringLiteral("the module at address %1 of %2 stopped answering")
                     .arg(m_address)
                     .arg(where());
        return false;
    }
    const DriverKind* kind = driverKindOf(out.type);
    out.kind = kind ? kind->name : QStringLiteral("unknown");
    *identity = out;
    return true;
}
