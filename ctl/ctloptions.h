#ifndef CTLOPTIONS_H
#define CTLOPTIONS_H

#include <QHostAddress>
#include <QString>
#include <QStringList>

// The command line of lc-ctl, read and checked before anything is sent.
struct CtlOptions
{
    enum class Command
    {
        None,
        Discover,
        Info,
        Scan,
        List,
        Get,
        Set,
        SweepCounts,
        SweepIv,
        Watch
    };

    static constexpr int defaultAttempts = 5;
    static constexpr int defaultTimeoutMs = 500;
    static constexpr int defaultSettlingMs = 2000;
    static constexpr double defaultTrigger = 0.1;

    Command command = Command::None;
    QString hostText;
    QHostAddress host;
    quint8 address = 0;
    QString name;
    QString value;
    bool valueGiven = false;
    bool json = false;
    int attempts = defaultAttempts;
    bool attemptsGiven = false;
    int timeoutMs = defaultTimeoutMs;
    quint16 port = 9876;

    // sweep-counts: bias current (uA) or comparator level (V); sweep-iv: voltage
    // (mV) or current (uA), as the windows take them.
    bool comparatorSweep = false;
    bool currentSweep = false;
    QString startText;
    QString stopText;
    QString stepText;
    double start = 0;
    double stop = 0;
    double step = 0;
    QString timeStepText;
    double trigger = defaultTrigger;
    int settlingMs = defaultSettlingMs;
    QString output;
    double everySeconds = 1;

    bool helpRequested = false;
    bool versionRequested = false;
    QString helpText;

    // Arguments start with the program name; false with the reason on bad usage.
    bool parse(QStringList const& arguments, QString* error);
};

#endif // CTLOPTIONS_H
