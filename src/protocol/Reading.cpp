#include "Reading.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace varnetta::protocol {

namespace {

const char* const kFunModeTexts[kFunModeCount] = {
    "None",  "PWRP",  "PWRS",  "PWRQ",  "PF",    "RF",    "ANG",   "FRQ",     "ENRP",
    "PHSEQ", "VTHDf", "VTHDr", "VHARM", "ITHDf", "ITHDr", "IHARM", "ExportEnd",
};

const QString kCos = QStringLiteral("COS\u0424");
const QString kSin = QStringLiteral("SIN\u0424");
const QString kThd = QStringLiteral("THD");
const QString kMs = QStringLiteral("m:s");

TFunInfo power(uint8_t code, TFunMode mode, const char* unit, QString cosSin = {})
{
    return {code, mode, unit, "V", "A", true, std::move(cosSin), {}, false, {}, 1000, -1000};
}

TFunInfo harmonic(uint8_t code, TFunMode mode, const char* unit, const char* sub2, bool thd, double axisMax)
{
    return {code, mode, unit, {}, sub2, false, {}, {}, false, thd ? kThd : QString(), axisMax, -100};
}

std::array<TFunInfo, 15> buildTable()
{
    return {{
        power(0x30, fmPWRP, "KW"),
        power(0x31, fmPWRS, "KVA"),
        power(0x32, fmPWRQ, "KVAr"),
        power(0x33, fmPF, "", kCos),
        power(0x34, fmRF, "", kSin),
        power(0x35, fmANG, "\xA1\xA3"),
        power(0x36, fmFRQ, "Hz"),
        {0x37, fmENRP, "KWh", "KW", {}, true, {}, kMs, false, {}, 10000, -100},
        {0x38, fmPHSEQ, "V", "V", "V", true, {}, {}, true, {}, 600, -100},
        harmonic(0x39, fmVTHDf, "V", "%f", true, 600),
        harmonic(0x61, fmVTHDr, "V", "%r", true, 600),
        harmonic(0x62, fmVHARM, "V", "%f", false, 600),
        harmonic(0x63, fmITHDf, "A", "%f", true, 1000),
        harmonic(0x64, fmITHDr, "A", "%r", true, 1000),
        harmonic(0x65, fmIHARM, "A", "%f", false, 1000),
    }};
}

QByteArray replacePoint(QByteArrayView field, QByteArrayView separator)
{
    QByteArray out(field.data(), field.size());
    if (separator == QByteArrayView(".") || !field.contains('.'))
        return out;
    if (separator.size() == 1) {
        // The usual separator, one byte: swapped in place.
        std::replace(out.begin(), out.end(), '.', separator.front());
        return out;
    }
    out.replace('.', QByteArray(separator.data(), separator.size()));
    return out;
}

} // namespace

QByteArray FunModeText(TFunMode mode)
{
    if (mode >= kFunModeCount)
        return {};
    return QByteArray(kFunModeTexts[mode]);
}

const std::array<TFunInfo, 15>& FunInfoTable()
{
    static const std::array<TFunInfo, 15> table = buildTable();
    return table;
}

const TFunInfo* FindFunInfo(uint8_t code)
{
    for (const TFunInfo& info : FunInfoTable()) {
        if (info.code == code)
            return &info;
    }
    return nullptr;
}

TBodyTexts DecodeBody(QByteArrayView body, QByteArrayView decimalSeparator)
{
    // Pad a short body with nothing: callers pass 21 bytes, but never read
    // past what is there.
    auto field = [&](qsizetype offset, qsizetype width) {
        if (offset >= body.size())
            return QByteArrayView();
        return body.sliced(offset, std::min(width, body.size() - offset));
    };
    if (!body.contains(';')) {
        // The usual case: four fixed-width fields, nothing to re-split.
        return {QByteArray(field(0, 3).data(), field(0, 3).size()), replacePoint(field(3, 6), decimalSeparator),
                replacePoint(field(9, 6), decimalSeparator), replacePoint(field(15, 6), decimalSeparator)};
    }
    QByteArray joined;
    joined.reserve(body.size() + 8);
    joined += field(0, 3);
    joined += ';';
    joined += replacePoint(field(3, 6), decimalSeparator);
    joined += ';';
    joined += replacePoint(field(9, 6), decimalSeparator);
    joined += ';';
    joined += replacePoint(field(15, 6), decimalSeparator);
    joined += ';';

    const QList<QByteArray> pieces = joined.split(';');
    TBodyTexts texts;
    texts.Display0 = pieces.value(0);
    texts.Value = pieces.value(1);
    texts.SubValue1 = pieces.value(2);
    texts.SubValue2 = pieces.value(3);
    return texts;
}

