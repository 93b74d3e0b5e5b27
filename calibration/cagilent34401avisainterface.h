#ifndef CAGILENT34401AVISAINTERFACE_H
#define CAGILENT34401AVISAINTERFACE_H

#include "cagilent34401a.h"

#include "visa.h"

#include <QLibrary>
#include <QStringList>

// The multimeter reached through a VISA library loaded at run time. Each
// exchange blocks (without running the event loop) for up to the I/O time-out.
class cAgilent34401aVisaInterface : public cAgilent34401A
{
    Q_OBJECT
public:
    static constexpr ViUInt32 ioTimeoutMs = 5000;

    // "visa32", and on Linux also "visa", the usual name of VISA libraries there.
    static QStringList defaultLibraryNames();

    // Loads the first of the libraries that can be loaded (names or paths).
    explicit cAgilent34401aVisaInterface(const QStringList& libraryNames = defaultLibraryNames());
    ~cAgilent34401aVisaInterface() override;

    QString visaDeviceName() const { return m_visaDeviceName; }
    // A different name closes the open session; the next reading opens the new one.
    void setVisaDeviceName(QString const& name);
    bool isVisaInited() const { return m_visaInited; }

    bool initialize() override;
    qint64 writeAgilent(QString command) override;
    double readAgilent(bool* ok = nullptr) override;
    QString identity() override;
    // Closes the instrument session; the next reading opens it again.
    void closeSession();

private:
    // One reply as the library gives it; false on a failed read.
    bool readReply(QByteArray* reply);
    // The library again (it stays loaded) and one of its functions; null, and
    // the library marked as missing if it cannot be loaded.
    QFunctionPointer resolve(const char* function);

    QLibrary m_library;
    QString m_visaDeviceName;
    ViSession m_resourceManager = VI_NULL;
    ViSession m_session = VI_NULL;
    bool m_visaInited = false;
};

#endif // CAGILENT34401AVISAINTERFACE_H
