// A unit with one module of every kind takes any byte stream from a host: it
// never crashes, answers a frame only from a module that has the command (or
// the sweep broadcast), always with one whole frame of the request's address
// and command, and answers "*IDN?" with its identification.
#include "simconnection.h"
#include "simcrate.h"
#include "simmodule.h"
#include "simserver.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr quint8 broadcastAddress = 255;

// The answer to one frame keeps the protocol.
void checkAnswer(const SimCrate& crate, const lcFrame& frame,
                 const std::optional<QByteArray>& answer)
{
    SimModule* module = frame.address == broadcastAddress ? nullptr : crate.module(frame.address);
    if (frame.address == broadcastAddress) {
        const bool sweepFrame = frame.command == 4 || frame.command == 5;
        check(answer.has_value() == sweepFrame);
        check(!answer || answer->size() == lcFrameReader::headerSize);
    } else if (!module || !module->hasCommand(frame.command)) {
        check(!answer);
    }
    if (!answer)
        return;
    lcFrameReader reader;
    reader.append(*answer);
    lcFrame reply;
    check(reader.next(reply) && reader.isEmpty());
    check(reply.address == frame.address && reply.command == frame.command);
}

QCoreApplication* application;

// One unit for the whole run: powering up seven modules per input cost 99 % of the
// time. The modules keep what earlier inputs set, as a unit in use does.
struct Unit
{
    Unit() : server(&crate, SimServerConfig())
    {
        crate.addDefaultModules();
        // Never connected: what the connection would send goes nowhere, the
        // answers are checked here instead.
        connection = new SimConnection(new QTcpSocket, 1, &server);
    }
    SimCrate crate;
    SimServer server;
    SimConnection* connection;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Kept for the whole run and never destroyed.
    application = new QCoreApplication(*argc, *argv);
    return 0;
}

// The first byte says where the stream is cut in two, so that frames and text
// also arrive in pieces.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static Unit unit;

    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, int(size) - 1);
    const int cut = qMin(int(data[0]) * 4, bytes.size());
    SimHostStream stream;
    for (const QByteArray& piece : {bytes.left(cut), bytes.mid(cut)}) {
        stream.append(piece);
        lcFrame frame;
        QByteArray text;
        for (;;) {
            const SimHostStream::Item item = stream.next(&frame, &text);
            if (item == SimHostStream::Item::Incomplete)
                break;
            if (item == SimHostStream::Item::Frame) {
                checkAnswer(unit.crate, frame, unit.server.answer(unit.connection, frame));
            } else {
                check(text.startsWith('*'));
                check((item == SimHostStream::Item::IdentityQuery) ==
                      (text.left(5).toUpper() == "*IDN?"));
            }
        }
    }
    // What a module queued for its event loop (a refused sweep's end frame) runs
    // now, as the unit's loop would run it; left queued, it piles up input by input.
    QCoreApplication::sendPostedEvents();
    return 0;
}
