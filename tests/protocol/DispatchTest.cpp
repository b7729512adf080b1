// Dispatch of checked frames and the decoding of readings.
#include "FrameBuilders.h"
#include "protocol/FrameDispatcher.h"
#include "protocol/MeterFrame.h"

#include <QLocale>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <random>

#include "support/QtPrinters.h"

using namespace varnetta::protocol;
using namespace varnetta::protocol::testing;

namespace {

// Everything the dispatcher raised, in order, as short tags.
struct Trace
{
    explicit Trace(TFrameDispatcher& d)
    {
        QObject::connect(&d, &TFrameDispatcher::unitChanged, [this](TUnitSlot s, const QByteArray& t) {
            events << QStringLiteral("unit%1:%2").arg(int(s)).arg(QString::fromLatin1(t));
        });
        QObject::connect(&d, &TFrameDispatcher::functionSymbols,
                         [this](const TFunInfo& i) { events << QStringLiteral("symbols:%1").arg(i.code, 0, 16); });
        QObject::connect(&d, &TFrameDispatcher::valueAxisLimits, [this](double mx, double mn) {
            events << QStringLiteral("axis:%1:%2").arg(mx).arg(mn);
        });
        QObject::connect(&d, &TFrameDispatcher::readingDecoded, [this](const TReading& r) {
            events << QStringLiteral("reading:") + QString::fromLatin1(r.Value);
        });
        QObject::connect(&d, &TFrameDispatcher::statusReceived,
                         [this](const TStatusBytes& s) { events << QStringLiteral("status:%1").arg(s[0]); });
        QObject::connect(&d, &TFrameDispatcher::memoryRecordReceived, [this](const TReading& r) {
            events << QStringLiteral("record:") + QString::fromLatin1(r.Value);
        });
        QObject::connect(&d, &TFrameDispatcher::memoryRecordDone, [this] { events << QStringLiteral("recordDone"); });
        QObject::connect(&d, &TFrameDispatcher::exportEndReceived, [this] { events << QStringLiteral("end"); });
        QObject::connect(&d, &TFrameDispatcher::exportAcknowledgeDue, [this] { events << QStringLiteral("ack"); });
        QObject::connect(&d, &TFrameDispatcher::frameHandled, [this] { events << QStringLiteral("flip"); });
    }
    QStringList events;
};

const QByteArray kBody = "  1 0.123 230.1  2.34";

} // namespace

TEST(DispatchReadingFrame, RaisesFunctionThenBodyThenStatusThenFlip)
{
    TFrameDispatcher d;
    Trace t(d);
    d.CP21041ReceiveData(ReadingFrame(0x30, kBody, QByteArray("\x07\0\0\0\0", 5)));
    EXPECT_EQ(t.events, (QStringList{"unit0:KW", "unit1:V", "unit2:A", "symbols:30", "axis:1000:-1000",
                                     "reading: 0.123", "status:7", "flip"}));
    EXPECT_EQ(d.reading().FunMode, fmPWRP);
    EXPECT_EQ(d.reading().Display0, QByteArray("  1"));
    EXPECT_EQ(d.reading().SubValue1, QByteArray(" 230.1"));
    EXPECT_EQ(d.reading().SubValue2, QByteArray("  2.34"));
}

TEST(DispatchReadingFrame, UnitsAreRaisedOnlyWhenTheyChange)
{
    TFrameDispatcher d;
    d.CP21041ReceiveData(ReadingFrame(0x30, kBody));
    Trace t(d);
    d.CP21041ReceiveData(ReadingFrame(0x31, kBody));
    EXPECT_EQ(t.events.filter(QStringLiteral("unit")), (QStringList{"unit0:KVA"}));
}

TEST(DispatchReadingFrame, EnergyFunctionSetsTimeTextAndItsAxis)
{
    TFrameDispatcher d;
    QSignalSpy symbols(&d, &TFrameDispatcher::functionSymbols);
    QSignalSpy axis(&d, &TFrameDispatcher::valueAxisLimits);
    d.CP21041ReceiveData(ReadingFrame(0x37, kBody));
    ASSERT_EQ(symbols.size(), 1);
    EXPECT_EQ(symbols[0][0].value<TFunInfo>().timeText, QStringLiteral("m:s"));
    EXPECT_EQ(d.reading().SubUnit2, QByteArray());
    EXPECT_EQ(axis[0][0].toDouble(), 10000);
    EXPECT_EQ(axis[0][1].toDouble(), -100);
}

