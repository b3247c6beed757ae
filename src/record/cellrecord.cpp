#include "record/cellrecord.h"

QString CellRecord::measuredAtText() const
{
    // A local time stamp written with its offset, never as "Z": the bench's
    // wall-clock time stays readable.
    QDateTime stamp = measuredAt;
    if (stamp.timeSpec() == Qt::LocalTime)
        stamp.setOffsetFromUtc(stamp.offsetFromUtc());
    return stamp.toString(Qt::ISODateWithMs);
}
