// Arbitrary bytes into the XML packet reader. A packet it accepts must come
// back unchanged through the writer and the reader again, the writer must
// give plain ASCII, and the table's text form must read back as written.
#include "log/LogFiles.h"
#include "log/LogStore.h"

#include <QBuffer>
#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace varnetta::log;

namespace {

// A table's text form, unless it holds a value the form cannot carry.
bool textForm(const TLogStore& store, QByteArray& text)
{
    QBuffer buffer(&text);
    buffer.open(QIODevice::WriteOnly);
    return WriteTextLog(store, buffer, DefaultTextLogHeader());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    // The quick reader cut in pieces where the first bytes say gives what it
    // gives in one piece.
    if (size >= 2) {
        const qint64 a = qint64(size) * data[0] / 255;
        const qint64 b = a + (qint64(size) - a) * data[1] / 255;
        QByteArray copy = input;
        const auto quick = [&](const std::optional<QList<qint64>>& cuts, TLogStore& out) {
            QBuffer in(&copy);
            in.open(QIODevice::ReadOnly);
            return ReadOwnXmlPacketInPieces(in, out, cuts);
        };
        TLogStore whole;
        TLogStore cut;
        const TXmlQuickRead wholeRead = quick(std::nullopt, whole);
        if (quick(QList<qint64>{a, b}, cut) != wholeRead ||
            (wholeRead == TXmlQuickRead::Read && !cut.sameContent(whole)))
            std::abort(); // a cut changed the verdict or the rows
    }

    TLogStore first;
    if (!ReadXmlPacket(input, first))
        return 0;

    const QByteArray written = XmlPacket(first);
    if (std::any_of(written.begin(), written.end(), [](char c) { return uint8_t(c) >= 0x80; }))
        std::abort(); // a byte other XML parsers would have to guess the encoding of
    TLogStore second;
    if (!ReadXmlPacket(written, second))
        std::abort(); // the reader refuses what the writer wrote
    if (!first.sameContent(second))
        std::abort(); // the round trip changed the table

    QByteArray text;
    if (!textForm(first, text)) {
        if (TextLogLineBreakRows(first, 1).isEmpty())
            std::abort(); // the text writer failed for no reason it can name
        return 0;
    }
    TLogStore fromText;
    QByteArray again;
    if (!ReadTextLog(text, fromText) || !textForm(fromText, again) || again != text)
        std::abort(); // a text save that does not read back as saved
    return 0;
}
