#include "qcustomlib.h"
#include "lclogging.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

namespace {

const QByteArray discoveryDatagram = QByteArrayLiteral("lc-software");
const QString loopbackText = QStringLiteral("127.0.0.1");
const QString localhostText = QStringLiteral("localhost");

void takeCallBacks(QTcpServer* server, QStringList* found, int dataWaitMs)
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        socket->setProxy(QNetworkProxy::NoProxy);
        // Taken before the wait: a unit that closes right after sending clears it.
        QHostAddress const peer = socket->peerAddress();
        if (socket->bytesAvailable() > 0 || socket->waitForReadyRead(dataWaitMs)) {
            socket->readAll();
            bool isIPv4 = false;
            quint32 const ipv4 = peer.toIPv4Address(&isIPv4);
            // A pure IPv6 peer has no IPv4 form; listing it as "0.0.0.0" would
            // point the link at a wrong host.
            if (isIPv4)
                found->append(QHostAddress(ipv4).toString());
            else
                qCDebug(lcDiscovery) << "call-back from a non-IPv4 peer ignored:" << peer;
        }
        socket->close();
        socket->deleteLater();
    }
}

void cleanList(QStringList* list)
{
    list->erase(std::remove_if(
                    list->begin(), list->end(),
                    [](QString const& entry) { return entry.isEmpty() || entry == loopbackText; }),
                list->end());
    for (QHostAddress const& own : QNetworkInterface::allAddresses()) {
        if (own.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        QString const ownText = own.toString();
        for (QString& entry : *list) {
            if (entry == ownText)
                entry = localhostText;
        }
    }
    list->removeDuplicates();
    int const local = list->indexOf(localhostText);
    if (local >= 0)
        (*list)[local] = loopbackText;
}

// Four parts count as a dotted quad when every part reads as an integer; the quad is
// accepted only when every part is plain decimal digits with a value up to 255, so an
// out-of-range part never wraps into a neighbouring byte.
enum class QuadKind
{
    NotAQuad,
    Valid,
    Invalid
};

QuadKind readQuad(QStringList const& parts, quint32* address)
{
    if (parts.size() != 4)
        return QuadKind::NotAQuad;
    bool valid = true;
    quint32 value = 0;
    for (QString const& part : parts) {
        QString const trimmed = part.trimmed();
        int const signLength = trimmed.startsWith('+') || trimmed.startsWith('-') ? 1 : 0;
        if (trimmed.size() == signLength)
            return QuadKind::NotAQuad;
        for (int i = signLength; i < trimmed.size(); ++i) {
            ushort const c = trimmed.at(i).unicode();
            if (c < '0' || c > '9')
                return QuadKind::NotAQuad;
        }
        bool ok = false;
        uint const byte = trimmed.toUInt(&ok, 10);
        if (signLength != 0 || !ok || byte > 255) {
            valid = false;
            continue;
        }
        value = (value << 8) | byte;
    }
    if (!valid)
        return QuadKind::Invalid;
    *address = value;
    return QuadKind::Valid;
}

} // namespace

QList<QHostAddress> lcBroadcastAddresses()
{
    QList<QHostAddress> result;
    auto const wanted =
        QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanBroadcast;
    for (QNetworkInterface const& interface : QNetworkInterface::allInterfaces()) {
        if ((interface.flags() & wanted) != wanted)
            continue;
        for (QNetworkAddressEntry const& entry : interface.addressEntries()) {
            if (!entry.broadcast().isNull())
                result.append(entry.broadcast());
        }
    }
    return result;
}

QStringList lcDiscoverLumicrates(lcDiscoveryOptions const& options)
{
    QStringList found;
    // Lives on this stack frame: when the call returns the port is free again and no
    // late call-back can reach a list that was already handed back.
    QTcpServer server;
    server.setProxy(QNetworkProxy::NoProxy);
    if (!server.listen(QHostAddress::Any, options.callbackPort)) {
        qCDebug(lcDiscovery) << "discovery: cannot listen on port" << options.callbackPort << ":"
                             << server.errorString();
        return found;
    }
    int const dataWaitMs = options.dataWaitMs;
    QObject::connect(&server, &QTcpServer::newConnection, &server,
                     [&server, &found, dataWaitMs] { takeCallBacks(&server, &found, dataWaitMs); });

    qCDebug(lcDiscovery) << "before udpSocket create";
    QUdpSocket udp;
    udp.setProxy(QNetworkProxy::NoProxy);
    QList<QHostAddress> const targets = options.targets ? *options.targets : lcBroadcastAddresses();
    for (QHostAddress const& target : targets) {
        if (udp.writeDatagram(discoveryDatagram, target, options.discoveryPort) < 0)
            qCDebug(lcDiscovery) << "discovery: cannot send to" << target << ":"
                                 << udp.errorString();
    }

    QEventLoop loop;
    QTimer window;
    window.setSingleShot(true);
    window.setTimerType(Qt::PreciseTimer);
    QObject::connect(&window, &QTimer::timeout, &loop, &QEventLoop::quit);
    window.start(options.windowMs);
    loop.exec();

    qCDebug(lcDiscovery) << "waiting for answers";
    QObject::disconnect(&server, nullptr, nullptr, nullptr);
    server.close();

    cleanList(&found);
    qCDebug(lcDiscovery) << found;
    return found;
}

QStringList availableLumicrates()
{
    return lcDiscoverLumicrates(lcDiscoveryOptions());
}

QHostAddress convertToHostAddress(QString const& text)
{
    QStringList const parts = text.split('.', Qt::KeepEmptyParts);
    quint32 address = 0;
    switch (readQuad(parts, &address)) {
    case QuadKind::Valid:
        return QHostAddress(address);
    case QuadKind::Invalid:
        return QHostAddress();
    case QuadKind::NotAQuad:
        break;
    }
    return QHostAddress(text);
}

QString normaliseUnitAddress(QString const& text)
{
    QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return text;
    for (QString const& part : qAsConst(parts)) {
        if (part.isEmpty())
            return text;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return text;
        }
    }
    for (int i = 1; i < 4; ++i) {
        QString& part = parts[i];
        int zeros = 0;
        while (zeros < part.size() - 1 && part.at(zeros) == QLatin1Char('0'))
            ++zeros;
        part.remove(0, zeros);
    }
    return parts.join(QLatin1Char('.'));
}
