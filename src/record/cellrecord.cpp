#include "record/cellrecord.h"

#include "record/cellid.h"

QString CellRecord::measuredAtText() const
{
    // A local time stamp written with its offset, never as "Z": the bench's
    // wall-clock time stays readable.
    QDateTime stamp = measuredAt;
    if (stamp.timeSpec() == Qt::LocalTime)
        stamp.setOffsetFromUtc(stamp.offsetFromUtc());
    return stamp.toString(Qt::ISODateWithMs);
}

QString CellRecord::kVerdict() const
{
    if (!kValue)
        return QString();
    return kValueTooHigh(*kValue, kLimit) ? QStringLiteral("too high") : QStringLiteral("OK");
}
