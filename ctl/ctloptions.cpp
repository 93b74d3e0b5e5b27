#include "ctloptions.h"

#include "qcustomlib.h"
#include "sweepplan.h"

#include <QCommandLineParser>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace {

const QString placeholderMark = QStringLiteral("\x01");

// QCommandLineParser takes "-1e-6" for a cluster of short options; negative
// numbers stand in as placeholders while it parses.
QStringList hideNegativeNumbers(QStringList const& arguments, QStringList* hidden)
{
    static const QRegularExpression negative(QStringLiteral("^-(\\d|\\.\\d|inf|nan)"));
    QStringList result;
    for (int i = 0; i < arguments.size(); ++i) {
        QString const& argument = arguments.at(i);
        if (i > 0 && negative.match(argument).hasMatch()) {
            result.append(placeholderMark + QString::number(hidden->size()));
            hidden->append(argument);
        } else {
            result.append(argument);
        }
    }
    return result;
}

QString restore(QString const& text, QStringList const& hidden)
{
    if (!text.startsWith(placeholderMark))
        return text;
    return hidden.value(text.mid(1).toInt());
}

bool readNumber(QString const& text, double* value)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double number = c.toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(number))
        return false;
    *value = number;
    return true;
}

bool readInteger(QString const& text, qint64 low, qint64 high, int* value)
{
    bool ok = false;
    const qint64 number = text.trimmed().toLongLong(&ok, 10);
    if (!ok || number < low || number > high)
        return false;
    *value = int(number);
    return true;
}

struct CommandShape
{
    const char* name;
    CtlOptions::Command command;
    int fixed;    // positional arguments after the command
    int optional; // further ones that may follow
    const char* use;
};

const CommandShape shapes[] = {
    {"discover", CtlOptions::Command::Discover, 0, 0, "discover"},
    {"info", CtlOptions::Command::Info, 2, 0, "info HOST ADDR"},
    {"scan", CtlOptions::Command::Scan, 1, 0, "scan HOST"},
    {"list", CtlOptions::Command::List, 2, 0, "list HOST ADDR"},
    {"get", CtlOptions::Command::Get, 3, 0, "get HOST ADDR NAME"},
    {"set", CtlOptions::Command::Set, 3, 1, "set HOST ADDR NAME [VALUE]"},
    {"sweep-counts", CtlOptions::Command::SweepCounts, 2, 0,
     "sweep-counts HOST ADDR --bias|--comparator START:STOP:STEP"},
    {"sweep-iv", CtlOptions::Command::SweepIv, 2, 0,
     "sweep-iv HOST ADDR --voltage|--current START:STOP:STEP --time-step MS"},
    {"watch", CtlOptions::Command::Watch, 3, 0, "watch HOST ADDR NAME --every SECONDS"},
};

} // namespace

