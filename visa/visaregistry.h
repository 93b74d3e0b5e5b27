#ifndef VISAREGISTRY_H
#define VISAREGISTRY_H

#include "visasession.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>

// The library's sessions by handle: resource managers and the instrument
// sessions opened through them. Handles are never reused within a process, so
// a stale handle finds nothing instead of someone else's session.
class VisaRegistry
{
public:
    static VisaRegistry& instance();

    ViSession openResourceManager();
    bool isResourceManager(ViSession handle) const;
    ViStatus open(ViSession resourceManager, const VisaResourceName& name, ViSession* handle);
    // Closing a resource manager closes every session opened through it.
    ViStatus close(ViSession handle);
    // Shared, so that a close in another thread cannot free a session in use.
    std::shared_ptr<VisaSession> session(ViSession handle) const;

private:
    VisaRegistry() = default;
    ViSession nextHandle();

    mutable std::mutex m_mutex;
    ViSession m_lastHandle = 0;
    std::set<ViSession> m_resourceManagers;
    std::map<ViSession, std::shared_ptr<VisaSession>> m_sessions;
};

#endif // VISAREGISTRY_H
