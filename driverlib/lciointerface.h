#ifndef LCIOINTERFACE_H
#define LCIOINTERFACE_H

#include <QObject>

// A link to a unit: opens the connection, sends frames and announces every
// complete frame received. `data` in msgReceived is valid only while the
// signal is being delivered; receivers that keep the payload copy it.
class lcIOInterface : public QObject
{
    Q_OBJECT
public:
    explicit lcIOInterface(QObject* parent = nullptr) : QObject(parent) {}

    // True while the unit cannot be reached at all (its connection closed, or
    // opening one failed), as opposed to a module that is silent on a live link.
    // Links that cannot tell the two apart never report a lost unit.
    virtual bool isUnitLost() const { return false; }

public slots:
    virtual bool initialize() = 0;
    virtual bool sendMsg(quint8 address, quint8 command, quint8 dataLength, quint8* data) = 0;

signals:
    void msgReceived(quint8 address, quint8 command, quint8 dataLength, quint8* data);
    // Emitted once when isUnitLost() becomes true, from inside the link's own
    // handling: receivers only take note (end a wait), they do not send or delete.
    void unitLost();
};

#endif // LCIOINTERFACE_H
