#include "link/readingparser.h"

#include "common/apperror.h"
#include <QCoreApplication>

namespace {
struct ErrorTexts
{
    Q_DECLARE_TR_FUNCTIONS(Errors)
};

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

ReadingParser::ReadingParser() : m_units(initUnits()), m_profile(*builtInProfile(kDefaultProfileName)) {}

bool ReadingParser::parseReading(const QString &reply)
{
    const QString line = lastLine(reply);
    if (line.isEmpty())
        return false;

    DecodedReply decoded = decodeReply(m_profile, line);
    m_readingFields = std::move(decoded.fields);
    m_testerWord = std::move(decoded.testerWord);
    m_verdict = decoded.verdict;
    return true;
}

QString ReadingParser::displayText(int t) const
{
    // The program asks for field 0 or 1 only; another index is a fault in
    // the caller, not something a tester or an operator can bring about.
    if (t < 0 || t >= int(m_readingFields.size()))
        throw AppError(ErrorKind::SubscriptOutOfRange, ErrorTexts::tr("Subscript out of range"));
    return fmtEngValue(m_readingFields[size_t(t)], Quantity(t), m_units);
}
