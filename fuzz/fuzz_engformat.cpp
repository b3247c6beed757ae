// The display text of any field: never empty for a non-number, never crashes.
#include "link/engformat.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Units units = initUnits();
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString resistance = fmtEngValue(text, Quantity::Resistance, units);
    const QString voltage = fmtEngValue(text, Quantity::Voltage, units);
    if (resistance.isEmpty() || voltage.isEmpty())
        std::abort();
    return 0;
}
