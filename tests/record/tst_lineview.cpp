#include "testmain.h"
#include "bintablefixture.h"
#include "devdb.h"

#include "bins/shiftanalysis.h"
#include "record/centraldatabase.h"
#include "record/databasesources.h"

#include <QTest>

#include <limits>

namespace {

struct Cell
{
    const char *bench;
    const char *time; // +01:00
    double ohms;
    double volts;
    const char *voltageBin;
};

// Bench A inside 08:00..09:00 (+01:00), in its order: 10 12 11 15 mOhm (mean
// 12, moving ranges 2 1 4, sum 7), 3.6 3.7 3.6 3.8 V (mean 3.675, sum 0.4),
// one voltage "+Out": 3 of 4 in BIN. Bench B: 20 22 mOhm, 3.9 V twice, both in
// BIN, and a third cell after the range. B's rows arrive interleaved with A's
// and one of A's out of time order, which the moving ranges must not follow.
const Cell kCells[] = {
    {"B", "2026-12-07T08:00:05+01:00", 0.020, 3.9, "2"},
    {"A", "2026-12-07T08:00:00+01:00", 0.010, 3.6, "1"},
    {"A", "2026-12-07T08:10:00+01:00", 0.012, 3.7, "2"},
    {"A", "2026-12-07T08:30:00+01:00", 0.015, 3.8, "+Out"},
    {"A", "2026-12-07T08:20:00+01:00", 0.011, 3.6, "1"},
    {"B", "2026-12-07T08:40:00+01:00", 0.022, 3.9, "2"},
    {"B", "2026-12-07T09:00:00+01:00", 0.050, 4.1, "3"},
    {"A", "2026-12-07T07:59:59+01:00", 0.090, 3.0, "-Out"},
};

std::vector<Journal::Pending> records(const BinSetup &setup)
{
    std::vector<Journal::Pending> rows;
    for (const Cell &c : kCells) {
        Journal::Pending p;
        p.seq = qint64(rows.size()) + 1;
        p.record = cellfixtures::record(QLatin1String(c.bench), int(rows.size()), setup);
        p.record.measuredAt = QDateTime::fromString(QLatin1String(c.time), Qt::ISODate);
        p.record.resistanceOhm = c.ohms;
        p.record.voltageV = c.volts;
        p.record.resistanceBin = QStringLiteral("1");
        p.record.voltageBin = QLatin1String(c.voltageBin);
        rows.push_back(p);
    }
    return rows;
}

qint64 wallClock(int hour, int minute, int second = 0)
{
    return wallClockSeconds(2026, 12, 7, hour, minute, second);
}

} // namespace

class TestLineView : public QObject
{
    Q_OBJECT

    DevDatabase m_db;
    BinSetup m_setup = cellfixtures::setup();

private Q_SLOTS:
    void initTestCase()
    {
        // The central database's instants are read in this computer's zone.
        qputenv("TZ", "UTC");
        QVERIFY(m_db.start());
        const Status sent = sendCells(m_db.settings(), records(m_setup), {{m_setup.hash, m_setup.text}});
        QVERIFY2(sent, qPrintable(sent.errorString()));
    }

