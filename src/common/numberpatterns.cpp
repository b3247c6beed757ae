#include "common/patterns.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

struct NumberPattern
{
    int requiredDecimals = 0; // "0" after the point
    int decimals = 0;         // "0" and "#" after the point
};

NumberPattern parsePattern(const QString &pattern)
{
    NumberPattern parsed;
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    if (point < 0)
        return parsed;
    for (qsizetype i = point + 1; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('0')) {
            ++parsed.decimals;
            parsed.requiredDecimals = parsed.decimals;
        } else if (c == QLatin1Char('#')) {
            ++parsed.decimals;
        }
    }
    return parsed;
}

// All digits of |value| with no rounding at all: a double is a binary fraction,
// so its decimal expansion ends after as many fraction digits as the weight of
// its last mantissa bit needs (at most 1074). Deciding a half on this text is
// therefore exact, where multiplying by a power of ten would round first.
std::string exactDecimal(double magnitude)
{
    int exponent = 0;
    std::frexp(magnitude, &exponent);
    const int fractionDigits = std::clamp(std::numeric_limits<double>::digits - exponent, 0, 1074);
    const int size = std::snprintf(nullptr, 0, "%.*f", fractionDigits, magnitude);
    std::string text(std::size_t(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", fractionDigits, magnitude);
    text.resize(std::size_t(size));
    return text;
}

} // namespace

QString formatNumber(double value, const QString &pattern)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Inf") : QStringLiteral("Inf");

    const NumberPattern parsed = parsePattern(pattern);
    const std::string exact = exactDecimal(std::fabs(value));
    const std::size_t point = exact.find('.');
    const std::string integerPart = exact.substr(0, point);
    const std::string fractionPart = point == std::string::npos ? std::string() : exact.substr(point + 1);

    // Keep the integer digits and the allowed decimals; a first dropped digit of
    // 5 or more rounds the magnitude up, which is halves away from zero.
    std::string digits = integerPart + fractionPart.substr(0, std::size_t(parsed.decimals));
    digits.append(std::size_t(parsed.decimals) - std::min(fractionPart.size(), std::size_t(parsed.decimals)), '0');
    const std::size_t firstDropped = std::size_t(parsed.decimals);
    if (firstDropped < fractionPart.size() && fractionPart[firstDropped] >= '5') {
        std::size_t i = digits.size();
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
            if (i == 0)
                digits.insert(digits.begin(), '1');
        }
    }

    const std::size_t integerDigits = digits.size() - std::size_t(parsed.decimals);
    std::string integerText = digits.substr(0, integerDigits);
    std::string decimalText = digits.substr(integerDigits);
    const std::size_t leadingZeros = integerText.find_first_not_of('0');
    integerText = leadingZeros == std::string::npos ? std::string("0") : integerText.substr(leadingZeros);
    while (decimalText.size() > std::size_t(parsed.requiredDecimals) && decimalText.back() == '0')
        decimalText.pop_back();

    // A negative value keeps its sign even where it rounds to zero ("-0.0"),
    // so that a limit just below zero does not read as zero itself.
    std::string result;
    if (value < 0)
        result += '-';
    result += integerText;
    if (!decimalText.empty())
        result += '.' + decimalText;
    return QString::fromLatin1(result.data(), qsizetype(result.size()));
}
