#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Tells the keys of a hand scanner from an operator's typing. A scanner types
// a code as a burst of key presses a few milliseconds apart and ends it with
// Enter or Tab; an operator needs well over 50 ms between keys. A burst is
// kScanGap or less between every two keys, from the first character to the
// ending key, with at least kScanMinKeys characters.
class ScanDetector
{
public:
    static constexpr qint64 kScanGapMs = 50;
    static constexpr int kScanMinKeys = 3;

    // A character key was typed at msecs (a monotonic clock).
    void key(qint64 msecs);
    // Enter or Tab at msecs: true when it ends a burst, i.e. a scan. Starts afresh.
    bool ends(qint64 msecs);
    // The field was emptied or its text replaced: forget the keys so far.
    void reset();
    // A burst is coming in: fast keys so far, the last one at most kScanGapMs
    // before msecs, and no ending key yet.
    bool inBurst(qint64 msecs) const { return m_keys > 0 && m_fast && msecs - m_last <= kScanGapMs; }

private:
    qint64 m_last = -1;
    int m_keys = 0;
    bool m_fast = true;
};

// The ID in text when the scanner frames its codes with a prefix and/or a
// suffix: text without them, or nothing when either one is missing. With no
// prefix and no suffix set every text is returned as it is.
std::optional<QString> unframedScan(const QString &text, const QString &prefix, const QString &suffix);
