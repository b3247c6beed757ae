#include "common/numericvalue.h"

#include <QByteArray>
#include <QCoreApplication>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace {
struct ErrorTexts
{
    Q_DECLARE_TR_FUNCTIONS(Errors)
};

// Blanks, tabs and line feeds may stand anywhere inside a number.
bool isSkipped(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

// Walks the text, stepping over skipped characters on every read.
class Cursor
{
public:
    explicit Cursor(const QString &text) : m_text(text) { skip(); }

    QChar peek() const { return m_pos < m_text.size() ? m_text.at(m_pos) : QChar(); }
    void advance()
    {
        ++m_pos;
        skip();
    }

private:
    void skip()
    {
        while (m_pos < m_text.size() && isSkipped(m_text.at(m_pos)))
            ++m_pos;
    }

    const QString &m_text;
    qsizetype m_pos = 0;
};

int digitValue(QChar c, int radix)
{
    int d = -1;
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        d = u - u'0';
    else if (u >= u'a' && u <= u'f')
        d = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        d = u - u'A' + 10;
    return d < radix ? d : -1;
}

double readRadixInteger(Cursor &cur, int radix)
{
    double value = 0;
    for (int d = digitValue(cur.peek(), radix); d >= 0; d = digitValue(cur.peek(), radix)) {
        value = value * radix + d;
        cur.advance();
    }
    return value;
}

void appendDigits(Cursor &cur, QByteArray &out)
{
    while (digitValue(cur.peek(), 10) >= 0) {
        out.append(char(cur.peek().unicode()));
        cur.advance();
    }
}

// strtod under the "C" locale: the process locale (which may use "," as the
// decimal point) must not change how a reading is understood.
double parseCleanDecimal(const QByteArray &number)
{
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    return strtod_l(number.constData(), nullptr, cLocale);
}

// An exponent this long only says "far beyond any double"; keeping six digits
// keeps the meaning and spares strtod an unbounded string.
constexpr qsizetype kMaxExponentDigits = 6;

} // namespace

double numericValue(const QString &text)
{
    Cursor cur(text);

    if (cur.peek() == QLatin1Char('&')) {
        cur.advance();
        const QChar kind = cur.peek().toUpper();
        int radix = 0;
        if (kind == QLatin1Char('H'))
            radix = 16;
        else if (kind == QLatin1Char('O'))
            radix = 8;
        if (radix == 0)
            return 0;
        cur.advance();
        return readRadixInteger(cur, radix);
    }

    QByteArray number;
    if (cur.peek() == QLatin1Char('+') || cur.peek() == QLatin1Char('-')) {
        number.append(char(cur.peek().unicode()));
        cur.advance();
    }

    QByteArray integerDigits;
    appendDigits(cur, integerDigits);
    QByteArray fractionDigits;
    if (cur.peek() == QLatin1Char('.')) {
        cur.advance();
        appendDigits(cur, fractionDigits);
    }
    if (integerDigits.isEmpty() && fractionDigits.isEmpty())
        return 0;

    number.append(integerDigits.isEmpty() ? QByteArray("0") : integerDigits);
    if (!fractionDigits.isEmpty())
        number.append('.').append(fractionDigits);

    const QChar letter = cur.peek().toUpper();
    if (letter == QLatin1Char('E') || letter == QLatin1Char('D')) {
        cur.advance();
        QByteArray exponentSign;
        if (cur.peek() == QLatin1Char('+') || cur.peek() == QLatin1Char('-')) {
            exponentSign.append(char(cur.peek().unicode()));
            cur.advance();
        }
        QByteArray exponentDigits;
        appendDigits(cur, exponentDigits);
        // A letter without digits after it is not part of the number.
        if (!exponentDigits.isEmpty()) {
            while (exponentDigits.size() > 1 && exponentDigits.startsWith('0'))
                exponentDigits.remove(0, 1);
            if (exponentDigits.size() > kMaxExponentDigits)
                exponentDigits = QByteArray(kMaxExponentDigits, '9');
            number.append('e').append(exponentSign).append(exponentDigits);
        }
    }

    const double value = parseCleanDecimal(number);
    // "-0" reads as plain 0, so it never shows a sign later.
    return value == 0 ? 0.0 : value;
}

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    if (std::fabs(value - std::trunc(value)) == 0.5)
        return 2.0 * std::round(value / 2.0);
    return std::round(value);
}

namespace {
// Doubles from here up round to an infinite float (halfway above FLT_MAX).
constexpr double kFloatOverflow = 0x1.ffffffp+127;

Failure overflow()
{
    return Failure(ErrorKind::Overflow, ErrorTexts::tr("Overflow"));
}
} // namespace

Result<float> toSingle(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= kFloatOverflow)
        return overflow();
    return static_cast<float>(value);
}

Result<qint16> toInt16(double value)
{
    if (!std::isfinite(value))
        return overflow();
    const double rounded = roundHalfEven(value);
    if (rounded < -32768.0 || rounded > 32767.0)
        return overflow();
    return static_cast<qint16>(rounded);
}
