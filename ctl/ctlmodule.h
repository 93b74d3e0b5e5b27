#ifndef CTLMODULE_H
#define CTLMODULE_H

#include <QHostAddress>
#include <QJsonObject>
#include <QPointer>
#include <QString>

#include <memory>

class CommonDriver;
class lcTcpSocketIOInterface;
struct DriverKind;

// The identity values of a module, as the driver reads them.
struct CtlIdentity
{
    quint8 address = 0;
    QString type;
    QString kind; // the kind's name, "unknown" for a type string of no known kind
    QString modification;
    QString hardware;
    QString firmware;
    QString description;
    QString udid; // the text form calibration records name the module by

    // "key: value" lines.
    QString text() const;
    QJsonObject json() const;
};

// One unit's link and the driver of one module on it.
class CtlModule
{
public:
    CtlModule(QHostAddress const& host, quint16 port, int timeoutMs);
    ~CtlModule();

    // Opens the link; false with the reason.
    bool connectUnit(QString* error);
    lcTcpSocketIOInterface* link() const { return m_link.get(); }

    // Asks the module at `address` for its type string and sets up the driver of
    // its kind. False with the reason when the module does not answer.
    bool open(quint8 address, int attempts, QString* error);
    // After open(): null for a kind the table does not know.
    const DriverKind* kind() const { return m_kind; }
    QString typeString() const { return m_type; }
    // The driver of the kind, or a common one for an unknown kind.
    CommonDriver* driver() const { return m_driver; }

    // All identity values, each with up to `attempts` tries.
    bool readIdentity(int attempts, CtlIdentity* identity, QString* error);

private:
    QString where() const;

    QHostAddress m_host;
    quint16 m_port;
    int m_timeoutMs;
    std::unique_ptr<lcTcpSocketIOInterface> m_link;
    QPointer<CommonDriver> m_driver;
    const DriverKind* m_kind = nullptr;
    QString m_type;
    quint8 m_address = 0;
};

#endif // CTLMODULE_H
