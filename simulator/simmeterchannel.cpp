#include "simmeterchannel.h"

#include "simmeter.h"

#include <memory>

SimMeterChannel::SimMeterChannel(SimMeter* meter, Send send, QObject* parent)
    : QObject(parent), m_meter(meter), m_send(std::move(send))
{
}

void SimMeterChannel::receive(const QByteArray& bytes)
{
    m_input += bytes;
    if (m_input.size() > maxLineBytes && !m_input.contains('\n'))
        m_input.truncate(maxLineBytes);
    runNext();
}

void SimMeterChannel::runNext()
{
    // An answer may come at once, from within execute(): the loop takes the next
    // line then. A later answer starts the loop again.
    while (!m_busy) {
        const int end = m_input.indexOf('\n');
        if (end < 0)
            return;
        const QByteArray line = m_input.left(end);
        m_input.remove(0, end + 1);
        m_busy = true;
        const auto inside = std::make_shared<bool>(true);
        m_meter->execute(line, this, [this, inside](const std::optional<QByteArray>& answer) {
            if (answer)
                m_send(*answer);
            m_busy = false;
            if (!*inside)
                runNext();
        });
        *inside = false;
    }
}
