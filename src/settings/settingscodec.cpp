#include "settings/settingscodec.h"

#include <QDir>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

// ---- writing ---------------------------------------------------------------

// Blank-number-blank, with the minus sign taking the leading blank's place.
QByteArray numberField(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    if (bytes.startsWith('-'))
        return bytes + ' ';
    return ' ' + bytes + ' ';
}

// A box text goes out bare. A line end inside it would shift every later value
// onto the wrong line, so the text stops there; only its leading number is ever
// read back anyway.
QByteArray boxField(const QString &text)
{
    qsizetype end = text.size();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\r') || text.at(i) == QLatin1Char('\n')) {
            end = i;
            break;
        }
    }
    return text.left(end).toLatin1();
}

// ---- reading ---------------------------------------------------------------

// Lines end at LF; a CR before the LF is dropped and a CR on its own ends a
// line too. Text after the last line end is one more line.
std::vector<QByteArray> splitLines(const QByteArray &content)
{
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < content.size()) {
        const char c = content.at(i);
        if (c == '\n' || c == '\r') {
            lines.push_back(content.mid(start, i - start));
            if (c == '\r' && i + 1 < content.size() && content.at(i + 1) == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < content.size())
        lines.push_back(content.mid(start));
    return lines;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

struct Field
{
    double value = 0;
    bool beyondFloat = false; // too large for a 32-bit float
};

// The leading decimal number of a line: blanks before it, an optional sign,
// digits with an optional fraction, an optional exponent. Whatever follows is
// ignored; a line without a number reads as 0.
Field readField(const QByteArray &line)
{
    const char *const begin = line.constData();
    const char *const end = begin + line.size();
    const char *p = begin;
    while (p != end && (*p == ' ' || *p == '\t'))
        ++p;

    const char *const numberStart = p;
    if (p != end && (*p == '+' || *p == '-'))
        ++p;
    // Decimal magnitude of the mantissa, to tell an overflow from an underflow.
    long long magnitude = 0;
    bool seenNonZero = false;
    bool seenDigit = false;
    while (p != end && isDigit(*p)) {
        seenDigit = true;
        seenNonZero = seenNonZero || *p != '0';
        if (seenNonZero)
            ++magnitude;
        ++p;
    }
    if (p != end && *p == '.') {
        ++p;
        while (p != end && isDigit(*p)) {
            seenDigit = true;
            if (!seenNonZero) {
                if (*p != '0')
                    seenNonZero = true;
                else
                    --magnitude;
            }
            ++p;
        }
    }
    if (!seenDigit)
        return {};
    const char *mantissaEnd = p;
    long long exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E')) {
        const char *q = p + 1;
        bool negative = false;
        if (q != end && (*q == '+' || *q == '-')) {
            negative = *q == '-';
            ++q;
        }
        if (q != end && isDigit(*q)) {
            while (q != end && isDigit(*q)) {
                if (exponent < 100000)
                    exponent = exponent * 10 + (*q - '0');
                ++q;
            }
            if (negative)
                exponent = -exponent;
            mantissaEnd = q;
        }
    }
    if (!seenNonZero)
        return {};

    // from_chars takes no leading "+".
    const char *first = numberStart;
    const bool negative = *first == '-';
    if (*first == '+' || *first == '-')
        ++first;
    Field field;
    const auto result = std::from_chars(first, mantissaEnd, field.value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Far too large for any line's range, or so small that it is 0.
        field.value = 0;
        field.beyondFloat = magnitude + exponent > 0;
        return field;
    }
    if (result.ec != std::errc())
        return {};
    if (negative)
        field.value = -field.value;
    if (std::fabs(field.value) > double(std::numeric_limits<float>::max()))
        field.beyondFloat = true;
    return field;
}

// The one 32-bit float holder that every line is read through, kept from one
// line to the next.
class Holder
{
public:
    explicit Holder(const QByteArray &content) : m_lines(splitLines(content)) {}

    // Reads the next line into the holder (a missing line leaves it as it is),
    // then applies the line's range check.
    float next(float low, float high, float fallback)
    {
        bool outOfRange = false;
        if (m_next < m_lines.size()) {
            const Field field = readField(m_lines[m_next]);
            if (field.beyondFloat)
                outOfRange = true;
            else
                m_value = static_cast<float>(field.value);
        }
        ++m_next;
        if (outOfRange || m_value < low || m_value > high)
            m_value = fallback;
        return m_value;
    }

private:
    std::vector<QByteArray> m_lines;
    size_t m_next = 0;
    float m_value = 0;
};

// Nearest whole number, halves to the even neighbour; the values are already
// within a line's small range.
qint16 wholeNumber(float value)
{
    return static_cast<qint16>(std::nearbyint(value));
}

} // namespace

