// Arbitrary bytes into the tab-separated log reader, and each line of them
// into the item splitter on its own; what was read is saved in both forms
// and read back.
#include "log/LogFiles.h"
#include "log/LogStore.h"

#include <QBuffer>
#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace varnetta::log;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    TLogStore store;
    const bool read = ReadTextLog(input, store);

    // Cut in pieces where the first bytes say, the reader gives the same.
    if (size >= 2) {
        const qint64 a = qint64(size) * data[0] / 255;
        const qint64 b = a + (qint64(size) - a) * data[1] / 255;
        QByteArray copy = input;
        QBuffer in(&copy);
        in.open(QIODevice::ReadOnly);
        TLogStore cut;
        const bool cutRead = ReadTextLogInPieces(in, cut, {a, b}, {}, 1 + data[1] % 64);
        if (cutRead != read || !cut.sameContent(store))
            std::abort(); // a cut changed the rows
    }

    // The header line gives no row; every other line at most one.
    qsizetype lines = 0;
    qsizetype start = 0;
    const auto splitLine = [&](qsizetype end) {
        const QByteArrayView line(input.constData() + start, end - start);
        qsizetype bytes = 0;
        for (const QByteArray& item : SplitTextLogItems(line))
            bytes += item.size();
        if (bytes > line.size())
            std::abort(); // items hold more than the line had
        ++lines;
    };
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (input[i] != '\r' && input[i] != '\n')
            continue;
        splitLine(i);
        start = i + 1;
    }
    splitLine(input.size());
    if (store.rowCount() > lines || store.changeLogSize() != store.rowCount())
        std::abort();

    // Whatever was loaded is saved in either form and reads back: the XML
    // form exactly, the text form as it was written.
    TLogStore fromXml;
    if (!ReadXmlPacket(XmlPacket(store), fromXml) || !fromXml.sameContent(store))
        std::abort();
    const QByteArray text = TextLog(store); // rows read from lines hold no line break
    TLogStore fromText;
    if (!ReadTextLog(text, fromText) || TextLog(fromText) != text)
        std::abort();
    return 0;
}
