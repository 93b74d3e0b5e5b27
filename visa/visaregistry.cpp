#include "visaregistry.h"

#include "visaserialsession.h"
#include "visasocketsession.h"

VisaRegistry& VisaRegistry::instance()
{
    static VisaRegistry registry;
    return registry;
}

ViSession VisaRegistry::nextHandle()
{
    return ++m_lastHandle;
}

ViSession VisaRegistry::openResourceManager()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const ViSession handle = nextHandle();
    m_resourceManagers.insert(handle);
    return handle;
}

bool VisaRegistry::isResourceManager(ViSession handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_resourceManagers.count(handle) != 0;
}

ViStatus VisaRegistry::open(ViSession resourceManager, const VisaResourceName& name,
                            ViSession* handle)
{
    std::unique_ptr<VisaSession> opened;
    // Connecting may take a while; the registry stays free meanwhile.
    const ViStatus status = name.kind() == VisaResourceName::Kind::Socket
                                ? VisaSocketSession::open(name, resourceManager, &opened)
                                : VisaSerialSession::open(name, resourceManager, &opened);
    if (status < VI_SUCCESS)
        return status;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_resourceManagers.count(resourceManager) == 0)
        return VI_ERROR_INV_OBJECT; // closed by another thread meanwhile
    *handle = nextHandle();
    m_sessions[*handle] = std::move(opened);
    return VI_SUCCESS;
}

ViStatus VisaRegistry::close(ViSession handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_resourceManagers.erase(handle) != 0) {
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            if (it->second->resourceManager() == handle)
                it = m_sessions.erase(it);
            else
                ++it;
        }
        return VI_SUCCESS;
    }
    return m_sessions.erase(handle) != 0 ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

std::shared_ptr<VisaSession> VisaRegistry::session(ViSession handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.find(handle);
    return it == m_sessions.end() ? nullptr : it->second;
}
