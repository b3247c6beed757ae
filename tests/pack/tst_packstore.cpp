#include "testmain.h"

#include "packrecords.h"

#include "pack/packstore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Plans kept in the pack tables of the journal and of a real PostgreSQL
// server: a cell reserved for one pack is refused to every other until the
// pack is released, a scan places a cell once and says why it refuses one,
// the placement outlives the program, and a failed cell's place goes to the
// best cell no pack holds.

namespace {

PlanSettings smallPack(int series = 3, int parallel = 4)
{
    PlanSettings s;
    s.series = series;
    s.parallel = parallel;
    s.groupWindow = 10;
    s.groupWindowUnit = SpreadUnit::Percent;
    s.voltageWindowV = 0.1;
    return s;
}

QStringList idsOf(const PackGroups &groups)
{
    QStringList ids;
    for (const auto &group : groups) {
        for (const PoolCell &cell : group)
            ids << cell.cellId;
    }
    ids.sort();
    return ids;
}

} // namespace

class TestPackStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<DevDatabase> m_server;
    const BinSetup m_setup = cellfixtures::setup();
    int m_journals = 0;

    // A source of 120 cells with IDs: a new journal, or the server emptied and filled.
    PoolSource filledSource(const QString &kind)
    {
        std::vector<CellRecord> records;
        for (const PoolCell &cell : generatedPool(120, 31, false))
            records.push_back(packrecords::recordOf(cell, QStringLiteral("bench-1"), packrecords::kFirstCount, m_setup));
        PoolSource source;
        if (kind == QLatin1String("journal")) {
            source.path = QDir(m_dir.path()).filePath(QStringLiteral("journal%1.sqlite").arg(++m_journals));
            if (!packrecords::writeJournal(source.path, records, m_setup))
                return {};
            return source;
        }
        if (!m_server) {
            m_server = std::make_unique<DevDatabase>();
            if (!m_server->start())
                return {};
        }
        m_server->column(QStringLiteral("DROP TABLE IF EXISTS pack_cells, packs, cells, bin_setups, bin4870_schema"));
        m_server->disconnectCheck();
        source.kind = PoolSource::Kind::Central;
        source.central = m_server->settings();
        if (!packrecords::sendRecords(source.central, records, m_setup))
            return {};
        return source;
    }

    static Plan planFrom(const PoolSource &source, const PlanSettings &settings = smallPack())
    {
        const Result<Pool> pool = readPool(source, PoolFilter());
        if (!pool)
            return {};
        return planPack(pool->cells, settings).valueOr({});
    }

    static void addStores()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("journal") << QStringLiteral("journal");
        QTest::newRow("central") << QStringLiteral("central");
    }

