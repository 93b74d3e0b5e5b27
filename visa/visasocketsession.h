#ifndef VISASOCKETSESSION_H
#define VISASOCKETSESSION_H

#include "visasession.h"

#include <memory>

// A raw SCPI socket (TCPIP::host::port::SOCKET). A socket carries no END bit, so
// a line feed stands for it, as instruments end their replies with one.
class VisaSocketSession : public VisaSession
{
public:
    // Connects within VisaSession::defaultTimeoutMs.
    static ViStatus open(const VisaResourceName& name, ViSession resourceManager,
                         std::unique_ptr<VisaSession>* session);

protected:
    bool carriesEnd(ViByte byte) const override { return byte == '\n'; }
    ssize_t sendSome(const ViByte* data, size_t size) override;
    ViStatus setKindAttribute(ViAttr attribute, ViAttrState value) override;
    ViStatus getKindAttribute(ViAttr attribute, void* value) override;
    ViStatus ioError(int error) const override;

private:
    VisaSocketSession(const VisaResourceName& name, ViSession resourceManager, int fd,
                      std::string address);

    std::string m_host;
    std::string m_address;
    ViUInt16 m_port;
    bool m_noDelay = true;
    bool m_keepAlive = false;
};

#endif // VISASOCKETSESSION_H
