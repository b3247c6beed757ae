// A damaged Settings.ini of any bytes loads into values inside every line's range,
// and what is written back reads back the same.
#include "common/numericvalue.h"
#include "settings/settingscodec.h"

#include <cstdint>
#include <cstdlib>

static bool within(const QString &text, double low, double high)
{
    const double value = numericValue(text);
    return value >= low && value <= high;
}

// A BIN count of 0..9 and parameters of -99999..99999 in every box.
static bool boxesInRange(const std::array<QString, 3> &boxes)
{
    return within(boxes[0], 0, 9) && within(boxes[1], -99999, 99999) && within(boxes[2], -99999, 99999);
}

static bool inRange(const StoredSettings &s)
{
    return s.comPort >= 1 && s.comPort <= 30 && s.modeR >= 0 && s.modeR <= 2 && s.modeV >= 0
           && s.modeV <= 2 && s.left >= 0 && s.left <= 10000 && s.top >= 0 && s.top <= 5000
           && boxesInRange(s.boxesR) && boxesInRange(s.boxesV);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const StoredSettings loaded = readSettings(content);
    if (!inRange(loaded))
        std::abort();
    const QByteArray written = writeSettings(loaded);
    if (writeSettings(readSettings(written)) != written)
        std::abort();
    return 0;
}
