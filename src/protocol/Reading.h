// The meter's measuring functions, the current reading and the decoding of
// the 21-byte reading body.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace varnetta::protocol {

enum TFunMode : uint8_t {
    fmNone,
    fmPWRP,
    fmPWRS,
    fmPWRQ,
    fmPF,
    fmRF,
    fmANG,
    fmFRQ,
    fmENRP,
    fmPHSEQ,
    fmVTHDf,
    fmVTHDr,
    fmVHARM,
    fmITHDf,
    fmITHDr,
    fmIHARM,
    fmExportEnd,
};
inline constexpr int kFunModeCount = fmExportEnd + 1;

// The function text of a log row: the name without "fm" ("PWRP", "None").
[[nodiscard]] QByteArray FunModeText(TFunMode mode);

using TStatusBytes = std::array<uint8_t, 5>;

// The main window's current measurement; texts are 8-bit, as the meter shows
// them, with the decimal point replaced by the system's separator.
struct TReading
{
    TFunMode FunMode = fmNone;
    QByteArray Display0;
    QByteArray Value;
    QByteArray Unit;
    QByteArray SubValue1;
    QByteArray SubUnit1;
    QByteArray SubValue2;
    QByteArray SubUnit2;
};

// What one function code means: units, LCD symbols and value-axis limits.
struct TFunInfo
{
    uint8_t code = 0;
    TFunMode mode = fmNone;
    QByteArray unit;
    QByteArray subUnit1;
    QByteArray subUnit2;
    bool subAcShown = false; // lcdAC2 and lcdAC3
    QString cosSin;          // caption of lcdCosSin
    QString timeText;        // text of lcdTime
    bool rstAShown = false;  // lcdRstA
    QString thd;             // caption of lcdTHD
    double axisMax = 0;
    double axisMin = 0;
};

// The entry of a function code, or nullptr for a code not in the table
// (0x66 among them).
[[nodiscard]] const TFunInfo* FindFunInfo(uint8_t code);
// Every entry, in the order of the codes 0x30 ... 0x39, 0x61 ... 0x65.
[[nodiscard]] const std::array<TFunInfo, 15>& FunInfoTable();

struct TBodyTexts
{
    QByteArray Display0;
    QByteArray Value;
    QByteArray SubValue1;
    QByteArray SubValue2;
};

// Splits a 21-byte body into its four texts; "." in the three values becomes
// the decimal separator. A ";" in the body splits its field and shifts the
// later ones, as the meter's own software does.
[[nodiscard]] TBodyTexts DecodeBody(QByteArrayView body, QByteArrayView decimalSeparator);

// The decimal separator of the given locale as 8-bit text (the system's,
// read once at start-up).
[[nodiscard]] QByteArray GetDecimalSeparator(const QLocale& locale = QLocale::system());

// Reads a value text as a number. The text may carry `separator` (the one
// the program put in) or a point; blanks around it are ignored. Returns
// nothing when the text is not a number (an overload, dashes, empty).
[[nodiscard]] std::optional<double> ValueTextToNumber(QByteArrayView text, QByteArrayView separator);

// Text shown on screen for 8-bit meter and log texts: GB18030 where the Qt
// build offers it (so the angle unit 0xA1 0xA3 shows as U+3002), else Latin-1.
[[nodiscard]] QString DisplayText(QByteArrayView bytes);
// The other way: screen text back to the program's 8-bit code page.
[[nodiscard]] QByteArray EightBitText(const QString& text);

} // namespace varnetta::protocol
