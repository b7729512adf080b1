// Arbitrary bytes into the XML packet reader. A packet it accepts must come
// back unchanged through the writer and the reader again.
#include "log/LogFiles.h"
#include "log/LogStore.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace varnetta::log;

namespace {

bool sameStore(const TLogStore& a, const TLogStore& b)
{
    if (a.rowCount() != b.rowCount() || a.changeLogSize() != b.changeLogSize())
        return false;
    for (qsizetype r = 0; r < a.rowCount(); ++r)
        if (!(a.row(r) == b.row(r)))
            return false;
    for (qsizetype i = 0; i < a.changeLogSize(); ++i)
        if (!(a.changeLogEntry(i) == b.changeLogEntry(i)))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    TLogStore first;
    if (!ReadXmlPacket(input, first))
        return 0;

    const QByteArray written = XmlPacket(first);
    TLogStore second;
    if (!ReadXmlPacket(written, second))
        std::abort(); // the reader refuses what the writer wrote
    if (!sameStore(first, second))
        std::abort(); // the round trip changed the table
    return 0;
}