    // Each bench's row as the server sums it, against the hand-worked
    // figures, for all benches and for one; UTC 07:00 is 08:00+01:00.
    void figuresPerBench()
    {
        RecordFilter filter;
        filter.from = wallClock(7, 0);
        filter.to = wallClock(8, 0);
        Result<std::vector<LineRow>> read = readLineView(m_db.settings(), filter);
        QVERIFY2(read, qPrintable(read.errorString()));
        std::vector<LineRow> rows = *read;
        QCOMPARE(rows.size(), std::size_t(2));
        const LineRow &a = rows[0];
        QCOMPARE(a.bench, QStringLiteral("A"));
        QCOMPARE(a.cells, qint64(4));
        QCOMPARE(a.inBins, qint64(3));
        QCOMPARE(a.lastStamp, wallClock(7, 30));
        QCOMPARE(a.mean[0], 12.0);
        QCOMPARE(a.movingRangeSum[0], 7.0);
        QVERIFY(qFuzzyCompare(a.mean[1], 3.675));
        QVERIFY(qFuzzyCompare(a.movingRangeSum[1], 0.4));
        const LineRow &b = rows[1];
        QCOMPARE(b.bench, QStringLiteral("B"));
        QCOMPARE(b.cells, qint64(2));
        QCOMPARE(b.inBins, qint64(2));
        QCOMPARE(b.lastStamp, wallClock(7, 40));
        QCOMPARE(b.movingRangeSum[1], 0.0);

        // Four cells are too few for a Cpk; with 40 of the same mean and mean
        // moving range 7 / 3 the Cpk against the outer limits 15..60 mOhm is
        // below the lower limit: (12 - 15) / (3 sigma) = -0.4834.
        const BinTable outer = [] {
            BinTable r;
            r.numBins = 5;
            r.minValue = 15;
            r.maxValue = 60;
            return withLimits(r);
        }();
        const BenchFigures figures = benchFigures(a, outer, BinTable{});
        QCOMPARE(figures.capability[0].status, spc::Capability::Status::TooFewValues);
        QVERIFY(!figures.capability[0].cpk);
        QCOMPARE(figures.yieldPercent(), 75.0);
        LineRow forty = a;
        forty.cells = 40;
        forty.movingRangeSum[0] = 39 * 7.0 / 3.0;
        const BenchFigures enough = benchFigures(forty, outer, BinTable{});
        QVERIFY(enough.capability[0].cpk);
        QVERIFY(std::abs(*enough.capability[0].cpk - (12.0 - 15.0) / (3.0 * 7.0 / 3.0 / 1.128)) < 1e-9);

        filter.bench = QStringLiteral("B");
        filter.to.reset();
        read = readLineView(m_db.settings(), filter);
        QVERIFY2(read, qPrintable(read.errorString()));
        rows = *read;
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(rows[0].cells, qint64(3));
        QCOMPARE(rows[0].inBins, qint64(3));
        QCOMPARE(rows[0].lastStamp, wallClock(8, 0));
    }

