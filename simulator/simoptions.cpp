#include "simoptions.h"

#include <QCommandLineParser>

#include <type_traits>

namespace {

// A number option within [low, high]; an option not given leaves *value as it is.
template <typename T>
bool readNumber(const QCommandLineParser& parser, const QString& name, T low, T high, T* value,
                QString* error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const QString text = parser.value(name);
    T number;
    if constexpr (std::is_integral_v<T>)
        number = text.toInt(&ok);
    else
        number = text.toDouble(&ok);
    // Written so that a double that is no number fails too.
    if (!ok || !(number >= low && number <= high)) {
        *error = QStringLiteral("--%1 needs a number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(text);
        return false;
    }
    *value = number;
    return true;
}

bool readInt(const QCommandLineParser& parser, const QString& name, int low, int high, int* value,
             QString* error)
{
    return readNumber(parser, name, low, high, value, error);
}

bool readDouble(const QCommandLineParser& parser, const QString& name, double low, double high,
                double* value, QString* error)
{
    return readNumber(parser, name, low, high, value, error);
}

} // namespace

bool SimOptions::parse(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays a Lumicrate unit on TCP for the host programs and their tests."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("port"),
         QStringLiteral("TCP port to listen on (default 9876, 0: any free)."), QStringLiteral("N")},
        {QStringLiteral("listen"), QStringLiteral("Address to listen on (default: any)."),
         QStringLiteral("ADDR")},
        {QStringLiteral("crate"), QStringLiteral("JSON file describing the modules."),
         QStringLiteral("FILE")},
        {QStringLiteral("module"),
         QStringLiteral("Add a module, e.g. 3:LC4HTM0 (repeatable). Without --crate and "
                        "--module the crate holds one module of each kind at addresses 1 to 7."),
         QStringLiteral("ADDR:KIND")},
        {QStringLiteral("state"),
         QStringLiteral("JSON file keeping the modules' EEPROM across runs."),
         QStringLiteral("FILE")},
        {QStringLiteral("delay"), QStringLiteral("Send every reply this many ms late."),
         QStringLiteral("MS")},
        {QStringLiteral("drop-every"), QStringLiteral("Drop every Nth answer frame."),
         QStringLiteral("N")},
        {QStringLiteral("truncate-every"),
         QStringLiteral("Send every Nth answer frame one payload byte short."),
         QStringLiteral("N")},
        {QStringLiteral("garbage-every"),
         QStringLiteral("Send 1 to 4 random bytes before every Nth answer frame."),
         QStringLiteral("N")},
        {QStringLiteral("close-after"),
         QStringLiteral("Close a connection when it sends its Nth frame, unanswered."),
         QStringLiteral("N")},
        {QStringLiteral("silent"), QStringLiteral("The module at ADDR never answers (repeatable)."),
         QStringLiteral("ADDR")},
        {QStringLiteral("verbose"), QStringLiteral("Log connections and every frame in hex.")},
        {QStringLiteral("discovery-port"),
         QStringLiteral("UDP port the discovery broadcast is answered on (default 9877)."),
         QStringLiteral("N")},
        {QStringLiteral("no-discovery"), QStringLiteral("Do not answer discovery broadcasts.")},
        {QStringLiteral("meter"),
         QStringLiteral("Start the reference multimeter, measuring OUTPUT of the module at ADDR "
                        "(e.g. 5:current; a crate file may give it as \"meter\" instead). "
                        "Outputs: current, voltage (SSPD drivers, bias source); current "
                        "(control line, heater); current, voltage, pressureVoltageP, "
                        "pressureVoltageN (LC4TDM0); current0..3, voltage0..3 (LC4TDM1)."),
         QStringLiteral("ADDR:OUTPUT")},
        {QStringLiteral("meter-shunt"),
         QStringLiteral("The output current flows through a shunt of OHMS; the meter's voltage "
                        "functions read the voltage across it."),
         QStringLiteral("OHMS")},
        {QStringLiteral("meter-port"),
         QStringLiteral("TCP port of the meter's SCPI socket (default 5025, 0: any free)."),
         QStringLiteral("N")},
        {QStringLiteral("meter-pty"),
         QStringLiteral("Also serve the meter's serial port on a pseudo-terminal, with a "
                        "symbolic link to it at LINK."),
         QStringLiteral("LINK")},
        {QStringLiteral("meter-integration"),
         QStringLiteral("Integration time per reading (default: from the resolution asked, "
                        "200 ms at the default resolution and 50 Hz)."),
         QStringLiteral("MS")},
        {QStringLiteral("meter-line-frequency"),
         QStringLiteral("Power-line frequency the integration is counted in (default 50)."),
         QStringLiteral("HZ")},
        {QStringLiteral("meter-silent"),
         QStringLiteral("The meter takes commands and never answers.")},
        {QStringLiteral("meter-garbage"),
         QStringLiteral("The meter answers readings with text that is no number.")},
        {QStringLiteral("meter-delay"), QStringLiteral("Every meter answer this many ms later."),
         QStringLiteral("MS")},
        {QStringLiteral("meter-scale"),
         QStringLiteral("The meter's readings come out FACTOR times what they should be, as "
                        "with a broken range relay (default 1)."),
         QStringLiteral("FACTOR")},
    });
    helpText = parser.helpText();
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    helpRequested = parser.isSet(help);
    if (!parser.positionalArguments().isEmpty()) {
        *error =
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }

    int portNumber = port;
    if (!readInt(parser, QStringLiteral("port"), 0, 65535, &portNumber, error) ||
        !readInt(parser, QStringLiteral("delay"), 0, 600000, &server.delayMs, error) ||
        !readInt(parser, QStringLiteral("drop-every"), 0, 1000000, &server.dropEvery, error) ||
        !readInt(parser, QStringLiteral("truncate-every"), 0, 1000000, &server.truncateEvery,
                 error) ||
        !readInt(parser, QStringLiteral("garbage-every"), 0, 1000000, &server.garbageEvery,
                 error) ||
        !readInt(parser, QStringLiteral("close-after"), 0, 1000000, &server.closeAfter, error))
        return false;
    port = quint16(portNumber);
    int discoveryPortNumber = discoveryPort;
    if (!readInt(parser, QStringLiteral("discovery-port"), 1, 65535, &discoveryPortNumber, error))
        return false;
    discoveryPort = quint16(discoveryPortNumber);
    noDiscovery = parser.isSet(QStringLiteral("no-discovery"));

    if (parser.isSet(QStringLiteral("listen"))) {
        const QString text = parser.value(QStringLiteral("listen"));
        if (text == QLatin1String("localhost"))
            listenAddress = QHostAddress(QHostAddress::LocalHost);
        else if (text == QLatin1String("any"))
            listenAddress = QHostAddress(QHostAddress::Any);
        else if (!listenAddress.setAddress(text)) {
            *error = QStringLiteral("--listen needs an IP address, not \"%1\"").arg(text);
            return false;
        }
    }
    for (const QString& text : parser.values(QStringLiteral("silent"))) {
        bool ok = false;
        const int address = text.toInt(&ok);
        if (!ok || address < 0 || address > 255) {
            *error = QStringLiteral("--silent needs a device address, not \"%1\"").arg(text);
            return false;
        }
        server.silent.insert(address);
    }
    if (!parseMeter(parser, error))
        return false;
    crateFile = parser.value(QStringLiteral("crate"));
    moduleArguments = parser.values(QStringLiteral("module"));
    stateFile = parser.value(QStringLiteral("state"));
    server.verbose = parser.isSet(QStringLiteral("verbose"));
    return true;
}

