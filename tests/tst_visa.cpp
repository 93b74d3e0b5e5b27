#include "scriptedinstrument.h"
#include "visa.h"

#include <QtTest>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A listening loopback socket standing for an instrument; connects complete in
// its backlog, so the test can accept after the library has connected.
class Peer
{
public:
    Peer() { m_listener = listenOnLoopback(4, &m_port); }
    ~Peer()
    {
        closeConnection();
        ::close(m_listener);
    }
    QByteArray resource() const
    {
        return "TCPIP0::127.0.0.1::" + QByteArray::number(m_port) + "::SOCKET";
    }
    quint16 port() const { return m_port; }
    bool accept()
    {
        m_connection = ::accept(m_listener, nullptr, nullptr);
        return m_connection >= 0;
    }
    void send(const QByteArray& bytes) { ::send(m_connection, bytes.constData(), bytes.size(), 0); }
    QByteArray receive(int size)
    {
        QByteArray bytes(size, '\0');
        int got = 0;
        while (got < size) {
            pollfd entry{m_connection, POLLIN, 0};
            if (::poll(&entry, 1, 2000) <= 0)
                break;
            const ssize_t n = ::recv(m_connection, bytes.data() + got, size_t(size - got), 0);
            if (n <= 0)
                break;
            got += int(n);
        }
        return bytes.left(got);
    }
    void closeConnection()
    {
        if (m_connection >= 0)
            ::close(m_connection);
        m_connection = -1;
    }

private:
    int m_listener = -1;
    int m_connection = -1;
    quint16 m_port = 0;
};

struct Pty
{
    int master = -1;
    QByteArray path;
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master);
        ::unlockpt(master);
        path = ::ptsname(master);
    }
    ~Pty() { ::close(master); }
    QByteArray resource() const { return "ASRL" + path + "::INSTR"; }
};

QByteArray readSome(ViSession vi, ViUInt32 count, ViStatus* status)
{
    QByteArray buffer(int(count) + 8, '\x55');
    ViUInt32 got = 12345;
    *status = viRead(vi, reinterpret_cast<ViBuf>(buffer.data()), count, &got);
    // Nothing beyond the count is ever touched.
    for (int i = int(count); i < buffer.size(); ++i) {
        if (buffer.at(i) != '\x55')
            return "overrun";
    }
    return got <= count ? buffer.left(int(got)) : QByteArray("count beyond buffer");
}

ViStatus writeText(ViSession vi, const QByteArray& text, ViUInt32* written = nullptr)
{
    ViUInt32 count = 0;
    const ViStatus status =
        viWrite(vi, reinterpret_cast<ViConstBuf>(text.constData()), ViUInt32(text.size()), &count);
    if (written)
        *written = count;
    return status;
}

} // namespace

class TestVisa : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void parsesResourceNames_data();
    void parsesResourceNames();
    void refusesWhatItCannotOpen();
    void socketReadsEndAtLineFeed();
    void socketReadsHonourCountAndTermChar();
    void socketTimeOuts();
    void socketConnectionLost();
    void serialPort();
    void attributes();
    void closingManagerClosesSessions();

private:
    ViSession m_rm = VI_NULL;
};

void TestVisa::init()
{
    QCOMPARE(viOpenDefaultRM(&m_rm), VI_SUCCESS);
    QVERIFY(m_rm != VI_NULL);
}

void TestVisa::cleanup()
{
    viClose(m_rm);
}

