#include "crelaysstatus.h"

cRelaysStatus::cRelaysStatus(RelayIndex mask, RelayIndex states)
    : m_status(quint8(mask * 16 + states))
{
}

void cRelaysStatus::setStatus(quint8 const& mask, quint8 const& states)
{
    m_status = quint8(mask * 16 + states);
}

cRelaysStatus& cRelaysStatus::operator=(quint8 const& status)
{
    m_status = status;
    return *this;
}

bool cRelaysStatus::operator[](int bit) const
{
    return bit >= 0 && bit < 8 && ((m_status >> bit) & 1) != 0;
}

void cRelaysStatus::clearMask()
{
    m_status &= 0x0F;
}

void cRelaysStatus::setValue(quint8 relay, bool on)
{
    // Relays outside 1..4 would shift into the other nibble or past the byte.
    if (relay < 1 || relay > 4)
        return;
    m_status |= quint8(1u << (relay + 3));
    if (on)
        m_status |= quint8(1u << (relay - 1));
    else
        m_status &= quint8(~(1u << (relay - 1)));
}
