#include "record/cellid.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace {
// The translation context of the texts this file shows.
struct CellIdTexts
{
    Q_DECLARE_TR_FUNCTIONS(CellIds)
};
} // namespace

std::optional<QString> cellIdProblem(const QString &rawId, const QRegularExpression &pattern)
{
    const QString id = normalisedCellId(rawId);
    if (id.isEmpty())
        return CellIdTexts::tr("The cell ID is empty.");
    if (id.size() > kMaxCellIdLength)
        return CellIdTexts::tr("The cell ID \"%1...\" is %2 characters long; at most %3 are allowed.")
                .arg(id.left(16)).arg(id.size()).arg(kMaxCellIdLength);
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u > 0x7E) {
            return CellIdTexts::tr("The cell ID \"%1\" holds a character that is not allowed (%2): use "
                                   "letters A-Z, digits and printable ASCII signs only. Check the scanner's "
                                   "keyboard layout.")
                    .arg(id, u < 0x20 || u == 0x7F ? CellIdTexts::tr("a control character")
                                                   : QStringLiteral("\"%1\"").arg(c));
        }
        if (u == ',' || u == '"')
            return CellIdTexts::tr("The cell ID \"%1\" holds %2, which the data file cannot take in an ID.")
                    .arg(id, u == ',' ? CellIdTexts::tr("a comma") : CellIdTexts::tr("a double quote"));
    }
    const char16_t first = id.front().unicode();
    if (first == '=' || first == '+' || first == '-' || first == '@')
        return CellIdTexts::tr("The cell ID \"%1\" starts with \"%2\", which a spreadsheet reads as a formula.")
                .arg(id, id.front());
    if (!pattern.pattern().isEmpty() && pattern.isValid() && !pattern.match(id).hasMatch())
        return CellIdTexts::tr("The cell ID \"%1\" does not match the pattern of the options (%2): a misread "
                               "or a label of another kind. Scan it again.")
                .arg(id, pattern.pattern());
    return std::nullopt;
}

QString normalisedCellId(const QString &id)
{
    return id.trimmed();
}

QRegularExpression cellIdPattern(const QString &patternText)
{
    if (patternText.isEmpty())
        return QRegularExpression();
    return QRegularExpression(QRegularExpression::anchoredPattern(patternText));
}

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

std::optional<double> kValue(double vFirst, const QDateTime &first, double vNow, const QDateTime &now,
                             qint64 minimumRestSecs)
{
    if (!first.isValid() || !now.isValid())
        return std::nullopt;
    const qint64 elapsedMs = first.msecsTo(now);
    if (elapsedMs <= 0 || elapsedMs < minimumRestSecs * 1000)
        return std::nullopt;
    const double days = double(elapsedMs) / 86'400'000.0;
    return (vFirst - vNow) * 1000.0 / days;
}

bool kValueTooHigh(double mvPerDay, double limitMvPerDay)
{
    // Judged as shown, to 0.01 mV/day: a drop worked out to the limit is not
    // pushed over it by the last bits of a double.
    return std::round(mvPerDay * 100.0) / 100.0 > limitMvPerDay;
}

QString kValueText(double mvPerDay, double limitMvPerDay)
{
    return CellIdTexts::tr("K %1 mV/day %2")
            .arg(QLocale::c().toString(mvPerDay, 'f', 2),
                 kValueTooHigh(mvPerDay, limitMvPerDay) ? CellIdTexts::tr("too high") : CellIdTexts::tr("OK"));
}