private Q_SLOTS:
    void savedPlansNeverShareACell_data() { addStores(); }
    void savedPlansNeverShareACell()
    {
        QFETCH(QString, kind);
        const PoolSource source = filledSource(kind);
        PackStore store(source);
        const Status opened = store.open();
        QVERIFY2(opened, qPrintable(opened.errorString()));

        const Plan first = planFrom(source);
        QCOMPARE(idsOf(first.groups).size(), 12);
        const Result<SavedPlan> saved = store.save(first, PlanOrigin(), PackLabel{QString(), QStringLiteral("bench-1"), QStringLiteral("ann")});
        QVERIFY2(saved && saved->saved(), qPrintable(saved.errorString()));

        // The same cells again: refused, each taken cell named, nothing kept.
        const Result<SavedPlan> again = store.save(first, PlanOrigin(), PackLabel{QStringLiteral("again"), {}, {}});
        QVERIFY(again);
        QVERIFY(!again->saved());
        QCOMPARE(again->taken, idsOf(first.groups));
        QVERIFY(again->refusalText().startsWith(QLatin1String("Not saved: another pack holds 12 cell(s) of the plan")));
        QCOMPARE(store.packs(true).valueOr({}).size(), std::size_t(1));

        // Planned again, the pool leaves them out.
        const Plan second = planFrom(source);
        const QStringList secondIds = idsOf(second.groups);
        QCOMPARE(secondIds.size(), 12);
        for (const QString &id : secondIds)
            QVERIFY(!idsOf(first.groups).contains(id));
        const Result<SavedPlan> savedSecond = store.save(second, PlanOrigin(), PackLabel{QStringLiteral("second"), {}, {}});
        QVERIFY(savedSecond && savedSecond->saved());
        QCOMPARE(readReservedIds(source).valueOr({}).size(), std::size_t(24));

        // Released, the first pack's cells are free again, and it leaves the list.
        QVERIFY(store.release(saved->pack));
        QCOMPARE(readReservedIds(source).valueOr({}).size(), std::size_t(12));
        const std::vector<PackSummary> open = store.packs(false).valueOr({});
        QCOMPARE(open.size(), std::size_t(1));
        QCOMPARE(open[0].name, QStringLiteral("second"));
        const std::vector<PackSummary> all = store.packs(true).valueOr({});
        QCOMPARE(all.size(), std::size_t(2));
        const Result<StoredPack> loaded = store.load(saved->pack);
        QVERIFY(loaded);
        QVERIFY(loaded->summary.isReleased());
        QCOMPARE(loaded->summary.bench, QStringLiteral("bench-1"));
        QCOMPARE(loaded->summary.madeBy, QStringLiteral("ann"));
        QVERIFY(loaded->summary.name.startsWith(QLatin1String("3s4p ")));
        QCOMPARE(loaded->inputHash, first.inputHash);
        QCOMPARE(idsOf(loaded->groups()), idsOf(first.groups));
        QCOMPARE(loaded->settings.groupWindow, 10.0);
        QCOMPARE(planFrom(source).groups.size(), std::size_t(3));
        const Result<SavedPlan> afterRelease = store.save(first, PlanOrigin(), PackLabel{QStringLiteral("third"), {}, {}});
        QVERIFY(afterRelease && afterRelease->saved());
    }

    void scansPlaceOnceRefuseAndOutliveTheProgram_data() { addStores(); }
    void scansPlaceOnceRefuseAndOutliveTheProgram()
    {
        QFETCH(QString, kind);
        const PoolSource source = filledSource(kind);
        auto store = std::make_unique<PackStore>(source);
        QVERIFY(store->open());
        const Plan plan = planFrom(source);
        const QUuid pack = store->save(plan, PlanOrigin(), PackLabel{QStringLiteral("A"), {}, {}}).value().pack;
        const Plan other = planFrom(source, smallPack(1, 2));
        QVERIFY(store->save(other, PlanOrigin(), PackLabel{QStringLiteral("B"), {}, {}}).value().saved());

        // Group 2, position 3 of the plan (groups and positions from 1).
        const QString cell = plan.groups[1][2].cellId;
        Result<ScanAnswer> answer = store->place(pack, QStringLiteral("  %1 ").arg(cell), QStringLiteral("bench-1"));
        QVERIFY2(answer, qPrintable(answer.errorString()));
        QVERIFY(answer->accepted());
        QCOMPARE(answer->text(), QStringLiteral("Group 2, position 3"));
        QCOMPARE(answer->placed, 1);
        QCOMPARE(answer->places, 12);

        answer = store->place(pack, cell, QStringLiteral("bench-1"));
        QCOMPARE(answer->verdict, ScanAnswer::Verdict::PlacedAlready);
        QVERIFY2(answer->text().startsWith(QStringLiteral("%1 is placed already: group 2, position 3 (").arg(cell)),
                 qPrintable(answer->text()));
        QCOMPARE(answer->placed, 1);

        answer = store->place(pack, QStringLiteral("NOPE-1"), QString());
        QCOMPARE(answer->verdict, ScanAnswer::Verdict::NotInPack);
        QCOMPARE(answer->text(), QStringLiteral("NOPE-1 is not in this pack"));
        answer = store->place(pack, other.groups[0][0].cellId, QString());
        QCOMPARE(answer->verdict, ScanAnswer::Verdict::OtherPack);
        QCOMPARE(answer->text(), QStringLiteral("%1 is not in this pack: it belongs to pack B").arg(other.groups[0][0].cellId));
        answer = store->place(pack, QStringLiteral("=SUM(A1)"), QString());
        QCOMPARE(answer->verdict, ScanAnswer::Verdict::NoId);

        // The program ends and starts again: the placement stands.
        store.reset();
        store = std::make_unique<PackStore>(source);
        QVERIFY(store->open());
        answer = store->place(pack, cell, QStringLiteral("bench-1"));
        QCOMPARE(answer->verdict, ScanAnswer::Verdict::PlacedAlready);
        const StoredPack loaded = store->load(pack).value();
        QCOMPARE(loaded.summary.placed, 1);
        QCOMPARE(loaded.find(cell)->state, PackCellState::Placed);
        QCOMPARE(loaded.find(cell)->placedBench, QStringLiteral("bench-1"));
        QVERIFY(loaded.find(cell)->placedAt.isValid());
        answer = store->place(pack, plan.groups[0][0].cellId, QString());
        QVERIFY(answer->accepted());
        QCOMPARE(answer->placed, 2);

        QVERIFY(store->release(pack));
        answer = store->place(pack, plan.groups[0][1].cellId, QString());
        QCOMPARE(answer->verdict, ScanAnswer::Verdict::Released);
    }

    void aFailedCellsPlaceGoesToTheBestFreeCell_data() { addStores(); }
    void aFailedCellsPlaceGoesToTheBestFreeCell()
    {
        QFETCH(QString, kind);
        const PoolSource source = filledSource(kind);
        PackStore store(source);
        QVERIFY(store.open());
        const Plan plan = planFrom(source);
        const QUuid pack = store.save(plan, PlanOrigin(), PackLabel{QStringLiteral("A"), {}, {}}).value().pack;
        const QString failing = plan.groups[2][1].cellId;
        QVERIFY(store.place(pack, failing, QString())->accepted());

        // The best two for the place, by the pool without the pack's cells;
        // the best one goes to another pack first.
        PackGroups without = plan.groups;
        without[2].erase(without[2].begin() + 1);
        const std::vector<ReplacementChoice> ranked =
                rankReplacements(without, 2, readPool(source, PoolFilter()).value().cells, plan.settings, 2);
        QCOMPARE(ranked.size(), std::size_t(2));
        Plan takesTheBest;
        takesTheBest.settings = smallPack(1, 1);
        takesTheBest.groups = {{ranked[0].cell}};
        const Result<SavedPlan> best = store.save(takesTheBest, PlanOrigin(), PackLabel{QStringLiteral("B"), {}, {}});
        QVERIFY2(best && best->saved(), qPrintable(best.errorString()));

        // The ranking was made before pack B took its best cell.
        const Result<FailedCell> failed = store.fail(pack, failing, ranked);
        QVERIFY2(failed, qPrintable(failed.errorString()));
        QVERIFY(failed->replacement);
        QCOMPARE(failed->replacement->cellId, ranked[1].cell.cellId);
        QCOMPARE(failed->passedOver, QStringList{ranked[0].cell.cellId});
        QCOMPARE(failed->group, 3);
        QCOMPARE(failed->position, 2);
        QCOMPARE(failed->before.cells, 4);
        QCOMPARE(failed->after.cells, 4);
        QCOMPARE(failed->after.resistanceOhm, ranked[1].group.resistanceOhm);
        QCOMPARE(failed->packBefore.groupResistanceRangeOhm, plan.figures.groupResistanceRangeOhm);
        QCOMPARE(failed->packAfter.groupResistanceRangeOhm, ranked[1].figures.groupResistanceRangeOhm);
        QVERIFY(failed->lines().join(QLatin1Char('\n')).contains(QStringLiteral("Group 3 before: 4 cell(s)")));

        // The replacement is reserved like any plan cell, the failed cell
        // stays out, and scans say so.
        const std::set<QString> reserved = readReservedIds(source).valueOr({});
        QVERIFY(reserved.count(failed->replacement->cellId));
        QVERIFY(reserved.count(failing));
        Result<ScanAnswer> answer = store.place(pack, failing, QString());
        QCOMPARE(answer->verdict, ScanAnswer::Verdict::Failed);
        QCOMPARE(answer->standIn, failed->replacement->cellId);
        QCOMPARE(answer->text(), QStringLiteral("%1 was marked failed; %2 takes its place (group 3, position 2)")
                                         .arg(failing, failed->replacement->cellId));
        answer = store.place(pack, failed->replacement->cellId, QString());
        QVERIFY(answer->accepted());
        QCOMPARE(answer->group, 3);
        QCOMPARE(answer->position, 2);
        QCOMPARE(answer->placed, 1); // the failed cell's placing no longer counts

        // From the pool as it stands now: the best cell of the place.
        const QString failing2 = plan.groups[0][0].cellId;
        PackGroups now = store.load(pack).value().groups();
        now[0].erase(now[0].begin());
        const std::vector<ReplacementChoice> best2 =
                rankReplacements(now, 0, readPool(source, PoolFilter()).value().cells, plan.settings, 1);
        QCOMPARE(best2.size(), std::size_t(1));
        const Result<FailedCell> failed2 = failAndReplace(store, pack, failing2);
        QVERIFY2(failed2 && failed2->replacement, qPrintable(failed2.errorString()));
        QCOMPARE(failed2->replacement->cellId, best2[0].cell.cellId);
        QVERIFY(failed2->passedOver.isEmpty());

        const Result<FailedCell> twice = failAndReplace(store, pack, failing);
        QVERIFY(!twice);
        QVERIFY(twice.errorString().contains(QLatin1String("marked failed already")));
        QVERIFY(!failAndReplace(store, pack, QStringLiteral("NOPE-1")));

        // Released, the pack frees its cells but never the failed one.
        QVERIFY(store.release(pack));
        QCOMPARE(readReservedIds(source).valueOr({}), (std::set<QString>{failing, failing2, ranked[0].cell.cellId}));
    }
};

BIN4870_TEST(TestPackStore)
#include "tst_packstore.moc"
