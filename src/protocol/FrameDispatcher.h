// Dispatch of checked frames by type: reading frames update the current
// reading, memory frames carry the meter's stored records during an export.
// What the window shows and logs hangs on the signals, in the order raised.
#pragma once

#include "Reading.h"

#include <QByteArray>
#include <QObject>

namespace varnetta::protocol {

enum class TUnitSlot : uint8_t { Unit, SubUnit1, SubUnit2 };

struct TDispatchCounters
{
    quint64 readingFrames = 0;
    quint64 memoryRecords = 0;
    quint64 exportEnds = 0;
    quint64 otherFrames = 0;
    quint64 shortFrames = 0; // passed the checksum but too short to read
};

class TFrameDispatcher : public QObject
{
    Q_OBJECT
public:
    explicit TFrameDispatcher(QObject* parent = nullptr);

    // The system's decimal separator, set once at start-up.
    void setDecimalSeparator(const QByteArray& separator) { m_decimalSeparator = separator; }
    [[nodiscard]] const QByteArray& decimalSeparator() const { return m_decimalSeparator; }

    // The log pause flag: while set, live reading bodies are ignored.
    void setLogPaused(bool paused) { m_logPaused = paused; }
    [[nodiscard]] bool logPaused() const { return m_logPaused; }

    [[nodiscard]] const TReading& reading() const { return m_reading; }
    [[nodiscard]] const TDispatchCounters& counters() const { return m_counters; }

    void CP21041ReceiveData(const QByteArray& frame);
    void CP21041ReceiveFunData(uint8_t code);
    void CP21041ReceiveMeterData(QByteArrayView body);

    void SetUnit(const QByteArray& text);
    void SetSubUnit1(const QByteArray& text);
    void SetSubUnit2(const QByteArray& text);

Q_SIGNALS:
    // A unit text changed (raised only when it differs from the stored one).
    void unitChanged(varnetta::protocol::TUnitSlot slot, const QByteArray& text);
    // Every frame with a known function code: the LCD symbols of that code.
    void functionSymbols(const varnetta::protocol::TFunInfo& info);
    // The chart's value axis for the function (the chart remembers its own).
    void valueAxisLimits(double maxValue, double minValue);
    // A live reading body was decoded (not raised while the log is paused):
    // display fields, comparator and log row hang on it, in that order.
    void readingDecoded(const varnetta::protocol::TReading& reading);
    // The five status bytes of a reading frame or a memory record.
    void statusReceived(const varnetta::protocol::TStatusBytes& status);
    // A memory record frame: its texts are already in the current reading.
    void memoryRecordReceived(const varnetta::protocol::TReading& reading);
    // After a memory record's status: progress, pause and overlays.
    void memoryRecordDone();
    // The end-of-memory frame of an export.
    void exportEndReceived();
    // Every memory frame, the end frame included, is answered with 0x58;
    // raised last, after the handlers above have returned.
    void exportAcknowledgeDue();
    // Every valid frame, whatever its type: the link activity icon flips.
    void frameHandled();

private:
    void setUnitSlot(QByteArray& stored, TUnitSlot slot, const QByteArray& text);
    void storeBody(QByteArrayView body);

    TReading m_reading;
    QByteArray m_decimalSeparator = ".";
    bool m_logPaused = false;
    TDispatchCounters m_counters;
};

} // namespace varnetta::protocol

Q_DECLARE_METATYPE(varnetta::protocol::TReading)
Q_DECLARE_METATYPE(varnetta::protocol::TStatusBytes)
