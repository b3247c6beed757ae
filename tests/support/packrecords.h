#pragma once

// Records of cells with IDs as benches count them, for the tests and the
// benchmark of the pack planner's pool, store and command line: generated
// cells (packcells.h) as journal records, and a journal or a server filled
// with them.

#include "devdb.h"
#include "packcells.h"

#include "record/cellrecord.h"
#include "record/journal.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace packrecords {

inline const QDateTime kFirstCount(QDate(2026, 12, 7), QTime(8, 0), Qt::OffsetFromUTC, 3600);

// The record a bench made of the cell at `at`.
inline CellRecord recordOf(const PoolCell &cell, const QString &bench, const QDateTime &at, const BinSetup &setup)
{
    CellRecord r;
    r.id = QUuid::createUuidV5(QUuid(), cell.cellId + at.toString(Qt::ISODateWithMs) + bench);
    r.bench = bench;
    r.measuredAt = at;
    r.resistanceText = cell.resistanceText;
    r.voltageText = cell.voltageText;
    r.resistanceOhm = cell.resistanceOhm;
    r.voltageV = cell.voltageV;
    r.resistanceBin = cell.resistanceBin;
    r.voltageBin = cell.voltageBin;
    r.setupHash = setup.hash;
    r.programVersion = QStringLiteral("1.2.0");
    r.cellId = cell.cellId;
    return r;
}

// count cells of two benches, one record each a few seconds apart, and
// variety a pool must sort out: every 7th cell measured again later (its
// re-test out of its BIN every 3rd time), every 11th with its K-value too
// high, every 13th without an ID, every 17th on the second bench's clock an
// hour behind.
inline std::vector<CellRecord> benchRecords(int count, std::uint64_t seed, const BinSetup &setup)
{
    std::vector<CellRecord> records;
    const std::vector<PoolCell> cells = generatedPool(count, seed, false);
    for (int i = 0; i < count; ++i) {
        const PoolCell &cell = cells[std::size_t(i)];
        const bool second = i % 2 == 1;
        QDateTime at = kFirstCount.addSecs(qint64(i) * 5);
        if (i % 17 == 0)
            at = at.toOffsetFromUtc(0);
        CellRecord r = recordOf(cell, second ? QStringLiteral("bench-2") : QStringLiteral("bench-1"), at, setup);
        if (i % 13 == 0)
            r.cellId.clear();
        if (i % 11 == 0) {
            r.kValue = 3.5;
            r.kLimit = 2;
            r.kVerdict = QStringLiteral("too high");
        }
        records.push_back(r);
        if (i % 7 == 0) {
            CellRecord again = recordOf(cell, QStringLiteral("bench-1"), at.addDays(8), setup);
            again.cellId = r.cellId;
            again.retest = true;
            again.resistanceOhm += 0.0001;
            again.resistanceText = QString::number(again.resistanceOhm * 1000, 'f', 3) + QStringLiteral("E-3");
            if (i % 3 == 0)
                again.resistanceBin = QStringLiteral("+Out");
            records.push_back(again);
        }
    }
    return records;
}

// A journal at path holding the records.
inline Status writeJournal(const QString &path, const std::vector<CellRecord> &records, const BinSetup &setup)
{
    Journal journal(uniqueConnectionName(QStringLiteral("test-journal")));
    if (Status opened = journal.open(path); !opened)
        return opened;
    return journal.appendAll(records, setup);
}

// The server's tables made and the records sent, as benches send them.
inline Status sendRecords(const CentralSettings &settings, const std::vector<CellRecord> &records, const BinSetup &setup)
{
    std::vector<Journal::Pending> pending;
    qint64 seq = 0;
    for (const CellRecord &record : records)
        pending.push_back(Journal::Pending{++seq, record});
    return sendCells(settings, pending, {{setup.hash, setup.text}});
}

} // namespace packrecords
