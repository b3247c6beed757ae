#include "link/readingparser.h"

#include "common/apperror.h"
#include "link/fieldsplitter.h"

#include <QVector>

namespace {

constexpr int kFieldCount = 11;

// Two replies can arrive in one read; the first one's CR LF then stands
// inside the text. The last non-empty line is the newest reading.
QString lastLine(const QString &reply)
{
    qsizetype end = reply.size();
    while (end > 0) {
        qsizetype start = end;
        while (start > 0 && reply.at(start - 1) != QLatin1Char('\r')
               && reply.at(start - 1) != QLatin1Char('\n'))
            --start;
        if (start < end)
            return reply.mid(start, end - start);
        end = start - 1;
    }
    return {};
}

} // namespace

ReadingParser::ReadingParser() : m_units(initUnits()) {}

bool ReadingParser::parseReading(const QString &reply)
{
    const QString line = lastLine(reply);
    if (line.isEmpty())
        return false;

    QVector<QString> fields(kFieldCount);
    QString rest = line;
    splitFields(rest, fields, QStringLiteral(","));
    m_readingFields[0] = fields[0];
    m_readingFields[1] = fields[1];
    return true;
}

QString ReadingParser::displayText(int t) const
{
    if (t < 0 || t >= int(m_readingFields.size()))
        throw AppError(ErrorKind::SubscriptOutOfRange, QStringLiteral("Subscript out of range"));
    return fmtEngValue(m_readingFields[size_t(t)], Quantity(t), m_units);
}
