#include "simoptions.h"

#include <QCommandLineParser>

namespace {

bool readInt(const QCommandLineParser& parser, const QString& name, int low, int high, int* value,
             QString* error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < low || number > high) {
        *error = QStringLiteral("--%1 needs a number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(parser.value(name));
        return false;
    }
    *value = number;
    return true;
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
    crateFile = parser.value(QStringLiteral("crate"));
    moduleArguments = parser.values(QStringLiteral("module"));
    stateFile = parser.value(QStringLiteral("state"));
    server.verbose = parser.isSet(QStringLiteral("verbose"));
    return true;
}
