// lc-ctl: the driver library's modules from the command line, for scripts.
#include "ctlinterrupt.h"
#include "ctloptions.h"
#include "ctlrunner.h"

#include <QCoreApplication>
#include <QLocale>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lc-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LC_VERSION));
    // Numbers on the command line and in the output are C-locale whatever LANG says.
    QLocale::setDefault(QLocale::c());
    // Standard error carries failures for scripts; debug output only on request.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    CtlOptions options;
    QString error;
    if (!options.parse(QCoreApplication::arguments(), &error)) {
        std::fprintf(stderr, "lc-ctl: %s\n", qPrintable(error));
        return CtlRunner::BadUsage;
    }
    if (options.helpRequested) {
        std::fputs(qPrintable(options.helpText), stdout);
        return CtlRunner::Success;
    }
    if (options.versionRequested) {
        std::printf("lc-ctl %s\n", LC_VERSION);
        return CtlRunner::Success;
    }
    CtlInterrupt interrupt;
    return CtlRunner(options, &interrupt).run();
}
