#include "bins/bintables.h"

#include "common/apperror.h"
#include "common/logcategories.h"
#include <QCoreApplication>

namespace {
struct ErrorTexts
{
    Q_DECLARE_TR_FUNCTIONS(Errors)
};

bool sameCounts(const BinTable &a, const BinTable &b)
{
    return a.binCount == b.binCount && a.totalCount == b.totalCount;
}

// Everything but the counters: what the panels set.
bool sameSetUp(const BinTable &a, const BinTable &b)
{
    BinTable withCountsOfA = b;
    withCountsOfA.binCount = a.binCount;
    withCountsOfA.totalCount = a.totalCount;
    return withCountsOfA == a;
}

} // namespace

bool sameLimits(const BinTable &a, const BinTable &b)
{
    return a.mode == b.mode && a.numBins == b.numBins && a.lowerLimit == b.lowerLimit
        && a.upperLimit == b.upperLimit;
}

BinTables::BinTables(QObject *parent) : QObject(parent) {}

const BinTable &BinTables::table(int t) const
{
    // Callers name table 0 or 1 only; another number is a fault in the caller,
    // never something an operator, a tester or a file can bring about.
    if (t < 0 || t > 1)
        throw AppError(ErrorKind::SubscriptOutOfRange, ErrorTexts::tr("Subscript out of range: table %1").arg(t));
    return m_tables[std::size_t(t)];
}

void BinTables::setTable(int t, const BinTable &table)
{
    std::array<BinTable, 2> tables = m_tables;
    tables[std::size_t(t == 0 ? 0 : 1)] = table;
    replace(tables);
}

void BinTables::setTables(const BinTable &resistance, const BinTable &voltage)
{
    replace({resistance, voltage});
}

void BinTables::clearCounts()
{
    qCInfo(lcCounters, "BIN counters reset; resistance total was %d (%s), voltage total was %d (%s)",
           int(m_tables[0].totalCount), qUtf8Printable(describeCounts(m_tables[0])), int(m_tables[1].totalCount),
           qUtf8Printable(describeCounts(m_tables[1])));
    std::array<BinTable, 2> tables = m_tables;
    for (BinTable &table : tables)
        clrBinCount(table);
    replace(tables);
}

void BinTables::replace(const std::array<BinTable, 2> &tables)
{
    const bool setUp = !sameSetUp(m_tables[0], tables[0]) || !sameSetUp(m_tables[1], tables[1]);
    const bool counts = !sameCounts(m_tables[0], tables[0]) || !sameCounts(m_tables[1], tables[1]);
    m_tables = tables;
    if (setUp)
        Q_EMIT limitsChanged();
    if (counts)
        Q_EMIT countsChanged();
}
