#ifndef FAKESSPD_H
#define FAKESSPD_H

#include "fakeunit.h"
#include "sspddriverm0.h"

#include <QElapsedTimer>
#include <QMap>
#include <QSet>

#include <functional>

// An SSPD driver module of either modification (or any other module type, which
// then answers only the common commands) on a FakeUnit at 127.0.0.1. It keeps the
// state a measurer changes and answers every request it knows, after a per-command
// delay; commands in `silent` get no answer.
class FakeSspd : public QObject
{
    Q_OBJECT
public:
    explicit FakeSspd(QString type = QStringLiteral("LC4SDM0"), quint8 address = 1);

    quint16 port() const { return unit.port(); }
    bool isM1() const { return type.contains(QLatin1String("LC4SDM1")); }
    bool isSspd() const { return type.contains(QLatin1String("LC4SDM")); }

    // Frames the module received with this command, in order.
    QList<FakeFrame> received(quint8 command) const;
    int count(quint8 command) const { return received(command).size(); }
    // Requests that arrived while an earlier answer was still pending.
    int overlaps = 0;

    FakeUnit unit;
    QString type;
    quint8 address;
    float current = 0;
    float monitor = 0;
    float voltage = 0;
    float counts = 0;
    quint8 status = 0;
    LC4SDM0V1_Param_t params{};
    bool pid = true;
    QSet<quint8> silent;
    QMap<quint8, int> delayMs;
    // Runs before a data record (0x10) is answered, to script readings per point.
    std::function<void(FakeSspd&)> beforeData;
    // Runs after a current set (0x12), e.g. to make the measured current differ.
    std::function<void(FakeSspd&)> afterCurrentSet;

private:
    void onFrame(FakeFrame const& frame);
    QByteArray answerFor(FakeFrame const& frame, bool* known);

    QElapsedTimer m_clock;
    qint64 m_pendingUntil = -1;
};

// The float in a 4-byte payload.
float payloadFloat(QByteArray const& payload);

#endif // FAKESSPD_H