TEST(DispatchReadingFrame, ExportEndCodeInAReadingFrameChangesNoFunction)
{
    TFrameDispatcher d;
    d.CP21041ReceiveData(ReadingFrame(0x36, kBody));
    Trace t(d);
    d.CP21041ReceiveData(ReadingFrame(kExportEndCode, kBody));
    EXPECT_EQ(t.events, (QStringList{"reading: 0.123", "status:0", "flip"}));
    EXPECT_EQ(d.reading().FunMode, fmFRQ);
    EXPECT_EQ(d.reading().Unit, QByteArray("Hz"));
}

TEST(DispatchReadingFrame, WhilePausedOnlyFunctionAndStatusAreHandled)
{
    TFrameDispatcher d;
    d.CP21041ReceiveData(ReadingFrame(0x30, kBody));
    d.setLogPaused(true);
    Trace t(d);
    d.CP21041ReceiveData(ReadingFrame(0x63, "  3 9.999 888.8  7.77"));
    EXPECT_FALSE(t.events.join(',').contains(QStringLiteral("reading")));
    EXPECT_TRUE(t.events.contains(QStringLiteral("status:0")));
    EXPECT_EQ(d.reading().FunMode, fmITHDf);
    EXPECT_EQ(d.reading().Value, QByteArray(" 0.123"));
}

TEST(DispatchReadingFrame, ShortFrameWithRightChecksumIsIgnored)
{
    TFrameDispatcher d;
    Trace t(d);
    QByteArray head = QByteArray::fromHex("abcd20") + "L0" + "12.3";
    d.CP21041ReceiveData(WithChecksum(head) + "\r\n");
    EXPECT_EQ(t.events, (QStringList{"flip"}));
    EXPECT_EQ(d.counters().shortFrames, 1u);
}

TEST(DispatchMemoryFrame, RecordIsStoredWhateverThePauseAndAcknowledgedLast)
{
    TFrameDispatcher d;
    d.setLogPaused(true);
    Trace t(d);
    d.CP21041ReceiveData(MemoryFrame(0x31, "  2 0.456 231.0  1.98", QByteArray("\x02\0\0\0\0", 5)));
    EXPECT_EQ(t.events, (QStringList{"unit0:KVA", "unit1:V", "unit2:A", "symbols:31", "axis:1000:-1000",
                                     "record: 0.456", "status:2", "recordDone", "ack", "flip"}));
    EXPECT_EQ(d.reading().FunMode, fmPWRS);
}

TEST(DispatchMemoryFrame, EndOfMemoryFrameEndsTheExportAndIsAcknowledged)
{
    TFrameDispatcher d;
    Trace t(d);
    d.CP21041ReceiveData(ExportEndFrame());
    EXPECT_EQ(t.events, (QStringList{"end", "ack", "flip"}));
}

TEST(DispatchOtherFrames, UnknownTypeOnlyFlipsTheActivityIcon)
{
    TFrameDispatcher d;
    Trace t(d);
    d.CP21041ReceiveData(MeterFrameBytes(0x51, 0x30, kBody));
    EXPECT_EQ(t.events, (QStringList{"flip"}));
    EXPECT_EQ(d.reading().FunMode, fmNone);
}

struct FunctionRow
{
    uint8_t code;
    TFunMode mode;
    const char* text;
    QByteArray unit, sub1, sub2;
    bool subAc;
    bool rstA;
    const char* thd;
    double axisMax, axisMin;
};

class FunctionCodeTable : public ::testing::TestWithParam<FunctionRow>
{};

