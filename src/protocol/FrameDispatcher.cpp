#include "FrameDispatcher.h"

#include "MeterFrame.h"

namespace varnetta::protocol {

namespace {
// An end-of-memory frame is read only as far as its function code: header,
// length, type, code, two checksum bytes and CR LF.
constexpr qsizetype kMinCodeFrame = 9;
} // namespace

TFrameDispatcher::TFrameDispatcher(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<TReading>();
    qRegisterMetaType<TStatusBytes>();
}

void TFrameDispatcher::CP21041ReceiveData(const QByteArray& frame)
{
    const auto byte = [&](qsizetype i) { return uint8_t(frame[i]); };
    const auto status = [&]() {
        TStatusBytes s{};
        for (qsizetype i = 0; i < kStatusSize; ++i)
            s[size_t(i)] = byte(kStatusOffset + i);
        return s;
    };

    if (frame.size() < kMinCodeFrame) {
        ++m_counters.shortFrames;
    } else if (byte(3) == kFrameTypeReading) {
        if (frame.size() < kFrameSize) {
            ++m_counters.shortFrames;
        } else {
            ++m_counters.readingFrames;
            CP21041ReceiveFunData(byte(4));
            CP21041ReceiveMeterData(QByteArrayView(frame).sliced(kBodyOffset, kBodySize));
            Q_EMIT statusReceived(status());
        }
    } else if (byte(3) == kFrameTypeMemory) {
        const uint8_t code = byte(4);
        if (code == kExportEndCode) {
            ++m_counters.exportEnds;
            Q_EMIT exportEndReceived();
            Q_EMIT exportAcknowledgeDue();
        } else if (frame.size() < kFrameSize) {
            ++m_counters.shortFrames;
        } else {
            ++m_counters.memoryRecords;
            CP21041ReceiveFunData(code);
            storeBody(QByteArrayView(frame).sliced(kBodyOffset, kBodySize));
            Q_EMIT memoryRecordReceived(m_reading);
            Q_EMIT statusReceived(status());
            Q_EMIT memoryRecordDone();
            Q_EMIT exportAcknowledgeDue();
        }
    } else {
        ++m_counters.otherFrames;
    }
    Q_EMIT frameHandled();
}

void TFrameDispatcher::CP21041ReceiveFunData(uint8_t code)
{
    const TFunInfo* info = FindFunInfo(code);
    if (!info)
        return;
    m_reading.FunMode = info->mode;
    SetUnit(info->unit);
    SetSubUnit1(info->subUnit1);
    SetSubUnit2(info->subUnit2);
    Q_EMIT functionSymbols(*info);
    Q_EMIT valueAxisLimits(info->axisMax, info->axisMin);
}

void TFrameDispatcher::CP21041ReceiveMeterData(QByteArrayView body)
{
    if (m_logPaused)
        return;
    storeBody(body);
    Q_EMIT readingDecoded(m_reading);
}

void TFrameDispatcher::storeBody(QByteArrayView body)
{
    TBodyTexts texts = DecodeBody(body, m_decimalSeparator);
    m_reading.Display0 = std::move(texts.Display0);
    m_reading.Value = std::move(texts.Value);
    m_reading.SubValue1 = std::move(texts.SubValue1);
    m_reading.SubValue2 = std::move(texts.SubValue2);
}

void TFrameDispatcher::setUnitSlot(QByteArray& stored, TUnitSlot slot, const QByteArray& text)
{
    if (stored == text)
        return;
    stored = text;
    Q_EMIT unitChanged(slot, text);
}

void TFrameDispatcher::SetUnit(const QByteArray& text)
{
    setUnitSlot(m_reading.Unit, TUnitSlot::Unit, text);
}

void TFrameDispatcher::SetSubUnit1(const QByteArray& text)
{
    setUnitSlot(m_reading.SubUnit1, TUnitSlot::SubUnit1, text);
}

void TFrameDispatcher::SetSubUnit2(const QByteArray& text)
{
    setUnitSlot(m_reading.SubUnit2, TUnitSlot::SubUnit2, text);
}

} // namespace varnetta::protocol