bool SimOptions::parseMeter(const QCommandLineParser& parser, QString* error)
{
    if (parser.isSet(QStringLiteral("meter")) &&
        !SimMeterWiring::fromArgument(parser.value(QStringLiteral("meter")), &meter.wiring, error))
        return false;
    if (!readDouble(parser, QStringLiteral("meter-shunt"), 1e-6, 1e9, &meter.wiring.shunt, error) ||
        !readInt(parser, QStringLiteral("meter-port"), 0, 65535, &meter.port, error) ||
        !readInt(parser, QStringLiteral("meter-integration"), 1, 600000, &meter.integrationMs,
                 error) ||
        !readDouble(parser, QStringLiteral("meter-line-frequency"), 1, 1000, &meter.lineFrequency,
                    error) ||
        !readInt(parser, QStringLiteral("meter-delay"), 0, 600000, &meter.delayMs, error) ||
        !readDouble(parser, QStringLiteral("meter-scale"), -1e35, 1e35, &meter.scale, error))
        return false;
    meter.ptyLink = parser.value(QStringLiteral("meter-pty"));
    meter.silent = parser.isSet(QStringLiteral("meter-silent"));
    meter.garbage = parser.isSet(QStringLiteral("meter-garbage"));
    for (const QString& name : parser.optionNames()) {
        if (name.startsWith(QLatin1String("meter-")))
            meterOptionsGiven = true;
    }
    return true;
}
