// A damaged Settings.ini of any bytes loads into values inside every line's range,
// and what is written back reads back the same.
#include "settings/settingscodec.h"

#include <cstdint>
#include <cstdlib>

static bool inRange(const StoredSettings &s)
{
    return s.comPort >= 1 && s.comPort <= 30 && s.modeR >= 0 && s.modeR <= 2 && s.modeV >= 0
           && s.modeV <= 2 && s.left >= 0 && s.left <= 10000 && s.top >= 0 && s.top <= 5000;
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