void TestVisa::parsesResourceNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("board");
    QTest::addColumn<QByteArray>("resourceClass");
    QTest::addColumn<QByteArray>("expanded");
    const int ok = VI_SUCCESS;
    QTest::newRow("socket") << QByteArray("TCPIP0::127.0.0.1::5025::SOCKET") << ok << VI_INTF_TCPIP
                            << 0 << QByteArray("SOCKET")
                            << QByteArray("TCPIP0::127.0.0.1::5025::SOCKET");
    QTest::newRow("socket, no board, lower case")
        << QByteArray("tcpip::meter.lab::80::socket") << ok << VI_INTF_TCPIP << 0
        << QByteArray("SOCKET") << QByteArray("TCPIP0::meter.lab::80::SOCKET");
    QTest::newRow("socket, board 3")
        << QByteArray("TCPIP3::10.0.0.2::1234::SOCKET") << ok << VI_INTF_TCPIP << 3
        << QByteArray("SOCKET") << QByteArray("TCPIP3::10.0.0.2::1234::SOCKET");
    QTest::newRow("serial path") << QByteArray("ASRL/dev/ttyUSB0::INSTR") << ok << VI_INTF_ASRL << 0
                                 << QByteArray("INSTR") << QByteArray("ASRL/dev/ttyUSB0::INSTR");
    QTest::newRow("serial number") << QByteArray("ASRL2") << ok << VI_INTF_ASRL << 2
                                   << QByteArray("INSTR") << QByteArray("ASRL2::INSTR");
    const int invalid = VI_ERROR_INV_RSRC_NAME;
    const int absent = VI_ERROR_RSRC_NFOUND;
    for (const char* name :
         {"TCPIP0::host::SOCKET", "TCPIP0::host::0::SOCKET", "TCPIP0::host::99999::SOCKET",
          "TCPIP0::::5025::SOCKET", "TCPIPX::host::5025::SOCKET", "TCPIP0::host::50a::SOCKET",
          "TCPIP0::host::5025::SOCKET::X", "ASRL", "ASRLCOM1::INSTR", "ASRL1::SOCKET", "meter", ""})
        QTest::newRow(name) << QByteArray(name) << invalid << 0 << 0 << QByteArray()
                            << QByteArray();
    QTest::newRow("too long") << QByteArray("TCPIP0::" + QByteArray(300, 'h') + "::1::SOCKET")
                              << invalid << 0 << 0 << QByteArray() << QByteArray();
    for (const char* name : {"GPIB0::22::INSTR", "TCPIP0::10.0.0.2::INSTR",
                             "TCPIP::10.0.0.2::inst0::INSTR", "USB0::1::2::3::INSTR", "ASRL0"})
        QTest::newRow(name) << QByteArray(name) << absent << 0 << 0 << QByteArray() << QByteArray();
}

void TestVisa::parsesResourceNames()
{
    QFETCH(QByteArray, name);
    QFETCH(int, status);
    ViUInt16 type = 0xEEEE, board = 0xEEEE;
    ViChar resourceClass[VI_FIND_BUFLEN] = "x", expanded[VI_FIND_BUFLEN] = "x",
           alias[VI_FIND_BUFLEN] = "x";
    QCOMPARE(viParseRsrcEx(m_rm, name.constData(), &type, &board, resourceClass, expanded, alias),
             status);
    ViUInt16 shortType = 0, shortBoard = 0;
    QCOMPARE(viParseRsrc(m_rm, name.constData(), &shortType, &shortBoard), status);
    if (status != VI_SUCCESS)
        return;
    QTEST(int(type), "type");
    QTEST(int(board), "board");
    QCOMPARE(shortType, type);
    QCOMPARE(shortBoard, board);
    QTEST(QByteArray(resourceClass), "resourceClass");
    QTEST(QByteArray(expanded), "expanded");
    QCOMPARE(QByteArray(alias), QByteArray());
}

