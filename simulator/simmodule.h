#ifndef SIMMODULE_H
#define SIMMODULE_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// One simulated plug-in module. The base answers the common commands 0x00..0x0C;
// a subclass per module kind sets the identity texts and the size of its
// calibration record and registers its own command handlers with setCommand().
class SimModule : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Idle,    // powered up or rebooted, not initialised yet
        Running, // after init
        ShutDown // after shut down
    };

    // Returns the answer payload (same command code) or nothing to stay silent.
    using Handler = std::function<std::optional<QByteArray>(const QByteArray& payload)>;
    // Makes the EEPROM copy of a module durable; false keeps the EEPROM write unanswered.
    using EepromWriter = std::function<bool(const SimModule& module)>;

    enum CommonCommand : quint8
    {
        CmdInit = 0x00,
        CmdShutDown = 0x01,
        CmdSilence = 0x02,
        CmdUdid = 0x05,
        CmdTypeString = 0x06,
        CmdModificationVersion = 0x07,
        CmdHardwareVersion = 0x08,
        CmdFirmwareVersion = 0x09,
        CmdDescription = 0x0A,
        CmdReboot = 0x0B,
        CmdWriteEeprom = 0x0C,
    };

    static constexpr int udidSize = 12;
    // Every text goes out with a terminating zero byte, so it may have at most this many bytes.
    static constexpr int maxTextBytes = 254;

    SimModule(const QString& model, quint8 address, QObject* parent = nullptr);

    QString model() const { return m_model; }
    quint8 address() const { return m_address; }
    State state() const { return m_state; }

    QString typeString() const { return m_typeString; }
    QString modificationVersion() const { return m_modificationVersion; }
    QString hardwareVersion() const { return m_hardwareVersion; }
    QString firmwareVersion() const { return m_firmwareVersion; }
    QString description() const { return m_description; }
    void setHardwareVersion(const QString& text) { m_hardwareVersion = text; }
    void setFirmwareVersion(const QString& text) { m_firmwareVersion = text; }
    void setDescription(const QString& text) { m_description = text; }
    // Lets a crate serve a type string the real modules never send (tests of
    // unknown or hostile kinds).
    void setTypeString(const QString& text) { m_typeString = text; }

    QByteArray udid() const { return m_udid; }
    void setUdid(const QByteArray& udid);
    // Upper-case hex in six groups of four, as the host programs show it.
    static QString udidToText(const QByteArray& udid);
    // Accepts 24 hex digits, plain or in the grouped form.
    static bool udidFromText(const QString& text, QByteArray* udid);

    // Calibration constants the module works with, and the copy kept in its EEPROM.
    QByteArray workingConstants() const { return m_working; }
    QByteArray eepromConstants() const { return m_eeprom; }
    int constantsSize() const { return m_working.size(); }
    // False when the record has the wrong size for this kind.
    bool setWorkingConstants(const QByteArray& constants);
    // Power-up from a persisted EEPROM image: both copies take it.
    bool loadEeprom(const QByteArray& constants);
    void setEepromWriter(EepromWriter writer) { m_eepromWriter = std::move(writer); }

    // Numeric model parameters a crate file may set per module ("criticalCurrent", ...).
    QStringList parameterNames() const;
    // False, with a reason, for an unknown name or a value outside the parameter's range.
    bool setParameter(const QString& name, double value, QString* error);

    // A physical output a reference meter can be wired to: what the module really
    // drives or sees at its terminals, not what its constants make of it.
    enum class Quantity
    {
        Current, // amperes
        Voltage  // volts
    };
    struct Output
    {
        QString name;
        Quantity quantity;
        std::function<double()> value;
    };
    QStringList outputNames() const;
    // Null for a name the kind does not have.
    const Output* output(const QString& name) const;

    bool hasCommand(quint8 command) const { return m_handlers.contains(command); }
    std::optional<QByteArray> handle(quint8 command, const QByteArray& payload);

signals:
    // A frame the module sends on its own, not as the answer to a request.
    void unsolicitedFrame(quint8 address, quint8 command, const QByteArray& payload);

protected:
    void setCommand(quint8 command, Handler handler) { m_handlers.insert(command, handler); }
    // Binds a crate-file key to a member that holds its default; the range is inclusive.
    // A whole parameter takes only whole numbers.
    void addParameter(const QString& name, double* value, double low, double high,
                      bool whole = false);
    void addOutput(const QString& name, Quantity quantity, std::function<double()> value)
    {
        m_outputs.append({name, quantity, std::move(value)});
    }
    void setModificationVersion(const QString& text) { m_modificationVersion = text; }
    // Sizes both constant records, filled with the given defaults (zeros when empty).
    void setConstantsRecord(int size, const QByteArray& defaults = QByteArray());
    void sendUnsolicited(quint8 command, const QByteArray& payload)
    {
        emit unsolicitedFrame(m_address, command, payload);
    }
    // Hook for kinds whose behaviour depends on init, shut down and reboot.
    virtual void stateChanged(State previous) { Q_UNUSED(previous) }

private:
    void registerCommonCommands();
    void setState(State state);
    std::optional<QByteArray> writeEeprom();

    QString m_model;
    quint8 m_address;
    State m_state = State::Idle;
    QString m_typeString;
    QString m_modificationVersion;
    QString m_hardwareVersion = QStringLiteral("1.0");
    QString m_firmwareVersion = QStringLiteral("1.0");
    QString m_description;
    QByteArray m_udid;
    QByteArray m_working;
    QByteArray m_eeprom;
    EepromWriter m_eepromWriter;
    QHash<quint8, Handler> m_handlers;
    struct Parameter
    {
        QString name;
        double* value;
        double low;
        double high;
        bool whole;
    };
    QList<Parameter> m_parameters;
    QList<Output> m_outputs;
};

#endif // SIMMODULE_H
