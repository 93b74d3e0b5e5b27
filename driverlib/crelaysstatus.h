#ifndef CRELAYSSTATUS_H
#define CRELAYSSTATUS_H

#include <QtGlobal>

// Up to four relays in one byte: states in the low nibble (bit 0 = relay 1),
// and in the high nibble the mask of relays that a write changes.
class cRelaysStatus
{
public:
    // Relays as bits of a nibble, so that several can be combined.
    enum RelayIndex : quint8
    {
        NoRelay = 0,
        Relay1 = 1,
        Relay2 = 2,
        Relay3 = 4,
        Relay4 = 8
    };

    cRelaysStatus() = default;
    cRelaysStatus(RelayIndex mask, RelayIndex states);

    quint8 status() const { return m_status; }
    void setStatus(quint8 const& status) { m_status = status; }
    void setStatus(quint8 const& mask, quint8 const& states);
    cRelaysStatus& operator=(quint8 const& status);
    bool operator[](int bit) const;
    void clearMask();
    // relay 1 to 4: marks it in the mask and sets its state.
    void setValue(quint8 relay, bool on);

private:
    quint8 m_status = 0;
};

#endif // CRELAYSSTATUS_H