void TestVisa::refusesWhatItCannotOpen()
{
    ViSession vi = 77;
    QCOMPARE(viParseRsrc(m_rm + 1000, "ASRL1", nullptr, nullptr), VI_ERROR_INV_OBJECT);
    QCOMPARE(viOpen(m_rm + 1000, "ASRL1", VI_NULL, VI_NULL, &vi), VI_ERROR_INV_OBJECT);
    QCOMPARE(vi, ViSession(VI_NULL));
    QCOMPARE(viOpen(m_rm, nullptr, VI_NULL, VI_NULL, &vi), VI_ERROR_INV_RSRC_NAME);
    QCOMPARE(viOpen(m_rm, "ASRL1", VI_NULL, VI_NULL, nullptr), VI_ERROR_INV_PARAMETER);
    QCOMPARE(viOpen(m_rm, "ASRL/dev/null::INSTR", VI_EXCLUSIVE_LOCK, VI_NULL, &vi),
             VI_ERROR_INV_ACC_MODE);
    // No such device, a device that is no terminal, a port nobody listens on.
    QCOMPARE(viOpen(m_rm, "ASRL/dev/lc-no-such-tty::INSTR", VI_NULL, VI_NULL, &vi),
             VI_ERROR_RSRC_NFOUND);
    QCOMPARE(viOpen(m_rm, "ASRL/dev/null::INSTR", VI_NULL, VI_NULL, &vi), VI_ERROR_RSRC_NFOUND);
    quint16 closedPort;
    {
        Peer gone;
        closedPort = gone.port();
    }
    const QByteArray refused = "TCPIP0::127.0.0.1::" + QByteArray::number(closedPort) + "::SOCKET";
    QCOMPARE(viOpen(m_rm, refused.constData(), VI_NULL, VI_NULL, &vi), VI_ERROR_RSRC_NFOUND);
    QCOMPARE(vi, ViSession(VI_NULL));

    // Unknown and null sessions.
    ViByte byte = 0;
    ViUInt32 count = 9;
    QCOMPARE(viRead(4000000, &byte, 1, &count), VI_ERROR_INV_OBJECT);
    QCOMPARE(count, 0u);
    QCOMPARE(viWrite(4000000, &byte, 1, &count), VI_ERROR_INV_OBJECT);
    QCOMPARE(viRead(m_rm, &byte, 1, &count), VI_ERROR_NSUP_OPER);
    QCOMPARE(viSetAttribute(4000000, VI_ATTR_TMO_VALUE, 5), VI_ERROR_INV_OBJECT);
    QCOMPARE(viClose(4000000), VI_ERROR_INV_OBJECT);
    QCOMPARE(viClose(VI_NULL), VI_WARN_NULL_OBJECT);
}