QByteArray writeSettings(const StoredSettings &settings)
{
    const QByteArray lineEnd("\r\n");
    QByteArray out;
    out += numberField(QString::number(settings.comPort)) + lineEnd;
    out += numberField(QString::number(settings.modeR)) + lineEnd;
    for (const QString &box : settings.boxesR)
        out += boxField(box) + lineEnd;
    out += numberField(QString::number(settings.modeV)) + lineEnd;
    for (const QString &box : settings.boxesV)
        out += boxField(box) + lineEnd;
    out += numberField(singleToText(settings.left)) + lineEnd;
    out += numberField(singleToText(settings.top)) + lineEnd;
    return out;
}

StoredSettings readSettings(const QByteArray &content)
{
    constexpr float kParameterLimit = 99999;
    Holder holder(content);
    StoredSettings settings;
    settings.comPort = wholeNumber(holder.next(1, 30, 1));
    settings.modeR = wholeNumber(holder.next(0, 2, 0));
    settings.boxesR[0] = singleToText(holder.next(0, 9, 0));
    settings.boxesR[1] = singleToText(holder.next(-kParameterLimit, kParameterLimit, 0));
    settings.boxesR[2] = singleToText(holder.next(-kParameterLimit, kParameterLimit, 0));
    settings.modeV = wholeNumber(holder.next(0, 2, 0));
    settings.boxesV[0] = singleToText(holder.next(0, 9, 0));
    settings.boxesV[1] = singleToText(holder.next(-kParameterLimit, kParameterLimit, 0));
    settings.boxesV[2] = singleToText(holder.next(-kParameterLimit, kParameterLimit, 0));
    settings.left = holder.next(0, kMaxLeft, 1000);
    settings.top = holder.next(0, kMaxTop, 500);
    return settings;
}

QString singleToText(float value)
{
    if (!std::isfinite(value) || value == 0)
        return QStringLiteral("0");

    // The fewest significant digits (up to 7) that still give back the same
    // float; 7 digits when none do.
    char buffer[32];
    std::to_chars_result written{};
    for (int precision = 0; precision <= 6; ++precision) {
        written = std::to_chars(buffer, buffer + sizeof buffer, value,
                                std::chars_format::scientific, precision);
        float back = 0;
        std::from_chars(buffer, written.ptr, back);
        if (back == value)
            break;
    }
    const std::string_view scientific(buffer, size_t(written.ptr - buffer));

    // Spell "d.ddde±x" out in plain positional notation.
    const size_t ePos = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, ePos)) {
        if (isDigit(c))
            digits += c;
    }
    int exponent = 0;
    std::from_chars(scientific.data() + ePos + 1 + (scientific[ePos + 1] == '+'),
                    scientific.data() + scientific.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    const int digitCount = int(digits.size());
    std::string text;
    if (value < 0)
        text += '-';
    if (exponent < 0) {
        text += "0.";
        text.append(size_t(-exponent - 1), '0');
        text += digits;
    } else if (exponent + 1 >= digitCount) {
        text += digits;
        text.append(size_t(exponent + 1 - digitCount), '0');
    } else {
        text += digits.substr(0, size_t(exponent + 1));
        text += '.';
        text += digits.substr(size_t(exponent + 1));
    }
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString settingsPath(const QString &programDir)
{
    return QDir(programDir).filePath(QStringLiteral("Settings.ini"));
}
