#include "LimitJudge.h"

#include "protocol/Reading.h"

#include <cmath>

namespace varnetta::log {

std::optional<double> ReadLimitText(const QString& text, QByteArrayView separator)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char(' ')))
        return std::nullopt;
    const std::optional<double> value = protocol::ValueTextToNumber(protocol::EightBitText(trimmed), separator);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

TLimitVerdict JudgeMainValue(QByteArrayView valueText, const QString& highText, const QString& lowText,
                             QByteArrayView separator)
{
    TLimitVerdict verdict;
    const std::optional<double> value = protocol::ValueTextToNumber(valueText, separator);
    if (!value || !std::isfinite(*value))
        return verdict; // an overload or any other text that is no number must not pass
    verdict.value = value;
    const double high = ReadLimitText(highText, separator).value_or(0.0);
    const double low = ReadLimitText(lowText, separator).value_or(0.0);
    verdict.pass = *value <= high && *value >= low;
    return verdict;
}

} // namespace varnetta::log
