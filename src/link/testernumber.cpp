#include "link/testernumber.h"

#include "common/numericvalue.h"

#include <QVarLengthArray>

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::size_t skipDigits(std::string_view text, std::size_t at)
{
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at;
}

} // namespace

bool isOverflowMark(double value)
{
    return std::fabs(value) >= kOverflowFrom;
}

bool isNoReadingMark(double value)
{
    return std::fabs(value) >= kNoReadingFrom;
}

std::optional<double> testerNumber(std::string_view field)
{
    std::string_view text = field;
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);

    // Check the whole text against the number's shape first.
    std::size_t at = 0;
    bool plainForm = true; // a form std::from_chars reads the same way
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        plainForm = text[at] == '-';
        ++at;
    }
    const std::size_t integerEnd = skipDigits(text, at);
    bool anyDigit = integerEnd > at;
    at = integerEnd;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionEnd = skipDigits(text, at + 1);
        anyDigit = anyDigit || fractionEnd > at + 1;
        at = fractionEnd;
    }
    if (!anyDigit)
        return std::nullopt;
    if (at < text.size()) {
        const char letter = text[at];
        if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd')
            return std::nullopt;
        plainForm = plainForm && (letter == 'E' || letter == 'e');
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        const std::size_t exponentEnd = skipDigits(text, at);
        if (exponentEnd == at || exponentEnd != text.size())
            return std::nullopt;
    }

    // Both ways round correctly, so they agree; the program's own rule takes
    // the forms from_chars does not know and values beyond a double.
    double value = 0;
    if (plainForm) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size())
            plainForm = false;
    }
    if (!plainForm)
        value = numericValue(QString::fromLatin1(text.data(), qsizetype(text.size())));
    return value == 0 ? 0.0 : value;
}

std::optional<double> testerNumber(const QString &field)
{
    // A character outside Latin-1 is no part of a number; '?' stands in for it.
    QVarLengthArray<char, 32> latin(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char16_t c = field.at(i).unicode();
        latin[i] = c < 0x80 ? char(c) : '?';
    }
    return testerNumber(std::string_view(latin.constData(), std::size_t(latin.size())));
}

Result<float> judgedValue(double value, Quantity quantity)
{
    return toSingle(quantity == Quantity::Resistance ? value * 1000.0 : value);
}

std::optional<float> readingValueOf(const QString &field, Quantity quantity)
{
    const std::optional<double> value = testerNumber(field);
    if (!value)
        return std::nullopt;
    const Result<float> judged = judgedValue(*value, quantity);
    if (!judged)
        return std::nullopt;
    return *judged;
}

QString testerNotation(double value)
{
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0.0000E+0");
    int exponent = int(std::floor(std::log10(std::fabs(value)) / 3.0)) * 3;
    double mantissa = value / std::pow(10.0, exponent);
    // Five significant digits: 1.2345, 12.345 or 123.45.
    const int decimals = 4 - int(std::floor(std::log10(std::fabs(mantissa))));
    QString text = QString::number(mantissa, 'f', decimals);
    // Rounding may carry into the next group of three (999.996E-3 -> 1000.0E-3).
    if (std::fabs(text.toDouble()) >= 1000.0) {
        exponent += 3;
        mantissa /= 1000.0;
        text = QString::number(mantissa, 'f', 4);
    }
    return text + QLatin1Char('E') + QLatin1Char(exponent < 0 ? '-' : '+') + QString::number(std::abs(exponent));
}
