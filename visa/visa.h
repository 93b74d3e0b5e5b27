/* The C interface of libvisa32, the suite's VISA library: the types, constants and
   entry points of the VISA standard for the part of it that the library implements
   (message-based sessions to TCPIP SOCKET and ASRL INSTR resources). */
#ifndef LC_VISA_H
#define LC_VISA_H

#include <stdint.h>

#if defined(__GNUC__)
#define LC_VISA_API __attribute__((visibility("default")))
#else
#define LC_VISA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint64_t ViUInt64;
typedef int64_t ViInt64;
typedef uint32_t ViUInt32;
typedef int32_t ViInt32;
typedef uint16_t ViUInt16;
typedef int16_t ViInt16;
typedef unsigned char ViUInt8;
typedef signed char ViInt8;
typedef char ViChar;
typedef unsigned char ViByte;
typedef void* ViAddr;
typedef ViUInt16 ViBoolean;
typedef ViInt32 ViStatus;
typedef ViUInt32 ViVersion;
typedef ViUInt32 ViObject;
typedef ViObject ViSession;
typedef ViUInt32 ViAttr;
typedef ViUInt32 ViAccessMode;
typedef ViUInt32 ViEventType;
typedef ViChar* ViString;
typedef const ViChar* ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViByte* ViBuf;
typedef const ViByte* ViConstBuf;
typedef ViUInt32* ViPUInt32;
typedef ViUInt16* ViPUInt16;
typedef ViSession* ViPSession;
/* Attribute values are as wide as a pointer on 64-bit platforms. */
#if UINTPTR_MAX > 0xFFFFFFFFu
typedef ViUInt64 ViAttrState;
#else
typedef ViUInt32 ViAttrState;
#endif

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0
#define VI_FIND_BUFLEN 256
#define VI_SPEC_VERSION 0x00500800UL

#define VI_TMO_IMMEDIATE 0UL
#define VI_TMO_INFINITE 0xFFFFFFFFUL

#define VI_NO_LOCK 0
#define VI_EXCLUSIVE_LOCK 1
#define VI_SHARED_LOCK 2
#define VI_LOAD_CONFIG 4

#define VI_INTF_GPIB 1
#define VI_INTF_VXI 2
#define VI_INTF_GPIB_VXI 3
#define VI_INTF_ASRL 4
#define VI_INTF_PXI 5
#define VI_INTF_TCPIP 6
#define VI_INTF_USB 7

#define VI_PROT_NORMAL 1

#define VI_ALL_ENABLED_EVENTS 0x3FFF7FFFUL
#define VI_ALL_MECH 0xFFFF

#define VI_ASRL_PAR_NONE 0
#define VI_ASRL_PAR_ODD 1
#define VI_ASRL_PAR_EVEN 2
#define VI_ASRL_PAR_MARK 3
#define VI_ASRL_PAR_SPACE 4
#define VI_ASRL_STOP_ONE 10
#define VI_ASRL_STOP_ONE5 15
#define VI_ASRL_STOP_TWO 20
#define VI_ASRL_FLOW_NONE 0
#define VI_ASRL_FLOW_XON_XOFF 1
#define VI_ASRL_FLOW_RTS_CTS 2
#define VI_ASRL_FLOW_DTR_DSR 4
#define VI_ASRL_END_NONE 0
#define VI_ASRL_END_LAST_BIT 1
#define VI_ASRL_END_TERMCHAR 2
#define VI_ASRL_END_BREAK 3