TEST_P(FunctionCodeTable, CodeSetsModeUnitsSymbolsAndAxis)
{
    const FunctionRow& row = GetParam();
    TFrameDispatcher d;
    QSignalSpy symbols(&d, &TFrameDispatcher::functionSymbols);
    d.CP21041ReceiveData(ReadingFrame(row.code, kBody));
    EXPECT_EQ(d.reading().FunMode, row.mode);
    EXPECT_EQ(FunModeText(d.reading().FunMode), QByteArray(row.text));
    EXPECT_EQ(d.reading().Unit, row.unit);
    EXPECT_EQ(d.reading().SubUnit1, row.sub1);
    EXPECT_EQ(d.reading().SubUnit2, row.sub2);
    ASSERT_EQ(symbols.size(), 1);
    const auto info = symbols[0][0].value<TFunInfo>();
    EXPECT_EQ(info.subAcShown, row.subAc);
    EXPECT_EQ(info.rstAShown, row.rstA);
    EXPECT_EQ(info.thd, QString::fromLatin1(row.thd));
    EXPECT_EQ(info.axisMax, row.axisMax);
    EXPECT_EQ(info.axisMin, row.axisMin);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFunction, FunctionCodeTable,
    ::testing::Values(FunctionRow{0x30, fmPWRP, "PWRP", "KW", "V", "A", true, false, "", 1000, -1000},
                      FunctionRow{0x31, fmPWRS, "PWRS", "KVA", "V", "A", true, false, "", 1000, -1000},
                      FunctionRow{0x32, fmPWRQ, "PWRQ", "KVAr", "V", "A", true, false, "", 1000, -1000},
                      FunctionRow{0x33, fmPF, "PF", "", "V", "A", true, false, "", 1000, -1000},
                      FunctionRow{0x34, fmRF, "RF", "", "V", "A", true, false, "", 1000, -1000},
                      FunctionRow{0x35, fmANG, "ANG", "\xA1\xA3", "V", "A", true, false, "", 1000, -1000},
                      FunctionRow{0x36, fmFRQ, "FRQ", "Hz", "V", "A", true, false, "", 1000, -1000},
                      FunctionRow{0x37, fmENRP, "ENRP", "KWh", "KW", "", true, false, "", 10000, -100},
                      FunctionRow{0x38, fmPHSEQ, "PHSEQ", "V", "V", "V", true, true, "", 600, -100},
                      FunctionRow{0x39, fmVTHDf, "VTHDf", "V", "", "%f", false, false, "THD", 600, -100},
                      FunctionRow{0x61, fmVTHDr, "VTHDr", "V", "", "%r", false, false, "THD", 600, -100},
                      FunctionRow{0x62, fmVHARM, "VHARM", "V", "", "%f", false, false, "", 600, -100},
                      FunctionRow{0x63, fmITHDf, "ITHDf", "A", "", "%f", false, false, "THD", 1000, -100},
                      FunctionRow{0x64, fmITHDr, "ITHDr", "A", "", "%r", false, false, "THD", 1000, -100},
                      FunctionRow{0x65, fmIHARM, "IHARM", "A", "", "%f", false, false, "", 1000, -100}));

TEST(FunctionSymbols, CosAndSinCaptionsEndInTheCyrillicEf)
{
    EXPECT_EQ(FindFunInfo(0x33)->cosSin, QString::fromUtf8("COS\xD0\xA4"));
    EXPECT_EQ(FindFunInfo(0x34)->cosSin, QString::fromUtf8("SIN\xD0\xA4"));
    EXPECT_EQ(FindFunInfo(0x66), nullptr);
    EXPECT_EQ(FunModeText(fmExportEnd), QByteArray("ExportEnd"));
    EXPECT_EQ(FunModeText(fmNone), QByteArray("None"));
}

TEST(BodyDecoding, PointBecomesTheSeparatorInTheValuesOnly)
{
    const TBodyTexts t = DecodeBody(" .1 12.34 230.1  2.34", ",");
    EXPECT_EQ(t.Display0, QByteArray(" .1"));
    EXPECT_EQ(t.Value, QByteArray(" 12,34"));
    EXPECT_EQ(t.SubValue1, QByteArray(" 230,1"));
    EXPECT_EQ(t.SubValue2, QByteArray("  2,34"));
}

TEST(BodyDecoding, SemicolonSplitsItsFieldAndShiftsTheRest)
{
    const TBodyTexts t = DecodeBody("  1 12;34 230.1  2.34", ".");
    EXPECT_EQ(t.Display0, QByteArray("  1"));
    EXPECT_EQ(t.Value, QByteArray(" 12"));
    EXPECT_EQ(t.SubValue1, QByteArray("34"));
    EXPECT_EQ(t.SubValue2, QByteArray(" 230.1"));
}

