#include "ctlrunner.h"

#include "atomicfile.h"
#include "countssweep.h"
#include "ctlinterrupt.h"
#include "ctlmodule.h"
#include "driverpropertytable.h"
#include "floattext.h"
#include "ivdatafile.h"
#include "ivsweep.h"
#include "qcustomlib.h"
#include "sweepdatafile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int scanLastAddress = 31;

void write(FILE* stream, QString const& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void print(QString const& text)
{
    write(stdout, text);
}

QString jsonLine(QJsonDocument const& document)
{
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
}

QString csvNumber(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// A field with a comma, a quote or a line end is quoted, its quotes doubled.
QString csvField(QString const& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Rows of this name in any kind, the way the command needs them.
QVector<const DriverPropertyRow*> rowsNamed(QString const& name, bool forSet)
{
    QVector<const DriverPropertyRow*> rows;
    for (DriverKind const& kind : driverKinds()) {
        const DriverPropertyRow* row = kind.property(name);
        if (row && (forSet ? row->canSet : row->canGet))
            rows.append(row);
    }
    return rows;
}

// "N points" on standard error while a sweep runs, when someone watches it.
class Progress
{
public:
    Progress() : m_shown(::isatty(STDERR_FILENO) == 1) {}
    ~Progress()
    {
        if (m_shown && m_count > 0)
            write(stderr, QStringLiteral("\n"));
    }
    void point(QPointF const& point)
    {
        ++m_count;
        if (m_shown)
            write(stderr, QStringLiteral("\rpoint %1: %2 %3\x1b[K")
                              .arg(m_count)
                              .arg(csvNumber(point.x()), csvNumber(point.y())));
    }

private:
    bool m_shown;
    int m_count = 0;
};

} // namespace

CtlRunner::CtlRunner(CtlOptions const& options, CtlInterrupt* interrupt)
    : m_options(options), m_interrupt(interrupt)
{
}

int CtlRunner::fail(QString const& message) const
{
    write(stderr, QStringLiteral("lc-ctl: %1\n").arg(message));
    return Failure;
}

int CtlRunner::usage(QString const& message) const
{
    write(stderr, QStringLiteral("lc-ctl: %1\n").arg(message));
    return BadUsage;
}

int CtlRunner::interruptedCode() const
{
    return 128 + m_interrupt->signal();
}

int CtlRunner::run()
{
    switch (m_options.command) {
    case CtlOptions::Command::Discover:
        return discover();
    case CtlOptions::Command::Info:
        return info();
    case CtlOptions::Command::Scan:
        return scan();
    case CtlOptions::Command::List:
        return list();
    case CtlOptions::Command::Get:
        return get();
    case CtlOptions::Command::Set:
        return set();
    case CtlOptions::Command::Watch:
        return watch();
    case CtlOptions::Command::SweepCounts:
        return sweepCounts();
    case CtlOptions::Command::SweepIv:
        return sweepIv();
    case CtlOptions::Command::None:
        break;
    }
    return usage(QStringLiteral("no command given (see --help)"));
}

bool CtlRunner::openModule(CtlModule* module, int* code)
{
    QString error;
    if (!module->connectUnit(&error) ||
        !module->open(m_options.address, m_options.attempts, &error)) {
        *code = fail(error);
        return false;
    }
    return true;
}

const DriverPropertyRow* CtlRunner::rowOf(CtlModule const& module, bool forSet, int* code)
{
    if (!module.kind()) {
        *code = fail(QStringLiteral("the module at address %1 is of no known kind (\"%2\")")
                         .arg(m_options.address)
                         .arg(module.typeString()));
        return nullptr;
    }
    const DriverPropertyRow* row = module.kind()->property(m_options.name);
    if (!row || !(forSet ? row->canSet : row->canGet)) {
        *code = usage(QStringLiteral("a %1 has no property \"%2\" to %3 (see lc-ctl list)")
                          .arg(module.kind()->name, m_options.name,
                               forSet ? QStringLiteral("set") : QStringLiteral("get")));
        return nullptr;
    }
    return row;
}

int CtlRunner::discover()
{
    const QStringList units = availableLumicrates();
    if (m_options.json)
        print(jsonLine(QJsonDocument(QJsonArray::fromStringList(units))));
    else if (!units.isEmpty())
        print(units.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return Success;
}

int CtlRunner::info()
{
    CtlModule module(m_options.host, m_options.port, m_options.timeoutMs);
    int code = Success;
    if (!openModule(&module, &code))
        return code;
    CtlIdentity identity;
    QString error;
    if (!module.readIdentity(m_options.attempts, &identity, &error))
        return fail(error);
    print(m_options.json ? jsonLine(QJsonDocument(identity.json())) : identity.text());
    return Success;
}

int CtlRunner::scan()
{
    CtlModule module(m_options.host, m_options.port, m_options.timeoutMs);
    QString error;
    if (!module.connectUnit(&error))
        return fail(error);
    // A silent address costs every attempt; one is enough to find a module on a
    // sound link unless the command line asks for more.
    const int probeAttempts = m_options.attemptsGiven ? m_options.attempts : 1;
    QJsonArray found;
    QStringList blocks;
    bool failed = false;
    for (int address = 0; address <= scanLastAddress && !m_interrupt->interrupted(); ++address) {
        if (!module.open(quint8(address), probeAttempts, &error))
            continue;
        CtlIdentity identity;
        if (!module.readIdentity(m_options.attempts, &identity, &error)) {
            fail(error);
            failed = true;
            continue;
        }
        found.append(identity.json());
        blocks.append(identity.text());
    }
    if (m_interrupt->interrupted())
        return interruptedCode();
    if (m_options.json)
        print(jsonLine(QJsonDocument(found)));
    else
        print(blocks.join(QLatin1Char('\n')));
    if (found.isEmpty() && !failed)
        return fail(QStringLiteral("no module of %1 answers at addresses 0 to %2")
                        .arg(m_options.hostText)
                        .arg(scanLastAddress));
    return failed ? Failure : Success;
}

int CtlRunner::list()
{
    CtlModule module(m_options.host, m_options.port, m_options.timeoutMs);
    int code = Success;
    if (!openModule(&module, &code))
        return code;
    if (!module.kind())
        return fail(QStringLiteral("the module at address %1 is of no known kind (\"%2\")")
                        .arg(m_options.address)
                        .arg(module.typeString()));
    QString text;
    for (DriverPropertyRow const& row : module.kind()->properties)
        text += QStringLiteral("%1\t%2\t%3\n").arg(row.name, row.type, row.direction());
    print(text);
    return Success;
}

int CtlRunner::unknownName(bool forSet) const
{
    if (!rowsNamed(m_options.name, forSet).isEmpty())
        return Success;
    return usage(QStringLiteral("no module kind has a property \"%1\" to %2")
                     .arg(m_options.name, forSet ? QStringLiteral("set") : QStringLiteral("get")));
}

QString CtlRunner::valueError(DriverPropertyRow const& row) const
{
    QString error;
    if (!m_options.valueGiven && row.type != QLatin1String("command"))
        return QStringLiteral("%1 needs a VALUE").arg(m_options.name);
    if (!row.check(m_options.value, &error))
        return QStringLiteral("%1: %2").arg(m_options.name, error);
    return QString();
}

const DriverPropertyRow* CtlRunner::openProperty(CtlModule* module, bool forSet, int* code)
{
    return openModule(module, code) ? rowOf(*module, forSet, code) : nullptr;
}

int CtlRunner::noAnswer() const
{
    return fail(QStringLiteral("no answer to %1 from the module at address %2")
                    .arg(m_options.name)
                    .arg(m_options.address));
}

int CtlRunner::get()
{
    if (const int code = unknownName(false))
        return code;
    CtlModule module(m_options.host, m_options.port, m_options.timeoutMs);
    int code = Success;
    const DriverPropertyRow* row = openProperty(&module, false, &code);
    if (!row)
        return code;
    QString text;
    if (!row->read(*module.driver(), m_options.attempts, &text))
        return noAnswer();
    print(text + QLatin1Char('\n'));
    return Success;
}

int CtlRunner::set()
{
    if (const int code = unknownName(true))
        return code;
    // Refused before the unit is connected when no kind could take the value for
    // one reason; where the reason differs by kind (a record's fields), the
    // module's own kind gives it once the module is identified.
    QStringList errors;
    for (const DriverPropertyRow* row : rowsNamed(m_options.name, true))
        errors.append(valueError(*row));
    errors.removeDuplicates();
    if (errors.size() == 1 && !errors.first().isEmpty())
        return usage(errors.first());

    CtlModule module(m_options.host, m_options.port, m_options.timeoutMs);
    int code = Success;
    const DriverPropertyRow* row = openProperty(&module, true, &code);
    if (!row)
        return code;
    const QString error = valueError(*row);
    if (!error.isEmpty())
        return usage(error);
    if (!row->write(*module.driver(), m_options.value, m_options.attempts))
        return fail(QStringLiteral("the module at address %1 did not confirm %2")
                        .arg(m_options.address)
                        .arg(m_options.name));
    return Success;
}

int CtlRunner::watch()
{
    if (const int code = unknownName(false))
        return code;
    CtlModule module(m_options.host, m_options.port, m_options.timeoutMs);
    int code = Success;
    const DriverPropertyRow* row = openProperty(&module, false, &code);
    if (!row)
        return code;
    const double periodMs = m_options.everySeconds * 1000;
    QElapsedTimer clock;
    clock.start();
    for (qint64 reading = 0;; ++reading) {
        QString text;
        const bool ok = row->read(*module.driver(), m_options.attempts, &text);
        if (m_interrupt->interrupted())
            return Success;
        if (!ok)
            return noAnswer();
        print(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char(',') +
              csvField(text) + QLatin1Char('\n'));
        // On a fixed grid from the start, so that slow answers do not drift it;
        // readings that could not be taken in time are skipped.
        const qint64 elapsed = clock.elapsed();
        reading = qMax<qint64>(reading, qint64(std::floor(double(elapsed) / periodMs)));
        const qint64 next = qint64(std::llround(double(reading + 1) * periodMs));
        if (m_interrupt->waitFor(nullptr, int(qMax<qint64>(0, next - elapsed))) ==
            CtlInterrupt::WaitEnd::Interrupted)
            return Success;
    }
}

template <typename Sweep, typename Run>
int CtlRunner::runSweep(Sweep* sweep, Run run, QString const& header,
                        std::function<QString(double)> const& number, FileWriter const& writeFile)
{
    const bool toFile = !m_options.output.isEmpty();
    if (!toFile)
        print(header + QLatin1Char('\n'));
    Progress progress;
    sweep->pointMeasured = [&](QPointF const& point) {
        progress.point(point);
        if (!toFile)
            print(number(point.x()) + QLatin1Char(',') + number(point.y()) + QLatin1Char('\n'));
    };
    const auto outcome = run();
    if (outcome == Sweep::Outcome::Failed)
        return fail(QStringLiteral("sweep of the module at address %1: %2")
                        .arg(m_options.address)
                        .arg(sweep->error()));
    QString error;
    // Interrupted, the points so far go to the file as a whole file.
    if (toFile && !writeFile(m_options.output, sweep->points(), &error))
        return fail(QStringLiteral("cannot write %1: %2").arg(m_options.output, error));
    if (outcome == Sweep::Outcome::Interrupted) {
        fail(QStringLiteral("sweep interrupted after %1 points").arg(sweep->points().size()));
        return interruptedCode();
    }
    return Success;
}

int CtlRunner::sweepCounts()
{
    CtlModule module(m_options.host, m_options.port, m_options.timeoutMs);
    int code = Success;
    if (!openModule(&module, &code))
        return code;
    if (!qobject_cast<SspdDriverM0*>(module.driver()) &&
        !qobject_cast<SspdDriverM1*>(module.driver()))
        return fail(QStringLiteral("the module at address %1 is no SSPD driver (\"%2\")")
                        .arg(m_options.address)
                        .arg(module.typeString()));
    CountsSweep sweep(module.driver(), m_interrupt);
    CountsSweep::Settings settings;
    settings.comparator = m_options.comparatorSweep;
    settings.start = m_options.start;
    settings.stop = m_options.stop;
    settings.step = m_options.step;
    settings.trigger = m_options.trigger;
    settings.settlingMs = m_options.settlingMs;
    return runSweep(
        &sweep, [&] { return sweep.run(settings); },
        m_options.comparatorSweep ? QStringLiteral("comparator_V,counts_per_s")
                                  : QStringLiteral("current_uA,counts_per_s"),
        csvNumber,
        [](QString const& file, QVector<QPointF> const& points, QString* error) {
            return writeFileAtomically(file, sweepDataFileBytes({points}), error);
        });
}

int CtlRunner::sweepIv()
{
    SweepPlan plan;
    QString error;
    if (!planSweep(m_options.currentSweep ? 1 : 0, m_options.startText, m_options.stopText,
                   m_options.stepText, m_options.timeStepText, &plan, &error))
        return usage(error);
    CtlModule module(m_options.host, m_options.port, m_options.timeoutMs);
    int code = Success;
    if (!openModule(&module, &code))
        return code;
    auto* source = qobject_cast<SisBiasSourceDriverM0*>(module.driver());
    if (!source)
        return fail(QStringLiteral("the module at address %1 is no SIS bias source (\"%2\")")
                        .arg(m_options.address)
                        .arg(module.typeString()));
    IvSweep sweep(source, module.link(), m_interrupt);
    return runSweep(
        &sweep, [&] { return sweep.run(plan); }, QStringLiteral("voltage_V,current_A"),
        // The module's floats, in their own shortest text.
        [](double value) { return shortestFloatText(float(value)); },
        [](QString const& file, QVector<QPointF> const& points, QString* error) {
            return writeFileAtomically(file, ivDataText({points}), error);
        });
}