void TestVisa::socketReadsEndAtLineFeed()
{
    Peer peer;
    ViSession vi = VI_NULL;
    QCOMPARE(viOpen(m_rm, peer.resource().constData(), VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    QVERIFY(peer.accept());
    ViUInt32 written = 0;
    QCOMPARE(writeText(vi, "MEAS:VOLT:DC? DEF,DEF\r\n", &written), VI_SUCCESS);
    QCOMPARE(written, 23u);
    // SEND_END_EN adds nothing on a socket.
    QCOMPARE(peer.receive(23), QByteArray("MEAS:VOLT:DC? DEF,DEF\r\n"));

    // Two replies in one segment: each read ends at its line feed, the rest waits.
    peer.send("+1.23456789E-03\n-2.5E+00\r\n");
    ViStatus status;
    QCOMPARE(readSome(vi, 255, &status), QByteArray("+1.23456789E-03\n"));
    QCOMPARE(status, VI_SUCCESS);
    QCOMPARE(readSome(vi, 255, &status), QByteArray("-2.5E+00\r\n"));
    QCOMPARE(status, VI_SUCCESS);
    // A zero byte is data like any other.
    peer.send(QByteArray("1\0002\n", 4));
    QCOMPARE(readSome(vi, 255, &status), QByteArray("1\0002\n", 4));
    QCOMPARE(viClose(vi), VI_SUCCESS);
}

void TestVisa::socketReadsHonourCountAndTermChar()
{
    Peer peer;
    ViSession vi = VI_NULL;
    QCOMPARE(viOpen(m_rm, peer.resource().constData(), VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    QVERIFY(peer.accept());
    peer.send("abcdefgh\n");
    ViStatus status;
    QCOMPARE(readSome(vi, 3, &status), QByteArray("abc"));
    QCOMPARE(status, VI_SUCCESS_MAX_CNT);
    QCOMPARE(readSome(vi, 0, &status), QByteArray());
    QCOMPARE(status, VI_SUCCESS_MAX_CNT);
    QCOMPARE(readSome(vi, 255, &status), QByteArray("defgh\n"));
    QCOMPARE(status, VI_SUCCESS);

    QCOMPARE(viSetAttribute(vi, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    peer.send("1;2\n");
    QCOMPARE(readSome(vi, 255, &status), QByteArray("1;"));
    QCOMPARE(status, VI_SUCCESS_TERM_CHAR);
    QCOMPARE(readSome(vi, 255, &status), QByteArray("2\n"));
    QCOMPARE(status, VI_SUCCESS);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 2), VI_ERROR_NSUP_ATTR_STATE);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_TERMCHAR, 0x100), VI_ERROR_NSUP_ATTR_STATE);
    QCOMPARE(viRead(vi, nullptr, 4, nullptr), VI_ERROR_USER_BUF);
}

void TestVisa::socketTimeOuts()
{
    Peer peer;
    ViSession vi = VI_NULL;
    QCOMPARE(viOpen(m_rm, peer.resource().constData(), VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    QVERIFY(peer.accept());
    QCOMPARE(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 150), VI_SUCCESS);
    QElapsedTimer clock;
    clock.start();
    ViStatus status;
    QCOMPARE(readSome(vi, 255, &status), QByteArray());
    QCOMPARE(status, VI_ERROR_TMO);
    QVERIFY2(clock.elapsed() >= 145 && clock.elapsed() < 1000,
             qPrintable(QString::number(clock.elapsed())));

    // With END suppressed a line feed ends nothing: the bytes so far come with the time-out.
    QCOMPARE(viSetAttribute(vi, VI_ATTR_SUPPRESS_END_EN, VI_TRUE), VI_SUCCESS);
    peer.send("12\n");
    QCOMPARE(readSome(vi, 255, &status), QByteArray("12\n"));
    QCOMPARE(status, VI_ERROR_TMO);

    // A peer that reads nothing: the write gives up at the time-out, with what went out.
    const QByteArray large(64 << 20, 'x');
    ViUInt32 written = 0;
    clock.restart();
    QCOMPARE(writeText(vi, large, &written), VI_ERROR_TMO);
    QVERIFY(written > 0 && written < ViUInt32(large.size()));
    QVERIFY(clock.elapsed() >= 145 && clock.elapsed() < 2000);

    QCOMPARE(viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE), VI_SUCCESS);
    clock.restart();
    QCOMPARE(readSome(vi, 1, &status).size(), 0);
    QCOMPARE(status, VI_ERROR_TMO);
    QVERIFY(clock.elapsed() < 100);
}

void TestVisa::socketConnectionLost()
{
    Peer peer;
    ViSession vi = VI_NULL;
    QCOMPARE(viOpen(m_rm, peer.resource().constData(), VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    QVERIFY(peer.accept());
    peer.send("7");
    peer.closeConnection();
    ViStatus status;
    QCOMPARE(readSome(vi, 255, &status), QByteArray("7"));
    QCOMPARE(status, VI_ERROR_CONN_LOST);
    // Writing to the closed peer fails with a code, and no SIGPIPE ends the test.
    QTest::qWait(20);
    ViStatus write = VI_SUCCESS;
    for (int i = 0; i < 10 && write >= VI_SUCCESS; ++i)
        write = writeText(vi, "*IDN?\r\n");
    QCOMPARE(write, VI_ERROR_CONN_LOST);
}

void TestVisa::serialPort()
{
    Pty pty;
    ViSession vi = VI_NULL;
    QCOMPARE(viOpen(m_rm, pty.resource().constData(), VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    ViUInt32 baud = 0;
    ViUInt16 bits = 0, parity = 9, stop = 0, flow = 9, endIn = 0, endOut = 9;
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_BAUD, &baud), VI_SUCCESS);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_DATA_BITS, &bits), VI_SUCCESS);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_PARITY, &parity), VI_SUCCESS);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_STOP_BITS, &stop), VI_SUCCESS);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_FLOW_CNTRL, &flow), VI_SUCCESS);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_END_IN, &endIn), VI_SUCCESS);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_END_OUT, &endOut), VI_SUCCESS);
    QCOMPARE(baud, 9600u);
    QCOMPARE(bits, ViUInt16(8));
    QCOMPARE(parity, ViUInt16(VI_ASRL_PAR_NONE));
    QCOMPARE(stop, ViUInt16(VI_ASRL_STOP_ONE));
    QCOMPARE(flow, ViUInt16(VI_ASRL_FLOW_NONE));
    QCOMPARE(endIn, ViUInt16(VI_ASRL_END_TERMCHAR));
    QCOMPARE(endOut, ViUInt16(VI_ASRL_END_NONE));

    // The settings reach the line (a pseudo-terminal keeps its data bits and
    // parity, so those are not checked here).
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_BAUD, 19200), VI_SUCCESS);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_TWO), VI_SUCCESS);
    const int terminal = ::open(pty.path.constData(), O_RDWR | O_NOCTTY);
    termios line{};
    QCOMPARE(::tcgetattr(terminal, &line), 0);
    ::close(terminal);
    QCOMPARE(::cfgetospeed(&line), speed_t(B19200));
    QVERIFY(line.c_cflag & CSTOPB);
    QCOMPARE(line.c_lflag & (ICANON | ECHO), tcflag_t(0));
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_BAUD, 12345), VI_ERROR_NSUP_ATTR_STATE);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_DATA_BITS, 9), VI_ERROR_NSUP_ATTR_STATE);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_PARITY, 5), VI_ERROR_NSUP_ATTR_STATE);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_ONE5),
             VI_ERROR_NSUP_ATTR_STATE);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_DTR_DSR),
             VI_ERROR_NSUP_ATTR_STATE);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_BAUD, &baud), VI_SUCCESS);
    QCOMPARE(baud, 19200u);

    QCOMPARE(writeText(vi, "SYST:REM\r\n"), VI_SUCCESS);
    char received[32] = {};
    QCOMPARE(::read(pty.master, received, sizeof received), ssize_t(10));
    QCOMPARE(QByteArray(received), QByteArray("SYST:REM\r\n"));
    // END out as the termination character, when asked for.
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_END_OUT, VI_ASRL_END_TERMCHAR), VI_SUCCESS);
    ViUInt32 written = 0;
    QCOMPARE(writeText(vi, "*RST", &written), VI_SUCCESS);
    QCOMPARE(written, 4u);
    std::memset(received, 0, sizeof received);
    QCOMPARE(::read(pty.master, received, sizeof received), ssize_t(5));
    QCOMPARE(QByteArray(received), QByteArray("*RST\n"));

    QCOMPARE(::write(pty.master, "+4.2E+00\r\n+1", 12), ssize_t(12));
    QTest::qWait(20);
    ViUInt32 available = 0;
    QCOMPARE(viGetAttribute(vi, VI_ATTR_ASRL_AVAIL_NUM, &available), VI_SUCCESS);
    QCOMPARE(available, 12u);
    ViStatus status;
    QCOMPARE(readSome(vi, 255, &status), QByteArray("+4.2E+00\r\n"));
    QCOMPARE(status, VI_SUCCESS);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    QCOMPARE(readSome(vi, 255, &status), QByteArray("+1"));
    QCOMPARE(status, VI_ERROR_TMO);
    QCOMPARE(viClose(vi), VI_SUCCESS);
}

