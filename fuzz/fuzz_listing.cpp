// The record names taken from a server's directory listing: only names that end
// in ".json", name this module and stay inside the listed directory, sorted and
// each once, whatever the listing holds.
#include "calibrationrecord.h"

#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition)
{
    if (!condition)
        std::abort();
}

const QString module = QStringLiteral("0123-4567-89AB-CDEF-0011-2233");
} // namespace

// An input starting with a zero byte names the module in its first line; any
// other input is a listing for the usual name.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString listing = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    QString deviceName = module;
    if (size > 0 && data[0] == 0) {
        const int end = listing.indexOf(QLatin1Char('\n'));
        deviceName = listing.mid(1, end < 0 ? -1 : end - 1);
        listing = end < 0 ? QString() : listing.mid(end + 1);
    }
    const QStringList records = CalibrationRecord::listedRecords(listing, deviceName);
    for (int i = 0; i < records.size(); ++i) {
        const QString& name = records.at(i);
        check(name.endsWith(QLatin1String(".json")) && name.contains(deviceName));
        check(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
              !name.contains(QLatin1String("..")) && !name.contains(QLatin1Char('?')) &&
              !name.contains(QLatin1Char('#')));
        for (QChar c : name)
            check(c.category() != QChar::Other_Control);
        check(i == 0 || records.at(i - 1) < name);
        // A name taken can always be fetched below the listing's own URL.
        const QUrl url = CalibrationRecord::publishedUrl(QStringLiteral("http://127.0.0.1:8080"),
                                                         QStringLiteral("LC4SDM0"), name);
        check(url.isValid() && url.fileName() == name &&
              url.path().startsWith(QLatin1String("/lumicrate4/Calibration/LC4SDM0/")));
    }
    return 0;
}
