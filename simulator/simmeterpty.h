#ifndef SIMMETERPTY_H
#define SIMMETERPTY_H

#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

// The meter's serial port as a pseudo-terminal: a client opens the terminal side
// (its /dev/pts path, or the symbolic link made to it) as if it were the meter's
// RS-232 port.
class SimMeterPty : public QObject
{
    Q_OBJECT
public:
    explicit SimMeterPty(QObject* parent = nullptr);
    ~SimMeterPty() override;

    // Opens the pair and links `link` to the terminal side; an existing file there
    // is replaced only when it is a symbolic link.
    bool open(const QString& link, QString* error);
    QString terminalPath() const { return m_terminalPath; }
    QString linkPath() const { return m_link; }
    void send(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);

private:
    void readAvailable();

    int m_master = -1;
    // Held open, so that the pair survives clients that come and go.
    int m_terminal = -1;
    QString m_terminalPath;
    QString m_link;
    QSocketNotifier* m_notifier = nullptr;
};

#endif // SIMMETERPTY_H