TEST(BodyDecoding, ShortBodyIsNeverReadPastItsEnd)
{
    const TBodyTexts t = DecodeBody("  1 12", ".");
    EXPECT_EQ(t.Display0, QByteArray("  1"));
    EXPECT_EQ(t.Value, QByteArray(" 12"));
    EXPECT_TRUE(t.SubValue1.isEmpty());
    EXPECT_TRUE(t.SubValue2.isEmpty());
}

TEST(BodyDecoding, CommaSeparatorReachesTheReading)
{
    TFrameDispatcher d;
    d.setDecimalSeparator(",");
    d.CP21041ReceiveData(ReadingFrame(0x30, "  1 12.34 230.1  2.34"));
    EXPECT_EQ(d.reading().Value, QByteArray(" 12,34"));
}

TEST(ValueTexts, ReadBackWithTheSeparatorTheyCarry)
{
    EXPECT_EQ(ValueTextToNumber(" 12,34", ","), 12.34);
    EXPECT_EQ(ValueTextToNumber(" 12.34", "."), 12.34);
    EXPECT_EQ(ValueTextToNumber("-0.5  ", ","), -0.5);
    EXPECT_EQ(ValueTextToNumber("- 1,5", ","), -1.5);
    EXPECT_EQ(ValueTextToNumber("230", ","), 230.0);
}

TEST(ValueTexts, OverloadsAndEmptyTextsAreNoNumber)
{
    EXPECT_FALSE(ValueTextToNumber(" OL   ", "."));
    EXPECT_FALSE(ValueTextToNumber("      ", "."));
    EXPECT_FALSE(ValueTextToNumber("----", "."));
    EXPECT_FALSE(ValueTextToNumber("1,2,3", ","));
}

// The reading skips allocations for plain decimals; every text must read
// as the general reading (trim, one separator, blanks out, toDouble) does.
TEST(ValueTexts, ReadAsTheGeneralReadingOnRandomTexts)
{
    const auto general = [](QByteArrayView text, QByteArrayView separator) -> std::optional<double> {
        QByteArray s = QByteArray(text.data(), text.size()).trimmed();
        if (s.isEmpty())
            return std::nullopt;
        if (!separator.isEmpty() && separator != QByteArrayView(".")) {
            const QByteArray sep(separator.data(), separator.size());
            if (s.count(sep) > 1)
                return std::nullopt;
            s.replace(sep, QByteArray("."));
        }
        s.replace(' ', QByteArray());
        bool ok = false;
        const double v = s.toDouble(&ok);
        return ok ? std::optional<double>(v) : std::nullopt;
    };
    const QByteArray alphabet = "0123456789012345678901234567890123456789-.,  \te+OL";
    const QList<QByteArray> separators = {".", ",", "", "\xD9\xAB", "e"};
    std::mt19937 random(20261210);
    for (int n = 0; n < 200000; ++n) {
        QByteArray text;
        const int length = int(random() % 14);
        for (int i = 0; i < length; ++i)
            text += alphabet[qsizetype(random() % alphabet.size())];
        if (n % 5 == 0)
            text = QByteArray::number(double(int32_t(random())) / 1000.0, 'f', int(random() % 6));
        const QByteArray& separator = separators[qsizetype(n % separators.size())];
        if (n % 7 == 0 && separator.size() > 1)
            text.replace('.', separator);
        const std::optional<double> expected = general(text, separator);
        const std::optional<double> got = ValueTextToNumber(text, separator);
        ASSERT_EQ(got.has_value(), expected.has_value()) << '"' << text.toStdString() << "\" with "
                                                         << separator.toStdString();
        if (got)
            ASSERT_EQ(*got, *expected) << text.toStdString();
    }
}

TEST(DecimalSeparator, ComesFromTheLocaleGiven)
{
    EXPECT_EQ(GetDecimalSeparator(QLocale(QLocale::German)), QByteArray(","));
    EXPECT_EQ(GetDecimalSeparator(QLocale(QLocale::English)), QByteArray("."));
}

TEST(EightBitTexts, AngleUnitShowsAsTheSmallCircle)
{
    EXPECT_EQ(DisplayText("\xA1\xA3"), QString(QChar(0x3002)));
    EXPECT_EQ(EightBitText(QString(QChar(0x3002))), QByteArray("\xA1\xA3"));
    EXPECT_EQ(DisplayText("KVAr"), QStringLiteral("KVAr"));
}