    // The same cells pulled row by row: in time order per bench, filtered
    // alike, with the set-up that judged them; the analysis of the rows gives
    // the server's figures.
    void centralSourceAgreesWithTheLineView()
    {
        CentralSource source(m_db.settings());
        const Status loaded = source.load();
        QVERIFY2(loaded, qPrintable(loaded.errorString()));
        QCOMPARE(source.benches(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QString error;
        RecordFilter filter;
        filter.from = wallClock(7, 0);
        filter.to = wallClock(8, 0);
        QList<float> resistances;
        QVERIFY(source.read(filter, [&](int bench, const RecordReading &r, qint64) {
            if (bench == 0)
                resistances << r.resistance;
            return true;
        }));
        QCOMPARE(resistances, (QList<float>{10.0f, 12.0f, 11.0f, 15.0f}));

        const Result<std::vector<SetupInForce>> found = source.setups(filter);
        QVERIFY(found);
        const std::vector<SetupInForce> &setups = *found;
        QCOMPARE(setups.size(), std::size_t(1));
        QCOMPARE(setups[0].hash, m_setup.hash);
        QCOMPARE(setups[0].text, m_setup.text);
        QCOMPARE(setups[0].cells, qint64(6));

        const Result<ShiftAnalysis> analysed = analyseShift(source, filter, BinTable{}, BinTable{}, 100);
        QVERIFY(analysed);
        const ShiftAnalysis &analysis = *analysed;
        QCOMPARE(analysis.summary.count(), qint64(6));
        const Result<std::vector<LineRow>> read = readLineView(m_db.settings(), filter);
        QVERIFY(read);
        const std::vector<LineRow> &rows = *read;
        QCOMPARE(analysis.streams.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const StreamAnalysis &fromRows = analysis.streams[i];
            const BenchFigures fromServer = benchFigures(rows[i], BinTable{}, BinTable{});
            QCOMPARE(fromServer.bench, fromRows.name);
            QCOMPARE(fromServer.cells, fromRows.cells);
            QCOMPARE(fromServer.lastStamp, fromRows.lastStamp);
            QVERIFY(std::abs(fromServer.capability[0].sigma - fromRows.quantities[0].limits.sigma) < 1e-5);
        }
    }

    // A pass takes the cells from the server in blocks: more cells than one
    // block arrive whole and in time order, with the values alone as well;
    // a pass stopped midway leaves nothing open for the next; a bench's name
    // is quoted, never run as SQL.
    void passesTakeManyCellsInBlocks()
    {
        const QString bench = QStringLiteral("O'Neil \"7\"?");
        constexpr int kMany = 25001;
        const QStringList done = m_db.column(QStringLiteral(
            "INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text, resistance_ohm, voltage_v,"
            " resistance_bin, voltage_bin, setup_hash, program_version)"
            " SELECT gen_random_uuid(), 'O''Neil \"7\"?', timestamptz '2026-12-08 00:00+00' + g * interval '1 s',"
            " '', '', g * 1e-6, 3.5, '1', '1', '%1', '1.2.0' FROM generate_series(0, %2) AS g").arg(m_setup.hash).arg(kMany - 1));
        QVERIFY2(done.isEmpty(), qPrintable(done.join(QLatin1Char(' '))));
        CentralSource source(m_db.settings());
        const Status loaded = source.load();
        QVERIFY2(loaded, qPrintable(loaded.errorString()));
        QVERIFY(source.benches().contains(bench));
        QString error;
        RecordFilter filter;
        filter.bench = bench;
        filter.from = wallClockSeconds(2026, 12, 8, 0, 0, 0);
        std::vector<float> resistances;
        qint64 misplaced = 0;
        const Status all = source.read(filter, [&](int b, const RecordReading &r, qint64) {
            misplaced += source.benches().value(b) != bench || r.stamp != *filter.from + qint64(resistances.size());
            resistances.push_back(r.resistance);
            return true;
        });
        QVERIFY2(all, qPrintable(all.errorString()));
        QCOMPARE(qint64(resistances.size()), qint64(kMany));
        QCOMPARE(misplaced, qint64(0));
        QCOMPARE(resistances.back(), float((kMany - 1) * 1e-3));
        std::vector<float> values;
        std::vector<qint64> places;
        QVERIFY(source.readValues(filter, [&](int b, const RecordReading &r, qint64 place) {
            misplaced += source.benches().value(b) != bench;
            values.push_back(r.resistance);
            places.push_back(place);
            return values.size() < 15000;
        }));
        QCOMPARE(misplaced, qint64(0));
        // The values' pass names each cell's place; details() finds its time
        // and cell ID by it, a few hundred places at a time.
        const QStringList tagged = m_db.column(
                QStringLiteral("UPDATE cells SET cell_id = 'ID-' || arrival WHERE resistance_text = ''"));
        QVERIFY2(tagged.isEmpty(), qPrintable(tagged.join(QLatin1Char(' '))));
        const std::vector<qint64> wanted(places.begin() + 100, places.begin() + 1300);
        const Result<std::map<qint64, RecordDetail>> found = source.details(wanted);
        QVERIFY2(found, qPrintable(found.errorString()));
        QCOMPARE(found->size(), wanted.size());
        QCOMPARE(found->at(wanted.front()).cellId, QStringLiteral("ID-%1").arg(wanted.front()));
        QCOMPARE(found->at(wanted.front()).stamp, *filter.from + 100);
        QCOMPARE(found->at(wanted.back()).stamp, *filter.from + 1299);
        QCOMPARE(values.size(), std::size_t(15000));
        values.clear();
        const Status allValues = source.readValues(filter, [&](int, const RecordReading &r, qint64) {
            values.push_back(r.resistance);
            return true;
        });
        QVERIFY2(allValues, qPrintable(allValues.errorString()));
        QVERIFY(values == resistances);

        filter.bench = QStringLiteral("x' OR 'a' = 'a");
        qint64 taken = 0;
        const Status none = source.read(filter, [&](int, const RecordReading &, qint64) { return ++taken > 0; });
        QVERIFY2(none, qPrintable(none.errorString()));
        QCOMPARE(taken, qint64(0));
    }

    // A server that is down: a clear message, no crash.
    void aServerThatIsDown()
    {
        CentralSettings settings = m_db.settings();
        settings.port = 1; // no socket of that number in the folder
        const Result<std::vector<LineRow>> rows = readLineView(settings, RecordFilter{});
        QVERIFY(!rows);
        QVERIFY2(rows.errorString().contains(QLatin1String("cannot be reached")), qPrintable(rows.errorString()));
        CentralSource source(settings);
        const Status loaded = source.load();
        QVERIFY(!loaded);
        QVERIFY2(loaded.errorString().contains(QLatin1String("cannot be reached")), qPrintable(loaded.errorString()));
        // Reading sends nothing: no word of cells waiting to be sent.
        QVERIFY2(!loaded.errorString().contains(QLatin1String("Cells wait")), qPrintable(loaded.errorString()));
        QVERIFY2(!rows.errorString().contains(QLatin1String("Cells wait")), qPrintable(rows.errorString()));
    }

    // Another program's row with values no tester sends: the pass reads it
    // as infinite and goes on, where a value beyond the float range used to
    // end the program.
    void valuesBeyondAnyReadingAreReadAsInfinite()
    {
        const QStringList done = m_db.column(QStringLiteral(
            "INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text, resistance_ohm, voltage_v,"
            " resistance_bin, voltage_bin, setup_hash, program_version)"
            " VALUES (gen_random_uuid(), 'far', timestamptz '2026-12-09 00:00+00', '', '', 1e300, -1e300, '1', '1',"
            " '%1', '1.2.0')").arg(m_setup.hash));
        QVERIFY2(done.isEmpty(), qPrintable(done.join(QLatin1Char(' '))));
        CentralSource source(m_db.settings());
        RecordFilter filter;
        filter.bench = QStringLiteral("far");
        std::vector<RecordReading> taken;
        const Status read = source.read(filter, [&](int, const RecordReading &r, qint64) {
            taken.push_back(r);
            return true;
        });
        QVERIFY2(read, qPrintable(read.errorString()));
        QCOMPARE(taken.size(), std::size_t(1));
        QCOMPARE(taken[0].resistance, std::numeric_limits<float>::infinity());
        QCOMPARE(taken[0].voltage, -std::numeric_limits<float>::infinity());
    }
    // A bench of two channels is two rows: each channel's moving ranges in
    // its own order, and its pace between its first and last cell. Tables of
    // a server no bench with channels has sent to read as channel 1.
    void eachChannelIsARowOfItsOwn()
    {
        // Bench C, 2026-12-09 (UTC): channel 1 every 30 s, 10 12 14 mOhm;
        // channel 2 every 20 s, 30 20 mOhm, between them in time.
        struct Timed
        {
            int channel;
            int second;
            double ohms;
        };
        const Timed cells[] = {{1, 0, 0.010}, {2, 5, 0.030}, {1, 30, 0.012}, {2, 25, 0.020}, {1, 60, 0.014}};
        std::vector<Journal::Pending> rows;
        for (const Timed &t : cells) {
            Journal::Pending p;
            p.seq = qint64(rows.size()) + 1;
            p.record = cellfixtures::record(QStringLiteral("C"), int(rows.size()), m_setup);
            p.record.measuredAt = QDateTime(QDate(2026, 12, 9), QTime(6, 0).addSecs(t.second), Qt::UTC);
            p.record.resistanceOhm = t.ohms;
            p.record.channel = t.channel;
            rows.push_back(p);
        }
        const Status sent = sendCells(m_db.settings(), rows, {{m_setup.hash, m_setup.text}});
        QVERIFY2(sent, qPrintable(sent.errorString()));
        RecordFilter filter;
        filter.bench = QStringLiteral("C");
        Result<std::vector<LineRow>> read = readLineView(m_db.settings(), filter);
        QVERIFY2(read, qPrintable(read.errorString()));
        QCOMPARE(read->size(), std::size_t(2));
        const LineRow &first = read->at(0);
        const LineRow &second = read->at(1);
        QCOMPARE(first.channel, 1);
        QCOMPARE(first.cells, qint64(3));
        QCOMPARE(first.mean[0], 12.0);
        QCOMPARE(first.movingRangeSum[0], 4.0);
        QCOMPARE(second.channel, 2);
        QCOMPARE(second.cells, qint64(2));
        QCOMPARE(second.movingRangeSum[0], 10.0);
        // 2 cells after the first in 60 s: 120 an hour; 1 in 20 s: 180.
        QCOMPARE(benchFigures(first, BinTable{}, BinTable{}).cellsPerHour(), std::optional<double>(120.0));
        QCOMPARE(benchFigures(second, BinTable{}, BinTable{}).cellsPerHour(), std::optional<double>(180.0));
        BenchFigures one;
        one.cells = 1;
        QVERIFY(!one.cellsPerHour());
        // The charts' passes take each cell's channel too, in time order.
        const auto channelsRead = [&filter, this] {
            CentralSource source(m_db.settings());
            QList<int> channels;
            const Status passed = source.readValues(filter, [&channels](int, const RecordReading &r, qint64) {
                channels << r.channel;
                return true;
            });
            return passed ? channels : QList<int>{-1};
        };
        QCOMPARE(channelsRead(), (QList<int>{1, 2, 2, 1, 1}));

        const QStringList dropped = m_db.column(QStringLiteral("ALTER TABLE cells DROP COLUMN channel"));
        QVERIFY2(dropped.isEmpty(), qPrintable(dropped.join(QLatin1Char(' '))));
        read = readLineView(m_db.settings(), filter);
        QVERIFY2(read, qPrintable(read.errorString()));
        QCOMPARE(read->size(), std::size_t(1));
        QCOMPARE(read->at(0).channel, 1);
        QCOMPARE(read->at(0).cells, qint64(5));
        QCOMPARE(channelsRead(), (QList<int>{1, 1, 1, 1, 1}));
    }

};

BIN4870_TEST(TestLineView)
#include "tst_lineview.moc"
