#include "cellid/kvalue.h"

#include "link/testernumber.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {
struct KValueTexts
{
    Q_DECLARE_TR_FUNCTIONS(CellIds)
};

// Rounds up to the decimals, with a margin for the last bits of a double, so
// that 0.3 worked out as 0.30000000000000004 is still shown as 0.3.
double roundedUp(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::ceil(value * scale - 1e-6) / scale;
}

double rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

QString fixed(double value, int decimals)
{
    // "-0.0" reads as a rise that is not there.
    const QString text = QLocale::c().toString(value, 'f', decimals);
    return text.startsWith(QLatin1Char('-')) && rounded(value, decimals) == 0 ? text.mid(1) : text;
}

} // namespace

std::optional<double> voltageResolution(const QString &voltageText)
{
    static const QRegularExpression shape(
            QStringLiteral("^\\s*[+-]?(\\d*)(?:\\.(\\d*))?(?:[EeDd]([+-]?\\d+))?\\s*$"));
    const QRegularExpressionMatch match = shape.match(voltageText);
    if (!match.hasMatch() || !testerNumber(voltageText))
        return std::nullopt;
    const int decimals = int(match.capturedLength(2));
    bool ok = true;
    const int exponent = match.capturedLength(3) > 0 ? match.captured(3).toInt(&ok) : 0;
    if (!ok || exponent < -300 || exponent > 300)
        return std::nullopt;
    return std::pow(10.0, exponent - decimals);
}

int kDecimals(double uncertaintyMvPerDay)
{
    if (!(uncertaintyMvPerDay > 0) || !std::isfinite(uncertaintyMvPerDay))
        return 2;
    return std::clamp(-int(std::floor(std::log10(uncertaintyMvPerDay))), 0, 3);
}

KVerdict judgeK(double mvPerDay, double uncertaintyMvPerDay, double limitMvPerDay)
{
    const int decimals = kDecimals(uncertaintyMvPerDay);
    const double k = rounded(mvPerDay, decimals);
    const double u = roundedUp(uncertaintyMvPerDay, decimals);
    if (k + u < 0)
        return KVerdict::VoltageRose;
    if (u >= limitMvPerDay)
        return KVerdict::NotYet;
    if (k - u > limitMvPerDay)
        return KVerdict::TooHigh;
    if (k + u <= limitMvPerDay)
        return KVerdict::Ok;
    return KVerdict::NotYet;
}

std::optional<KEstimate> estimateK(double vFirst, double qFirst, const QDateTime &first, double vNow, double qNow,
                                   const QDateTime &now, qint64 minimumRestSecs, double limitMvPerDay)
{
    if (!first.isValid() || !now.isValid())
        return std::nullopt;
    const qint64 elapsedMs = first.msecsTo(now);
    if (elapsedMs <= 0 || elapsedMs < minimumRestSecs * 1000)
        return std::nullopt;
    KEstimate k;
    k.days = double(elapsedMs) / 86'400'000.0;
    k.mvPerDay = (vFirst - vNow) * 1000.0 / k.days;
    k.uncertaintyMvPerDay = (qFirst + qNow) / 2.0 * 1000.0 / k.days;
    k.verdict = judgeK(k.mvPerDay, k.uncertaintyMvPerDay, limitMvPerDay);
    return k;
}

QString kVerdictWord(KVerdict verdict)
{
    switch (verdict) {
    case KVerdict::Ok: return QStringLiteral("OK");
    case KVerdict::TooHigh: return QStringLiteral("too high");
    case KVerdict::NotYet: return QStringLiteral("not yet");
    case KVerdict::VoltageRose: return QStringLiteral("voltage rose");
    }
    return QString();
}

QString kVerdictText(KVerdict verdict)
{
    switch (verdict) {
    case KVerdict::Ok: return KValueTexts::tr("OK");
    case KVerdict::TooHigh: return KValueTexts::tr("too high");
    case KVerdict::NotYet: return KValueTexts::tr("not yet: rest longer");
    case KVerdict::VoltageRose: return KValueTexts::tr("implausible: voltage rose (another cell, or charged?)");
    }
    return QString();
}

QString kVerdictTextOfWord(const QString &word)
{
    for (const KVerdict verdict : {KVerdict::Ok, KVerdict::TooHigh, KVerdict::NotYet, KVerdict::VoltageRose}) {
        if (word == kVerdictWord(verdict))
            return kVerdictText(verdict);
    }
    if (word == QLatin1String(kHistoryNotKnownWord))
        return KValueTexts::tr("history not known");
    return word;
}

QString restSpanText(double days)
{
    if (days >= 1.0)
        return KValueTexts::tr("%1 days").arg(fixed(days, 1));
    if (days * 24.0 >= 1.0)
        return KValueTexts::tr("%1 h").arg(fixed(days * 24.0, 1));
    return KValueTexts::tr("%1 min").arg(fixed(days * 24.0 * 60.0, 0));
}

QString kEstimateText(const KEstimate &k)
{
    const int decimals = kDecimals(k.uncertaintyMvPerDay);
    return KValueTexts::tr("K %1 +/- %2 mV/day (%3) %4")
            .arg(fixed(k.mvPerDay, decimals), fixed(roundedUp(k.uncertaintyMvPerDay, decimals), decimals),
                 restSpanText(k.days), kVerdictText(k.verdict));
}

QString kRecordText(double mvPerDay, std::optional<double> uncertaintyMvPerDay, const QString &verdictWord)
{
    const QString verdict = kVerdictTextOfWord(verdictWord);
    if (!uncertaintyMvPerDay)
        return KValueTexts::tr("K %1 mV/day %2").arg(fixed(mvPerDay, 2), verdict).trimmed();
    const int decimals = kDecimals(*uncertaintyMvPerDay);
    return KValueTexts::tr("K %1 +/- %2 mV/day %3")
            .arg(fixed(mvPerDay, decimals), fixed(roundedUp(*uncertaintyMvPerDay, decimals), decimals), verdict)
            .trimmed();
}
