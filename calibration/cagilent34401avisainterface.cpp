#include "cagilent34401avisainterface.h"
#include "lclogging.h"

#include <QDebug>

namespace {

constexpr ViUInt32 replyBufferSize = 256;
constexpr ViUInt32 replyReadCount = 255;

template <typename Function> Function* as(QFunctionPointer pointer)
{
    return reinterpret_cast<Function*>(pointer);
}

} // namespace

QStringList cAgilent34401aVisaInterface::defaultLibraryNames()
{
#ifdef Q_OS_LINUX
    return {QStringLiteral("visa32"), QStringLiteral("visa")};
#else
    return {QStringLiteral("visa32")};
#endif
}

cAgilent34401aVisaInterface::cAgilent34401aVisaInterface(const QStringList& libraryNames)
{
    for (const QString& name : libraryNames) {
        m_library.setFileName(name);
        if (m_library.load()) {
            m_visaInited = true;
            break;
        }
    }
    qCDebug(lcMeter) << "mVisaInited" << m_visaInited;
}

cAgilent34401aVisaInterface::~cAgilent34401aVisaInterface()
{
    closeSession();
    if (m_resourceManager != VI_NULL) {
        if (auto close = as<decltype(viClose)>(resolve("viClose")))
            close(m_resourceManager);
    }
}

QFunctionPointer cAgilent34401aVisaInterface::resolve(const char* function)
{
    if (!m_visaInited)
        return nullptr;
    if (!m_library.load()) {
        m_visaInited = false;
        return nullptr;
    }
    return m_library.resolve(function);
}

void cAgilent34401aVisaInterface::closeSession()
{
    if (m_session != VI_NULL) {
        if (auto close = as<decltype(viClose)>(resolve("viClose")))
            close(m_session);
        m_session = VI_NULL;
    }
    setInited(false);
}

void cAgilent34401aVisaInterface::setVisaDeviceName(QString const& name)
{
    if (name == m_visaDeviceName)
        return;
    m_visaDeviceName = name;
    closeSession();
}

bool cAgilent34401aVisaInterface::initialize()
{
    if (!m_visaInited)
        return false;
    const auto openDefaultRM = as<decltype(viOpenDefaultRM)>(resolve("viOpenDefaultRM"));
    const auto open = as<decltype(viOpen)>(resolve("viOpen"));
    const auto setAttribute = as<decltype(viSetAttribute)>(resolve("viSetAttribute"));
    if (!openDefaultRM || !open || !setAttribute)
        return false;
    closeSession();
    // One resource manager for the object's life: closing it would close the
    // instrument session too, and opening one per attempt would leak them.
    if (m_resourceManager == VI_NULL && openDefaultRM(&m_resourceManager) < VI_SUCCESS) {
        m_resourceManager = VI_NULL;
        qCDebug(lcMeter) << "error at opening default RM";
        return false;
    }
    ViSession session = VI_NULL;
    if (open(m_resourceManager, m_visaDeviceName.toLocal8Bit().constData(), VI_NULL, VI_NULL,
             &session) < VI_SUCCESS) {
        qCDebug(lcMeter) << "error at connecting to instrument";
        return false;
    }
    m_session = session;
    setAttribute(m_session, VI_ATTR_TMO_VALUE, ioTimeoutMs);
    setAttribute(m_session, VI_ATTR_SUPPRESS_END_EN, VI_FALSE);
    setAttribute(m_session, VI_ATTR_SEND_END_EN, VI_FALSE);
    return cAgilent34401A::initialize();
}

qint64 cAgilent34401aVisaInterface::writeAgilent(QString command)
{
    const auto write = as<decltype(viWrite)>(resolve("viWrite"));
    if (!write)
        return 0;
    const QByteArray bytes = command.toLocal8Bit();
    ViUInt32 written = 0;
    if (write(m_session, reinterpret_cast<ViConstBuf>(bytes.constData()), ViUInt32(bytes.size()),
              &written) < VI_SUCCESS) {
        // A meter that went away (switched off, its link dropped) is opened anew
        // by the next reading.
        closeSession();
        return 0;
    }
    return written;
}

bool cAgilent34401aVisaInterface::readReply(QByteArray* reply)
{
    const auto read = as<decltype(viRead)>(resolve("viRead"));
    if (!read)
        return false;
    ViByte buffer[replyBufferSize] = {};
    ViUInt32 count = 0;
    if (read(m_session, buffer, replyReadCount, &count) < VI_SUCCESS) {
        qCDebug(lcMeter) << "error at read some data to agilent";
        // Nor may a reply that comes late be taken for the next reading's.
        closeSession();
        return false;
    }
    // A library that reports more than it was given room for is not believed.
    *reply = QByteArray(reinterpret_cast<const char*>(buffer), int(qMin(count, replyReadCount)));
    return true;
}

double cAgilent34401aVisaInterface::readAgilent(bool* ok)
{
    if (ok)
        *ok = false;
    QByteArray reply;
    double value = 0;
    if (!readReply(&reply) || !readingFromReply(reply, &value))
        return 0;
    if (ok)
        *ok = true;
    emit dataReaded(value);
    return value;
}

QString cAgilent34401aVisaInterface::identity()
{
    if (!isInited())
        initialize();
    QByteArray reply;
    if (!isInited() || writeAgilent(QStringLiteral("*IDN?\r\n")) == 0 || !readReply(&reply))
        return QString();
    return textOfReply(reply);
}