void TestVisa::attributes()
{
    Peer peer;
    ViSession vi = VI_NULL;
    QCOMPARE(viOpen(m_rm, peer.resource().constData(), VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    // Standard defaults, and each value written in the attribute's own width only.
    unsigned char bytes[16];
    std::memset(bytes, 0xAA, sizeof bytes);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_TERMCHAR, bytes), VI_SUCCESS);
    QCOMPARE(int(bytes[0]), int('\n'));
    QCOMPARE(int(bytes[1]), 0xAA);
    std::memset(bytes, 0xAA, sizeof bytes);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_SEND_END_EN, bytes), VI_SUCCESS);
    ViBoolean flag;
    std::memcpy(&flag, bytes, sizeof flag);
    QCOMPARE(flag, ViBoolean(VI_TRUE));
    QCOMPARE(int(bytes[2]), 0xAA);
    std::memset(bytes, 0xAA, sizeof bytes);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_TMO_VALUE, bytes), VI_SUCCESS);
    ViUInt32 timeout;
    std::memcpy(&timeout, bytes, sizeof timeout);
    QCOMPARE(timeout, 2000u);
    QCOMPARE(int(bytes[4]), 0xAA);

    QCOMPARE(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000), VI_SUCCESS);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_SUPPRESS_END_EN, VI_FALSE), VI_SUCCESS);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_TMO_VALUE, &timeout), VI_SUCCESS);
    QCOMPARE(timeout, 5000u);

    char text[VI_FIND_BUFLEN];
    QCOMPARE(viGetAttribute(vi, VI_ATTR_RSRC_NAME, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), peer.resource());
    QCOMPARE(viGetAttribute(vi, VI_ATTR_RSRC_CLASS, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray("SOCKET"));
    QCOMPARE(viGetAttribute(vi, VI_ATTR_TCPIP_ADDR, text), VI_SUCCESS);
    QCOMPARE(QByteArray(text), QByteArray("127.0.0.1"));
    ViUInt16 value = 0;
    QCOMPARE(viGetAttribute(vi, VI_ATTR_INTF_TYPE, &value), VI_SUCCESS);
    QCOMPARE(value, ViUInt16(VI_INTF_TCPIP));
    QCOMPARE(viGetAttribute(vi, VI_ATTR_TCPIP_PORT, &value), VI_SUCCESS);
    QCOMPARE(value, peer.port());
    ViSession manager = VI_NULL;
    QCOMPARE(viGetAttribute(vi, VI_ATTR_RM_SESSION, &manager), VI_SUCCESS);
    QCOMPARE(manager, m_rm);

    QCOMPARE(viSetAttribute(vi, VI_ATTR_RSRC_NAME, 0), VI_ERROR_ATTR_READONLY);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_TCPIP_PORT, 1), VI_ERROR_ATTR_READONLY);
    QCOMPARE(viSetAttribute(vi, VI_ATTR_ASRL_BAUD, 9600), VI_ERROR_NSUP_ATTR);
    QCOMPARE(viGetAttribute(vi, 0x3FFF0FFF, text), VI_ERROR_NSUP_ATTR);
    QCOMPARE(viGetAttribute(vi, VI_ATTR_TMO_VALUE, nullptr), VI_ERROR_USER_BUF);
    ViVersion version = 0;
    QCOMPARE(viGetAttribute(m_rm, VI_ATTR_RSRC_SPEC_VERSION, &version), VI_SUCCESS);
    QCOMPARE(version, ViVersion(VI_SPEC_VERSION));
}

