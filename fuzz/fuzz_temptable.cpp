// Temperature table files: one row per line, at most tempTableItems, line ends
// (LF or CRLF) dropped, a row filled only where the line has two parts, and no
// part ever holds a line end.
#include "temptablefile.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    static QVector<TempTableFileRow> rows;
    readTempTableRows(&buffer, &rows);

    QList<QByteArray> lines = bytes.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    check(rows.size() == qMin(int(lines.size()), tempTableItems));
    for (int i = 0; i < rows.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        const QString text = QString::fromUtf8(line);
        const TempTableFileRow& row = rows.at(i);
        const bool tabbed = text.contains(QLatin1Char('\t'));
        check(row.filled == (tabbed || text.contains(QLatin1Char(' '))));
        if (!row.filled) {
            check(row.voltage.isEmpty() && row.temperature.isEmpty());
            continue;
        }
        // The two parts are the line's start, up to the first separator, and what
        // follows it up to the next one.
        const QChar separator = tabbed ? QLatin1Char('\t') : QLatin1Char(' ');
        check(text.startsWith(row.voltage + separator + row.temperature));
        check(!row.voltage.contains(separator) && !row.temperature.contains(separator));
        check(!row.voltage.contains(QLatin1Char('\n')) && !row.temperature.contains('\n'));
    }
    return 0;
}
