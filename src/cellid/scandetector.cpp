#include "cellid/scandetector.h"

void ScanDetector::key(qint64 msecs)
{
    if (m_last >= 0 && msecs - m_last > kScanGapMs)
        m_fast = false;
    m_last = msecs;
    ++m_keys;
}

bool ScanDetector::ends(qint64 msecs)
{
    const bool scan = m_keys >= kScanMinKeys && m_fast && msecs - m_last <= kScanGapMs;
    reset();
    return scan;
}

void ScanDetector::reset()
{
    m_last = -1;
    m_keys = 0;
    m_fast = true;
}

std::optional<QString> unframedScan(const QString &text, const QString &prefix, const QString &suffix)
{
    if (!text.startsWith(prefix) || !text.endsWith(suffix) || text.size() < prefix.size() + suffix.size())
        return std::nullopt;
    return text.mid(prefix.size(), text.size() - prefix.size() - suffix.size());
}
