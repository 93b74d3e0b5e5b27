// The library's C entry points: argument checks, then the registry and the sessions.
#include "visa.h"
#include "visaregistry.h"

#include <cstring>

namespace {

VisaRegistry& registry()
{
    return VisaRegistry::instance();
}

ViStatus resourceManagerStatus(ViSession handle)
{
    if (registry().isResourceManager(handle))
        return VI_SUCCESS;
    return registry().session(handle) ? VI_ERROR_NSUP_OPER : VI_ERROR_INV_OBJECT;
}

// Attributes of a resource manager session.
ViStatus resourceManagerAttribute(ViSession handle, ViAttr attribute, void* value)
{
    switch (attribute) {
    case VI_ATTR_RSRC_SPEC_VERSION:
        *static_cast<ViVersion*>(value) = VI_SPEC_VERSION;
        return VI_SUCCESS;
    case VI_ATTR_RM_SESSION:
        *static_cast<ViSession*>(value) = handle;
        return VI_SUCCESS;
    case VI_ATTR_RSRC_NAME:
        std::strcpy(static_cast<char*>(value), "");
        return VI_SUCCESS;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

// A read or write on an instrument session; anything else moves no bytes.
template <typename Operation> ViStatus transfer(ViSession vi, ViPUInt32 retCnt, Operation operation)
{
    const std::shared_ptr<VisaSession> session = registry().session(vi);
    if (session)
        return operation(*session);
    if (retCnt)
        *retCnt = 0;
    return registry().isResourceManager(vi) ? VI_ERROR_NSUP_OPER : VI_ERROR_INV_OBJECT;
}

} // namespace

ViStatus viOpenDefaultRM(ViPSession vi)
{
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    *vi = registry().openResourceManager();
    return VI_SUCCESS;
}

ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                ViPSession vi)
{
    (void)timeout; // nothing here is ever locked, so there is nothing to wait for
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    const ViStatus manager = resourceManagerStatus(sesn);
    if (manager != VI_SUCCESS)
        return manager;
    // Sessions are not locked; loading a configuration has nothing to load.
    if ((mode & ~ViAccessMode(VI_LOAD_CONFIG)) != 0)
        return VI_ERROR_INV_ACC_MODE;
    VisaResourceName parsed;
    const ViStatus status = VisaResourceName::parse(name, &parsed);
    if (status != VI_SUCCESS)
        return status;
    return registry().open(sesn, parsed, vi);
}

ViStatus viClose(ViObject vi)
{
    if (vi == VI_NULL)
        return VI_WARN_NULL_OBJECT;
    return registry().close(vi);
}

ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue)
{
    if (const std::shared_ptr<VisaSession> session = registry().session(vi))
        return session->setAttribute(attrName, attrValue);
    return registry().isResourceManager(vi) ? VI_ERROR_NSUP_ATTR : VI_ERROR_INV_OBJECT;
}

ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue)
{
    if (const std::shared_ptr<VisaSession> session = registry().session(vi))
        return session->getAttribute(attrName, attrValue);
    if (!registry().isResourceManager(vi))
        return VI_ERROR_INV_OBJECT;
    return attrValue ? resourceManagerAttribute(vi, attrName, attrValue) : VI_ERROR_USER_BUF;
}

ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    return transfer(vi, retCnt,
                    [&](VisaSession& session) { return session.write(buf, cnt, retCnt); });
}

ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViPUInt32 retCnt)
{
    return transfer(vi, retCnt,
                    [&](VisaSession& session) { return session.read(buf, cnt, retCnt); });
}

ViStatus viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism)
{
    (void)eventType;
    (void)mechanism;
    return registry().session(vi) ? VI_SUCCESS_EVENT_DIS : VI_ERROR_INV_OBJECT;
}

ViStatus viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism)
{
    (void)eventType;
    (void)mechanism;
    return registry().session(vi) ? VI_SUCCESS_QUEUE_EMPTY : VI_ERROR_INV_OBJECT;
}

ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum)
{
    return viParseRsrcEx(rmSesn, rsrcName, intfType, intfNum, nullptr, nullptr, nullptr);
}

ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                       ViPUInt16 intfNum, ViChar rsrcClass[], ViChar expandedUnaliasedName[],
                       ViChar aliasIfExists[])
{
    const ViStatus manager = resourceManagerStatus(rmSesn);
    if (manager != VI_SUCCESS)
        return manager;
    VisaResourceName parsed;
    const ViStatus status = VisaResourceName::parse(rsrcName, &parsed);
    if (status != VI_SUCCESS)
        return status;
    if (intfType)
        *intfType = parsed.interfaceType();
    if (intfNum)
        *intfNum = parsed.board();
    // The parser refuses names that would not fit VI_FIND_BUFLEN.
    if (rsrcClass)
        std::strcpy(rsrcClass, parsed.resourceClass());
    if (expandedUnaliasedName)
        std::strcpy(expandedUnaliasedName, parsed.canonical().c_str());
    if (aliasIfExists)
        aliasIfExists[0] = '\0';
    return VI_SUCCESS;
}
