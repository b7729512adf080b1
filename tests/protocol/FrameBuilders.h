// Meter frames as the meter sends them, for tests.
#pragma once

#include "protocol/MeterFrame.h"

#include <QByteArray>

namespace varnetta::protocol::testing {

// A 35-byte frame: type, function code, 21-byte body (padded with blanks),
// five status bytes, the right checksum and CR LF.
inline QByteArray MeterFrameBytes(uint8_t type, uint8_t code, QByteArray body,
                                  QByteArray status = QByteArray(5, '\0'))
{
    body = body.leftJustified(kBodySize, ' ', true);
    status = status.leftJustified(kStatusSize, '\0', true);
    QByteArray head;
    head.append(char(kHeader0)).append(char(kHeader1)).append(char(0x20)).append(char(type)).append(char(code));
    head += body;
    head += status;
    return WithChecksum(head) + "\r\n";
}

inline QByteArray ReadingFrame(uint8_t code, const QByteArray& body, const QByteArray& status = QByteArray(5, '\0'))
{
    return MeterFrameBytes(kFrameTypeReading, code, body, status);
}

inline QByteArray MemoryFrame(uint8_t code, const QByteArray& body, const QByteArray& status = QByteArray(5, '\0'))
{
    return MeterFrameBytes(kFrameTypeMemory, code, body, status);
}

// The end-of-memory frame is read only as far as its function code.
inline QByteArray ExportEndFrame()
{
    QByteArray head;
    head.append(char(kHeader0)).append(char(kHeader1)).append(char(0x04)).append(char(kFrameTypeMemory));
    head.append(char(kExportEndCode));
    return WithChecksum(head) + "\r\n";
}

} // namespace varnetta::protocol::testing
