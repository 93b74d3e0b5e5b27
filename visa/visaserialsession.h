#ifndef VISASERIALSESSION_H
#define VISASERIALSESSION_H

#include "visasession.h"

#include <memory>

// An RS-232 port (ASRL...::INSTR) through termios, raw, with the standard's
// defaults: 9600 baud, 8 data bits, no parity, one stop bit, no flow control;
// reads end at the termination character, writes send no END.
class VisaSerialSession : public VisaSession
{
public:
    static ViStatus open(const VisaResourceName& name, ViSession resourceManager,
                         std::unique_ptr<VisaSession>* session);

protected:
    bool carriesEnd(ViByte byte) const override;
    std::string endOfWrite() const override;
    ssize_t sendSome(const ViByte* data, size_t size) override;
    ViStatus setKindAttribute(ViAttr attribute, ViAttrState value) override;
    ViStatus getKindAttribute(ViAttr attribute, void* value) override;

private:
    struct Settings
    {
        ViUInt32 baud = 9600;
        ViUInt16 dataBits = 8;
        ViUInt16 parity = VI_ASRL_PAR_NONE;
        ViUInt16 stopBits = VI_ASRL_STOP_ONE;
        ViUInt16 flowControl = VI_ASRL_FLOW_NONE;
    };

    VisaSerialSession(const VisaResourceName& name, ViSession resourceManager, int fd);
    // Puts the settings on the line; false, with the line unchanged, when the
    // port cannot take them.
    static bool apply(int fd, const Settings& settings);

    Settings m_settings;
    ViUInt16 m_endIn = VI_ASRL_END_TERMCHAR;
    ViUInt16 m_endOut = VI_ASRL_END_NONE;
};

#endif // VISASERIALSESSION_H
