// What the text and the XML form of the log files share: block sizes,
// the progress step, buffered writing and block reading.
#pragma once

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstdint>

namespace varnetta::log::fileio {

inline constexpr qsizetype kFlushBytes = qsizetype(1) << 20;
inline constexpr qsizetype kReadBlock = qsizetype(4) << 20;
inline constexpr qsizetype kProgressRows = qsizetype(1) << 16;

inline bool flush(QIODevice& out, QByteArray& buffer)
{
    if (buffer.isEmpty())
        return true;
    const bool ok = out.write(buffer) == buffer.size();
    buffer.clear();
    return ok;
}

inline bool isBlankOrControl(char c)
{
    return uint8_t(c) <= 32;
}

// Reads the next block; on a file or buffer of known size no more than is
// left, so a small file costs no 4 MB allocation.
inline QByteArray readBlock(QIODevice& in)
{
    qint64 want = kReadBlock;
    if (!in.isSequential())
        want = std::clamp<qint64>(in.size() - in.pos(), 1, kReadBlock);
    return in.read(want);
}

} // namespace varnetta::log::fileio
