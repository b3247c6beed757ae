// Any text must give a number (never NaN) without reading past its end; blanks,
// tabs and line feeds never change the value wherever they stand, and a minus
// sign in front of a number that starts with a digit or "." negates it exactly.
#include "common/numericvalue.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const double value = numericValue(text);
    if (std::isnan(value))
        std::abort();
    const double rounded = roundHalfEven(value);
    if (std::isfinite(value) && std::fabs(rounded - value) > 0.5)
        std::abort();

    QString packed = text;
    packed.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QLatin1Char('\n'));
    if (numericValue(packed) != value)
        std::abort();

    if (!packed.isEmpty() && (packed.front().isDigit() || packed.front() == QLatin1Char('.'))
        && packed.front().unicode() < 0x80) {
        if (numericValue(QLatin1Char('-') + text) != -value)
            std::abort();
    }
    return 0;
}
