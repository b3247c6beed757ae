#include "cellid/kvalue.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace {
struct KValueTexts
{
    Q_DECLARE_TR_FUNCTIONS(CellIds)
};
} // namespace

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
    return KValueTexts::tr("K %1 mV/day %2")
            .arg(QLocale::c().toString(mvPerDay, 'f', 2),
                 kValueTooHigh(mvPerDay, limitMvPerDay) ? KValueTexts::tr("too high") : KValueTexts::tr("OK"));
}
