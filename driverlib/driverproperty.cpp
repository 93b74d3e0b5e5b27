#include "driverproperty.h"

#include "lclogging.h"

#include <QPointer>

int cCallbackList::append(Callback callback)
{
    m_callbacks.insert(++m_lastKey, std::move(callback));
    return m_lastKey;
}

void cCallbackList::run(QObject* owner) const
{
    // The copy keeps the callbacks alive if one of them deletes the owner, and
    // with it this list.
    const QPointer<QObject> alive(owner);
    const QMap<int, Callback> callbacks = m_callbacks;
    for (const Callback& callback : callbacks) {
        callback();
        if (!alive)
            return;
    }
}

DriverProperty_p::DriverProperty_p(AbstractDriver* driver, quint8 cmdGetter, quint8 cmdSetter)
    : m_driver(driver), m_cmdGetter(cmdGetter), m_cmdSetter(cmdSetter)
{
    if (m_driver)
        m_driver->appendProperty(this);
}

void DriverProperty_p::readWrite(quint8 command, QByteArray data)
{
    if (m_driver)
        m_driver->sendMsg(command, data);
    m_lastSettedData = data;
}

QByteArray DriverProperty_p::readWriteSync(quint8 command, QByteArray data, bool* ok, int attempts,
                                           int minAnswerSize)
{
    // The driver, and this property with it, may be deleted during a wait.
    const QPointer<AbstractDriver> driver(m_driver);
    // A call made from an event handled during the wait restores the outer rule.
    const int outerMinAnswerSize = m_minAnswerSize;
    m_minAnswerSize = minAnswerSize;
    bool answered = false;
    while (driver && attempts > 0 && !answered) {
        readWrite(command, data);
        --attempts;
        answered = driver->waitingAnswer();
        if (!answered && driver)
            qCDebug(lcDriver) << "no answer from address" << driver->devAddress() << "to command"
                              << command << "," << attempts << "attempts left";
    }
    if (ok)
        *ok = answered && driver;
    if (!driver)
        return QByteArray();
    m_minAnswerSize = outerMinAnswerSize;
    return m_data;
}

void DriverCommand::execute()
{
    readWrite(cmdSetter(), QByteArray());
}

void DriverCommand::executeSync(bool* ok, int attempts)
{
    readWriteSync(cmdSetter(), QByteArray(), ok, attempts);
}

QString udidToString(cUDID const& udid)
{
    const QByteArray hex =
        QByteArray(reinterpret_cast<const char*>(udid.bytes), sizeof(udid.bytes)).toHex().toUpper();
    QStringList groups;
    for (int i = 0; i < hex.size(); i += 4)
        groups << QString::fromLatin1(hex.mid(i, 4));
    return groups.join(QLatin1Char('-'));
}

QString DriverValueCodec<QString>::decode(QByteArray const& bytes, int offset)
{
    const QByteArray text = bytes.mid(qMax(0, offset));
    const int zero = text.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? text : text.left(zero));
}
