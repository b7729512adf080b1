// The comparator's judgement, apart from its panel: a reading's main value
// against the high and low limits as the user typed them.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace varnetta::log {

// Reads a limit text as a number: the separator the key rule lets in (or a
// point), blanks around it allowed, nothing else. Empty, "-", "1.2.3",
// inner blanks, infinities and NaN read as nothing.
[[nodiscard]] std::optional<double> ReadLimitText(const QString& text, QByteArrayView separator);

struct TLimitVerdict
{
    std::optional<double> value; // the main value, when it is a number
    bool pass = false;
};

// Pass when the value is a finite number with low <= value <= high (a limit
// that is no number counts as 0); an overload or any other text fails.
[[nodiscard]] TLimitVerdict JudgeMainValue(QByteArrayView valueText, const QString& highText, const QString& lowText,
                                           QByteArrayView separator);

// Pass and Fail verdicts since the counts were last cleared.
struct TVerdictCounts
{
    qsizetype pass = 0;
    qsizetype fail = 0;

    void add(bool passed) { ++(passed ? pass : fail); }
    bool operator==(const TVerdictCounts&) const = default;
};

} // namespace varnetta::log
