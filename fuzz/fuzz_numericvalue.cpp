// Any text must give a number (never NaN) without reading past its end.
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
    return 0;
}