/* Attributes. */
#define VI_ATTR_RSRC_CLASS 0xBFFF0001UL
#define VI_ATTR_RSRC_NAME 0xBFFF0002UL
#define VI_ATTR_RSRC_IMPL_VERSION 0x3FFF0003UL
#define VI_ATTR_RSRC_LOCK_STATE 0x3FFF0004UL
#define VI_ATTR_SEND_END_EN 0x3FFF0016UL
#define VI_ATTR_TERMCHAR 0x3FFF0018UL
#define VI_ATTR_TMO_VALUE 0x3FFF001AUL
#define VI_ATTR_IO_PROT 0x3FFF001CUL
#define VI_ATTR_ASRL_BAUD 0x3FFF0021UL
#define VI_ATTR_ASRL_DATA_BITS 0x3FFF0022UL
#define VI_ATTR_ASRL_PARITY 0x3FFF0023UL
#define VI_ATTR_ASRL_STOP_BITS 0x3FFF0024UL
#define VI_ATTR_ASRL_FLOW_CNTRL 0x3FFF0025UL
#define VI_ATTR_SUPPRESS_END_EN 0x3FFF0036UL
#define VI_ATTR_TERMCHAR_EN 0x3FFF0038UL
#define VI_ATTR_ASRL_AVAIL_NUM 0x3FFF00ACUL
#define VI_ATTR_ASRL_END_IN 0x3FFF00B3UL
#define VI_ATTR_ASRL_END_OUT 0x3FFF00B4UL
#define VI_ATTR_RM_SESSION 0x3FFF00C4UL
#define VI_ATTR_RSRC_SPEC_VERSION 0x3FFF0170UL
#define VI_ATTR_INTF_TYPE 0x3FFF0171UL
#define VI_ATTR_RSRC_MANF_NAME 0xBFFF0174UL
#define VI_ATTR_RSRC_MANF_ID 0x3FFF0175UL
#define VI_ATTR_INTF_NUM 0x3FFF0176UL
#define VI_ATTR_TCPIP_ADDR 0xBFFF0195UL
#define VI_ATTR_TCPIP_HOSTNAME 0xBFFF0196UL
#define VI_ATTR_TCPIP_PORT 0x3FFF0197UL
#define VI_ATTR_TCPIP_NODELAY 0x3FFF019AUL
#define VI_ATTR_TCPIP_KEEPALIVE 0x3FFF019BUL

/* Completion codes. */
#define VI_SUCCESS 0L
#define VI_SUCCESS_EVENT_DIS 0x3FFF0003L
#define VI_SUCCESS_QUEUE_EMPTY 0x3FFF0004L
#define VI_SUCCESS_TERM_CHAR 0x3FFF0005L
#define VI_SUCCESS_MAX_CNT 0x3FFF0006L
#define VI_WARN_NULL_OBJECT 0x3FFF0082L

/* Error codes: all negative as ViStatus. */
#define VI_ERROR_SYSTEM_ERROR ((ViStatus)0xBFFF0000UL)
#define VI_ERROR_INV_OBJECT ((ViStatus)0xBFFF000EUL)
#define VI_ERROR_INV_SESSION VI_ERROR_INV_OBJECT
#define VI_ERROR_RSRC_NFOUND ((ViStatus)0xBFFF0011UL)
#define VI_ERROR_INV_RSRC_NAME ((ViStatus)0xBFFF0012UL)
#define VI_ERROR_INV_ACC_MODE ((ViStatus)0xBFFF0013UL)
#define VI_ERROR_TMO ((ViStatus)0xBFFF0015UL)
#define VI_ERROR_NSUP_ATTR ((ViStatus)0xBFFF001DUL)
#define VI_ERROR_NSUP_ATTR_STATE ((ViStatus)0xBFFF001EUL)
#define VI_ERROR_ATTR_READONLY ((ViStatus)0xBFFF001FUL)
#define VI_ERROR_ALLOC ((ViStatus)0xBFFF003CUL)
#define VI_ERROR_IO ((ViStatus)0xBFFF003EUL)
#define VI_ERROR_NSUP_OPER ((ViStatus)0xBFFF0067UL)
#define VI_ERROR_USER_BUF ((ViStatus)0xBFFF0071UL)
#define VI_ERROR_RSRC_BUSY ((ViStatus)0xBFFF0072UL)
#define VI_ERROR_INV_PARAMETER ((ViStatus)0xBFFF0078UL)
#define VI_ERROR_CONN_LOST ((ViStatus)0xBFFF00A6UL)
#define VI_ERROR_NPERMISSION ((ViStatus)0xBFFF00A8UL)

LC_VISA_API ViStatus viOpenDefaultRM(ViPSession vi);
LC_VISA_API ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                            ViPSession vi);
LC_VISA_API ViStatus viClose(ViObject vi);
LC_VISA_API ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue);
LC_VISA_API ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue);
LC_VISA_API ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
LC_VISA_API ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
/* The library raises no events: every event stays disabled, every queue empty. */
LC_VISA_API ViStatus viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
LC_VISA_API ViStatus viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
LC_VISA_API ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                                 ViPUInt16 intfNum);
LC_VISA_API ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                                   ViPUInt16 intfNum, ViChar rsrcClass[],
                                   ViChar expandedUnaliasedName[], ViChar aliasIfExists[]);

#ifdef __cplusplus
}
#endif

#endif /* LC_VISA_H */
