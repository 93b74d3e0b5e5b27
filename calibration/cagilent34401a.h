#ifndef CAGILENT34401A_H
#define CAGILENT34401A_H

#include <QObject>
#include <QString>

// The reference multimeter as the calibration run sees it: single readings
// taken with SCPI MEAS queries in one of eight measuring functions. The
// transport (how a query and its reply travel) is left to a subclass.
class cAgilent34401A : public QObject
{
    Q_OBJECT
public:
    // Modes 0 to 7: DC current, AC current, DC voltage, AC voltage, two-wire
    // and four-wire resistance, frequency, period.
    static constexpr unsigned char modeCount = 8;

    explicit cAgilent34401A(QObject* parent = nullptr);

    unsigned char mode() const { return m_mode; }
    void setMode(unsigned char const& mode) { m_mode = mode; }
    // In the function's unit; 0 leaves it to the instrument.
    double range() const { return m_range; }
    void setRange(double const& range) { m_range = range; }
    double resolution() const { return m_resolution; }
    void setResolution(double const& resolution) { m_resolution = resolution; }
    bool isInited() const { return m_inited; }

    // One reading. A reading that fails (no open instrument, an unknown mode, a
    // failed write or read, a reply that is no number, an overload) gives 0
    // with *ok false.
    double singleRead(bool* ok = nullptr);

    // Sends a command; the number of bytes written, 0 on failure.
    virtual qint64 writeAgilent(QString command) = 0;
    // Reads one reply as a number; 0 with *ok false on failure.
    virtual double readAgilent(bool* ok = nullptr) = 0;
    // Opens the instrument.
    virtual bool initialize();
    // The instrument's answer to "*IDN?"; empty when it gives none.
    virtual QString identity() { return QString(); }
    // The largest reading the function and range in use can give: 120 % of the
    // range, or of the largest range when the instrument picks it.
    double readingLimit() const;

signals:
    // Every real reading the transport received.
    void dataReaded(double value);

protected:
    void setInited(bool inited) { m_inited = inited; }
    // The number in an instrument reply: up to the first zero byte, white space
    // around it ignored. False for text that is no finite number and for the
    // instrument's overload value.
    static bool readingFromReply(const QByteArray& reply, double* value);
    // A text reply up to its first zero byte, without its line end, printable
    // characters only.
    static QString textOfReply(const QByteArray& reply);

private:
    QString command() const;

    unsigned char m_mode = 2;
    double m_range = 0;
    double m_resolution = 0;
    bool m_inited = false;
};

#endif // CAGILENT34401A_H