QByteArray GetDecimalSeparator(const QLocale& locale)
{
    return EightBitText(locale.decimalPoint());
}

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class TQuickRead
{
    Number,
    NoNumber,
    Undecided, // the general reading below decides
};

// The meter's usual texts ("-0,123", " 230.1", "- 1,5") read without any
// allocation: a charted page or the statistics read millions of them. Only
// a plain decimal is read here, with the result the general reading gives;
// anything else (exponents, a plus sign, "inf", tabs inside) is left to it.
TQuickRead quickNumber(QByteArrayView text, QByteArrayView separator, double& value)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isAsciiSpace(text[from]))
        ++from;
    while (to > from && isAsciiSpace(text[to - 1]))
        --to;
    if (from == to)
        return TQuickRead::NoNumber;
    const bool ownSeparator = !separator.isEmpty() && separator != QByteArrayView(".");
    if (ownSeparator)
        for (const char c : separator)
            if (isAsciiSpace(c) || (c >= '0' && c <= '9') || c == '-' || c == '.')
                return TQuickRead::Undecided;

    char buffer[64];
    int length = 0;
    int separators = 0;
    for (qsizetype i = from; i < to;) {
        if (length >= int(sizeof buffer))
            return TQuickRead::Undecided;
        if (ownSeparator && text.sliced(i).startsWith(separator)) {
            if (++separators > 1)
                return TQuickRead::NoNumber; // as the general reading: two of them are no number
            buffer[length++] = '.';
            i += separator.size();
            continue;
        }
        const char c = text[i++];
        if (c == ' ')
            continue;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.')
            buffer[length++] = c;
        else
            return TQuickRead::Undecided;
    }
    // -?digits(.digits)?, nothing else.
    int i = buffer[0] == '-' ? 1 : 0;
    const int intStart = i;
    while (i < length && buffer[i] >= '0' && buffer[i] <= '9')
        ++i;
    if (i == intStart)
        return TQuickRead::Undecided;
    if (i < length && buffer[i] == '.') {
        const int fracStart = ++i;
        while (i < length && buffer[i] >= '0' && buffer[i] <= '9')
            ++i;
        if (i == fracStart)
            return TQuickRead::Undecided;
    }
    if (i != length)
        return TQuickRead::Undecided;
    const auto [end, error] = std::from_chars(buffer, buffer + length, value);
    return error == std::errc() && end == buffer + length ? TQuickRead::Number : TQuickRead::Undecided;
}

} // namespace

std::optional<double> ValueTextToNumber(QByteArrayView text, QByteArrayView separator)
{
    double quick = 0;
    switch (quickNumber(text, separator, quick)) {
    case TQuickRead::Number:
        return quick;
    case TQuickRead::NoNumber:
        return std::nullopt;
    case TQuickRead::Undecided:
        break;
    }
    QByteArray s = QByteArray(text.data(), text.size()).trimmed();
    if (s.isEmpty())
        return std::nullopt;
    if (!separator.isEmpty() && separator != QByteArrayView(".")) {
        // Only the separator the program put in counts; a text with two of
        // them is no number.
        if (s.count(QByteArray(separator.data(), separator.size())) > 1)
            return std::nullopt;
        s.replace(QByteArray(separator.data(), separator.size()), QByteArray("."));
    }
    // Meter texts may hold blanks between sign and digits ("- 1.23").
    s.replace(' ', QByteArray());
    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

QString DisplayText(QByteArrayView bytes)
{
    static const bool haveGb18030 = QStringDecoder("GB18030").isValid();
    if (haveGb18030) {
        QStringDecoder decoder("GB18030");
        return decoder.decode(bytes);
    }
    return QString::fromLatin1(bytes);
}

QByteArray EightBitText(const QString& text)
{
    static const bool haveGb18030 = QStringEncoder("GB18030").isValid();
    if (haveGb18030) {
        QStringEncoder encoder("GB18030");
        return encoder.encode(text);
    }
    return text.toLatin1();
}

} // namespace varnetta::protocol