bool CtlOptions::parse(QStringList const& arguments, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Scripts the modules of a Lumicrate unit.\n\nCommands:\n") +
        [] {
            QStringList lines;
            for (CommandShape const& shape : shapes)
                lines << QStringLiteral("  ") + QLatin1String(shape.use);
            return lines.join(QLatin1Char('\n'));
        }() +
        QStringLiteral("\n\nExit status: 0 success, 1 a module or unit failed, 2 bad usage; "
                       "an interrupted sweep ends with 128 plus the signal's number."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("discover, info, scan: print JSON."));
    const QCommandLineOption attemptsOption(
        QStringLiteral("attempts"),
        QStringLiteral("Requests sent before a module counts as silent (default %1).")
            .arg(defaultAttempts),
        QStringLiteral("N"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout-ms"),
        QStringLiteral("Wait for each answer (default %1 ms).").arg(defaultTimeoutMs),
        QStringLiteral("MS"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("The unit's TCP port (default 9876)."),
                                        QStringLiteral("N"));
    const QCommandLineOption biasOption(
        QStringLiteral("bias"), QStringLiteral("sweep-counts over the bias current, in uA."),
        QStringLiteral("START:STOP:STEP"));
    const QCommandLineOption comparatorOption(
        QStringLiteral("comparator"),
        QStringLiteral("sweep-counts over the comparator level, in V."),
        QStringLiteral("START:STOP:STEP"));
    const QCommandLineOption triggerOption(
        QStringLiteral("trigger"),
        QStringLiteral("sweep-counts ends once the detector voltage exceeds this (default "
                       "%1 V).")
            .arg(defaultTrigger),
        QStringLiteral("V"));
    const QCommandLineOption settlingOption(
        QStringLiteral("settling-ms"),
        QStringLiteral("sweep-counts: how long the detector stays shorted at the start "
                       "(default %1 ms).")
            .arg(defaultSettlingMs),
        QStringLiteral("MS"));
    const QCommandLineOption voltageOption(QStringLiteral("voltage"),
                                           QStringLiteral("sweep-iv over the voltage, in mV."),
                                           QStringLiteral("START:STOP:STEP"));
    const QCommandLineOption currentOption(QStringLiteral("current"),
                                           QStringLiteral("sweep-iv over the current, in uA."),
                                           QStringLiteral("START:STOP:STEP"));
    const QCommandLineOption timeStepOption(QStringLiteral("time-step"),
                                            QStringLiteral("sweep-iv: milliseconds per point."),
                                            QStringLiteral("MS"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("Sweeps: write the window's data file here (replaced whole) instead of "
                       "CSV on standard output."),
        QStringLiteral("FILE"));
    const QCommandLineOption everyOption(QStringLiteral("every"),
                                         QStringLiteral("watch: seconds between readings "
                                                        "(default 1)."),
                                         QStringLiteral("SECONDS"));
    parser.addOptions({jsonOption, attemptsOption, timeoutOption, portOption, biasOption,
                       comparatorOption, triggerOption, settlingOption, voltageOption,
                       currentOption, timeStepOption, outputOption, everyOption});
    helpText = parser.helpText();

    QStringList hidden;
    if (!parser.parse(hideNegativeNumbers(arguments, &hidden))) {
        *error = parser.errorText();
        return false;
    }
    helpRequested = parser.isSet(help);
    versionRequested = parser.isSet(version);
    if (helpRequested || versionRequested)
        return true;
    auto value = [&](QCommandLineOption const& option) {
        return restore(parser.value(option), hidden);
    };

    QStringList positional;
    for (QString const& text : parser.positionalArguments())
        positional.append(restore(text, hidden));
    if (positional.isEmpty()) {
        *error = QStringLiteral("no command given (see --help)");
        return false;
    }
    const CommandShape* shape = nullptr;
    for (CommandShape const& candidate : shapes) {
        if (positional.first() == QLatin1String(candidate.name))
            shape = &candidate;
    }
    if (!shape) {
        *error = QStringLiteral("unknown command \"%1\" (see --help)").arg(positional.first());
        return false;
    }
    command = shape->command;
    const int count = positional.size() - 1;
    if (count < shape->fixed || count > shape->fixed + shape->optional) {
        *error = QStringLiteral("usage: lc-ctl %1").arg(QLatin1String(shape->use));
        return false;
    }

    // Options that belong to other commands are mistakes, not noise.
    const QList<QPair<QCommandLineOption, QList<Command>>> owners = {
        {jsonOption, {Command::Discover, Command::Info, Command::Scan}},
        {biasOption, {Command::SweepCounts}},
        {comparatorOption, {Command::SweepCounts}},
        {triggerOption, {Command::SweepCounts}},
        {settlingOption, {Command::SweepCounts}},
        {voltageOption, {Command::SweepIv}},
        {currentOption, {Command::SweepIv}},
        {timeStepOption, {Command::SweepIv}},
        {outputOption, {Command::SweepCounts, Command::SweepIv}},
        {everyOption, {Command::Watch}},
    };
    for (auto const& owner : owners) {
        if (parser.isSet(owner.first) && !owner.second.contains(command)) {
            *error = QStringLiteral("--%1 does not go with %2")
                         .arg(owner.first.names().first(), QLatin1String(shape->name));
            return false;
        }
    }

    if (count >= 1) {
        hostText = positional.at(1);
        host = convertToHostAddress(hostText);
        if (host.isNull()) {
            *error = QStringLiteral("HOST must be an IP address, not \"%1\"").arg(hostText);
            return false;
        }
    }
    if (count >= 2) {
        int number = 0;
        if (!readInteger(positional.at(2), 0, 254, &number)) {
            *error = QStringLiteral("ADDR must be a device address from 0 to 254, not \"%1\"")
                         .arg(positional.at(2));
            return false;
        }
        address = quint8(number);
    }
    if (count >= 3)
        name = positional.at(3);
    if (count >= 4) {
        this->value = positional.at(4);
        valueGiven = true;
    }

    json = parser.isSet(jsonOption);
    int number = 0;
    if (parser.isSet(attemptsOption)) {
        if (!readInteger(value(attemptsOption), 1, 100, &number)) {
            *error = QStringLiteral("--attempts needs a number from 1 to 100");
            return false;
        }
        attempts = number;
        attemptsGiven = true;
    }
    if (parser.isSet(timeoutOption)) {
        if (!readInteger(value(timeoutOption), 1, 600000, &number)) {
            *error = QStringLiteral("--timeout-ms needs a number from 1 to 600000");
            return false;
        }
        timeoutMs = number;
    }
    if (parser.isSet(portOption)) {
        if (!readInteger(value(portOption), 1, 65535, &number)) {
            *error = QStringLiteral("--port needs a number from 1 to 65535");
            return false;
        }
        port = quint16(number);
    }
    if (parser.isSet(settlingOption)) {
        if (!readInteger(value(settlingOption), 0, 600000, &number)) {
            *error = QStringLiteral("--settling-ms needs a number from 0 to 600000");
            return false;
        }
        settlingMs = number;
    }
    if (parser.isSet(triggerOption) && !readNumber(value(triggerOption), &trigger)) {
        *error = QStringLiteral("--trigger needs a number of volts");
        return false;
    }
    if (parser.isSet(everyOption)) {
        if (!readNumber(value(everyOption), &everySeconds) || everySeconds < 0.001 ||
            everySeconds > 86400) {
            *error = QStringLiteral("--every needs a number of seconds from 0.001 to 86400");
            return false;
        }
    }
    output = value(outputOption);
    if (parser.isSet(outputOption) && output.isEmpty()) {
        *error = QStringLiteral("--output needs a file name");
        return false;
    }

    if (command == Command::SweepCounts || command == Command::SweepIv) {
        const bool counts = command == Command::SweepCounts;
        const QCommandLineOption& first = counts ? biasOption : voltageOption;
        const QCommandLineOption& second = counts ? comparatorOption : currentOption;
        if (parser.isSet(first) == parser.isSet(second)) {
            *error =
                QStringLiteral("%1 needs exactly one of --%2 and --%3")
                    .arg(QLatin1String(shape->name), first.names().first(), second.names().first());
            return false;
        }
        const QCommandLineOption& chosen = parser.isSet(first) ? first : second;
        if (counts)
            comparatorSweep = parser.isSet(second);
        else
            currentSweep = parser.isSet(second);
        const QStringList range = value(chosen).split(QLatin1Char(':'));
        if (range.size() != 3 || !readNumber(range.at(0), &start) ||
            !readNumber(range.at(1), &stop) || !readNumber(range.at(2), &step)) {
            *error = QStringLiteral("--%1 needs START:STOP:STEP, three numbers, not \"%2\"")
                         .arg(chosen.names().first(), value(chosen));
            return false;
        }
        startText = range.at(0).trimmed();
        stopText = range.at(1).trimmed();
        stepText = range.at(2).trimmed();
        if (counts) {
            // The window's loop only climbs: any other step would never reach STOP.
            if (!(step > 0) || stop < start) {
                *error = QStringLiteral("--%1 needs STEP above 0 and STOP not below START")
                             .arg(chosen.names().first());
                return false;
            }
        } else {
            if (!parser.isSet(timeStepOption) ||
                !readInteger(value(timeStepOption), 0, 0x7fffffff, &number)) {
                *error = QStringLiteral("sweep-iv needs --time-step MS, whole milliseconds");
                return false;
            }
            timeStepText = value(timeStepOption).trimmed();
            SweepPlan plan;
            if (!planSweep(currentSweep ? 1 : 0, startText, stopText, stepText, timeStepText, &plan,
                           error))
                return false;
        }
    }
    return true;
}
