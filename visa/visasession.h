#ifndef VISASESSION_H
#define VISASESSION_H

#include "visaresourcename.h"

#include <mutex>
#include <string>

// A message-based instrument session on a file descriptor. The base keeps the
// attributes every such session has and does the reading and writing under the
// session's time-out; the kinds add how they open and what ends a read.
class VisaSession
{
public:
    static constexpr ViUInt32 defaultTimeoutMs = 2000;

    virtual ~VisaSession();
    VisaSession(const VisaSession&) = delete;
    VisaSession& operator=(const VisaSession&) = delete;

    ViStatus read(ViBuf buffer, ViUInt32 count, ViUInt32* returned);
    ViStatus write(ViConstBuf buffer, ViUInt32 count, ViUInt32* returned);
    ViStatus setAttribute(ViAttr attribute, ViAttrState value);
    ViStatus getAttribute(ViAttr attribute, void* value);

    ViSession resourceManager() const { return m_resourceManager; }

protected:
    VisaSession(const VisaResourceName& name, ViSession resourceManager, int fd);

    enum class Ending
    {
        None,
        End,     // the END indication
        TermChar // the termination character, with VI_ATTR_TERMCHAR_EN
    };

    // Whether the device sends an END of its own; a byte that carries it ends a read.
    virtual bool carriesEnd(ViByte byte) const = 0;
    // Bytes sent after the caller's data, as the END indication of a write.
    virtual std::string endOfWrite() const { return std::string(); }
    virtual ssize_t sendSome(const ViByte* data, size_t size) = 0;
    // The kind's own attributes: VI_ERROR_NSUP_ATTR when it has no such attribute.
    virtual ViStatus setKindAttribute(ViAttr attribute, ViAttrState value) = 0;
    virtual ViStatus getKindAttribute(ViAttr attribute, void* value) = 0;
    // Status of a failed system call on the descriptor; VI_SUCCESS for a passing
    // condition that is retried.
    virtual ViStatus ioError(int error) const;

    static void copyText(const std::string& text, void* value);
    int fd() const { return m_fd; }
    ViByte termChar() const { return m_termChar; }
    bool endSuppressed() const { return m_suppressEnd; }
    bool sendEnd() const { return m_sendEnd; }
    size_t pendingBytes() const { return m_pending.size() - m_pendingStart; }

private:
    // Whether this received byte ends the read.
    Ending ending(ViByte byte) const;
    // Waits until the descriptor is ready or the deadline (ms on the monotonic
    // clock, negative: none) passes; false on time-out.
    bool waitFor(short events, long long deadlineMs, ViStatus* failure) const;
    long long deadline() const;

    VisaResourceName m_name;
    ViSession m_resourceManager;
    int m_fd;
    std::mutex m_mutex;
    ViUInt32 m_timeoutMs = defaultTimeoutMs;
    ViByte m_termChar = '\n';
    bool m_termCharEnabled = false;
    bool m_sendEnd = true;
    bool m_suppressEnd = false;
    // Bytes received beyond the end of an earlier read, kept for the next one.
    std::string m_pending;
    size_t m_pendingStart = 0;
};

#endif // VISASESSION_H