void TestVisa::closingManagerClosesSessions()
{
    Peer peer;
    ViSession vi = VI_NULL;
    QCOMPARE(viOpen(m_rm, peer.resource().constData(), VI_NULL, VI_NULL, &vi), VI_SUCCESS);
    ViSession other = VI_NULL;
    QCOMPARE(viOpenDefaultRM(&other), VI_SUCCESS);
    QVERIFY(other != m_rm);
    ViSession kept = VI_NULL;
    QCOMPARE(viOpen(other, peer.resource().constData(), VI_NULL, VI_NULL, &kept), VI_SUCCESS);
    QCOMPARE(viClose(m_rm), VI_SUCCESS);
    ViByte byte;
    QCOMPARE(viRead(vi, &byte, 1, nullptr), VI_ERROR_INV_OBJECT);
    QCOMPARE(viClose(vi), VI_ERROR_INV_OBJECT);
    QCOMPARE(viDisableEvent(kept, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH), VI_SUCCESS_EVENT_DIS);
    QCOMPARE(viDiscardEvents(kept, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH), VI_SUCCESS_QUEUE_EMPTY);
    QCOMPARE(viClose(kept), VI_SUCCESS);
    QCOMPARE(viClose(other), VI_SUCCESS);
    QCOMPARE(viOpenDefaultRM(&m_rm), VI_SUCCESS); // for cleanup()
}

QTEST_GUILESS_MAIN(TestVisa)
#include "tst_visa.moc"
