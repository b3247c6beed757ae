#include "testmain.h"
#include "devdb.h"

#include "record/cellcolumns.h"
#include "record/centraldatabase.h"
#include "record/journal.h"

#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// The one description of the cells table against what both stores make of
// it: every described column named where its store needs it, the tables made
// with exactly those columns, and every column a record fills coming back.

namespace {

constexpr CellStore kStores[] = {CellStore::Journal, CellStore::Central};

int latestLevel(CellStore store)
{
    return store == CellStore::Journal ? Journal::kFormat : central::kSchemaAdditions;
}

QString storeName(CellStore store)
{
    return store == CellStore::Journal ? QStringLiteral("journal") : QStringLiteral("server");
}

bool names(const QString &sql, const char *column)
{
    return sql.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(QLatin1String(column))));
}

QStringList describedNames(CellStore store)
{
    QStringList list;
    for (const CellColumn *column : cellcolumns::of(store, latestLevel(store)))
        list << QLatin1String(column->name);
    return list;
}

// A cell with every field a record has set, stamped in this computer's time
// zone as the server gives stamps back.
CellRecord everyFieldSet(const BinSetup &setup)
{
    CellRecord r = cellfixtures::record(QStringLiteral("bench-1"), 7, setup);
    r.measuredAt = QDateTime(QDate(2026, 12, 7), QTime(9, 30, 1, 250));
    r.cellId = QStringLiteral("C-\"7\" {x},y");
    r.testerWord = QStringLiteral("PASS");
    r.retest = true;
    r.kValue = 2.625;
    r.kUncertainty = 0.125;
    r.kLimit = 2.0;
    r.kVerdict = QStringLiteral("too high");
    return r;
}

// Every described column the record fills, as text, compared between two records.
QStringList differences(const CellRecord &sent, const CellRecord &back)
{
    QStringList differ;
    for (const CellColumn &column : cellcolumns::all()) {
        if (column.value && column.value(sent) != column.value(back))
            differ << QStringLiteral("%1: %2 / %3")
                              .arg(QLatin1String(column.name), column.value(sent).toString(),
                                   column.value(back).toString());
    }
    return differ;
}

} // namespace

class TestCellColumns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A new column is one entry in the description: each store's CREATE and
    // upgrade steps make every column of that store, and its INSERT and SELECT
    // name every column a record fills; a column of one store alone (the
    // journal's seq and sent, the server's arrival) never reaches the other.
    void everyDescribedColumnIsInTheStatementsOfItsStore()
    {
        for (const CellStore store : kStores) {
            QString made = cellcolumns::createTable(store);
            for (int level = cellcolumns::firstLevel(store) + 1; level <= latestLevel(store); ++level)
                made += QLatin1Char(';') + cellcolumns::addColumns(store, level).join(QLatin1Char(';'));
            const QString insert = store == CellStore::Journal ? cellcolumns::journalInsert() : cellcolumns::centralInsert();
            const QString select = cellcolumns::selectList(store, latestLevel(store));
            for (const CellColumn &column : cellcolumns::all()) {
                const QString what = QStringLiteral("%1 in the %2's ").arg(QLatin1String(column.name), storeName(store));
                QCOMPARE(names(made, column.name), column.in(store));
                const bool filled = column.in(store) && column.value;
                QVERIFY2(names(insert, column.name) == filled, qPrintable(what + insert));
                QVERIFY2(names(select, column.name) == filled, qPrintable(what + select));
            }
        }
        // One value array per column the server's INSERT names.
        const QVariantList arrays = cellcolumns::centralArrays({});
        QCOMPARE(arrays.size(), cellcolumns::centralInsert().count(QLatin1Char('?')));
    }

    // Fresh tables of both stores have the described columns in their order,
    // and a record with every field set comes back from each with every
    // described column as it was sent; so does one without the optional ones.
    void aRecordComesBackFromBothStoresColumnForColumn()
    {
        QTemporaryDir folder;
        const QString path = QDir(folder.path()).filePath(QStringLiteral("journal.sqlite"));
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        const CellRecord full = everyFieldSet(setup);
        CellRecord plain = cellfixtures::record(QStringLiteral("bench-1"), 8, setup);
        plain.measuredAt = full.measuredAt.addSecs(3);
        plain.cellId = full.cellId;

        Journal journal;
        QVERIFY(journal.open(path));
        QVERIFY(journal.append(full, setup));
        QVERIFY(journal.append(plain, setup));
        QStringList journalColumns;
        {
            QSqlDatabase look = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
            look.setDatabaseName(path);
            QVERIFY(look.open());
            QSqlQuery query(QStringLiteral("SELECT name FROM pragma_table_info('cells') ORDER BY cid"), look);
            while (query.next())
                journalColumns << query.value(0).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("look"));
        QCOMPARE(journalColumns, describedNames(CellStore::Journal));

        const Result<std::vector<Journal::Pending>> pending = journal.pending(10);
        QVERIFY(pending);
        QCOMPARE(pending->size(), std::size_t(2));
        QCOMPARE(differences(full, pending->at(0).record), QStringList());
        QCOMPARE(differences(plain, pending->at(1).record), QStringList());
        const Result<std::vector<CellRecord>> local = journal.recordsOfCell(full.cellId);
        QVERIFY(local && local->size() == 2);
        QCOMPARE(differences(full, local->at(0)), QStringList());

        QVERIFY(sendCells(db.settings(), *pending, {{setup.hash, setup.text}}));
        QCOMPARE(db.column(QStringLiteral("SELECT column_name FROM information_schema.columns WHERE table_name = 'cells'"
                                          " ORDER BY ordinal_position")),
                 describedNames(CellStore::Central));
        central::Connection connection(db.settings());
        const Result<std::vector<CellRecord>> central = connection.recordsOfCell(full.cellId);
        QVERIFY2(central, qPrintable(central.errorString()));
        QCOMPARE(central->size(), std::size_t(2));
        QCOMPARE(differences(full, central->at(0)), QStringList());
        QCOMPARE(differences(plain, central->at(1)), QStringList());
    }
};

BIN4870_TEST(TestCellColumns)
#include "tst_cellcolumns.moc"
