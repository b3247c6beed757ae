#include "testmain.h"

#include "bintablefixture.h"
#include "devdb.h"
#include "filecontent.h"

#include "bins/bintable.h"
#include "bins/shiftanalysis.h"
#include "record/databasesources.h"
#include "record/journal.h"
#include "record/recordsource.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

qint64 at(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second), Qt::UTC).toSecsSinceEpoch();
}

} // namespace

class TestRecordSource : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wallClockTimesAsTyped()
    {
        const QDate today(2026, 12, 7);
        QCOMPARE(parseWallClock(QStringLiteral("2026-12-06 22:15"), today), at(6, 22, 15));
        QCOMPARE(parseWallClock(QStringLiteral(" 2026-12-06T22:15:30 "), today), at(6, 22, 15, 30));
        QCOMPARE(parseWallClock(QStringLiteral("2026-12-06"), today), at(6, 0, 0));
        QCOMPARE(parseWallClock(QStringLiteral("06:00"), today), at(7, 6, 0));
        for (const char *bad : {"", "abc", "2026-13-01", "25:00", "2026-12-06 24:00", "6:00 pm"})
            QVERIFY2(!parseWallClock(QLatin1String(bad), today), bad);
    }

    // The file's bench and time range, the damaged lines counted, and a pass the
    // visitor stops.
    void aDataFileByBenchAndTime()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("line3.csv"));
        QVERIFY(writeFile(path, "2026/12/07,05:59:59,1E-3,3.6\r\n"
                                "2026/12/07,06:00:00,2E-3,3.6\r\n"
                                "garbage\r\n"
                                "2026/12/07,13:59:59,3E-3,3.6\r\n"
                                "2026/12/07,14:00:00,4E-3,3.6\r\n"));
        DataFileSource source(path);
        QCOMPARE(source.benches(), QStringList{QStringLiteral("line3")});
        RecordFilter shift;
        shift.from = at(7, 6, 0);
        shift.to = at(7, 14, 0);
        QList<float> taken;
        QVERIFY(source.read(shift, [&](int bench, const RecordReading &r, qint64) {
            taken << r.resistance;
            return bench == 0;
        }));
        QCOMPARE(taken, (QList<float>{2, 3}));
        QCOMPARE(source.recordsNotRead(), qint64(1));

        taken.clear();
        QVERIFY(source.read(RecordFilter{}, [&](int, const RecordReading &r, qint64) {
            taken << r.resistance;
            return taken.size() < 2;
        }));
        QCOMPARE(taken.size(), 2);

        RecordFilter other;
        other.bench = QStringLiteral("line4");
        QVERIFY(source.read(other, [](int, const RecordReading &, qint64) { return true; }));

        DataFileSource missing(dir.filePath(QStringLiteral("none.csv")));
        const Status read = missing.read(RecordFilter{}, [](int, const RecordReading &, qint64) { return true; });
        QVERIFY(!read);
        QVERIFY(read.errorString().contains(QStringLiteral("no such data file")));
    }

    // A record's place is its number among the file's records; details()
    // finds its time and cell ID by it, damaged lines not counted, and reads
    // no further than the last place asked for.
    void aDataFileRecordIsFoundByItsPlace()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ids.csv"));
        QVERIFY(writeFile(path, "2026/12/07,06:00:00,2E-3,3.6,SIM-1\r\n"
                                "damaged\r\n"
                                "2026/12/07,06:00:10,3E-3,3.6,PASS\r\n"
                                "2026/12/07,06:00:20,4E-3,3.6\r\n"
                                "2026/12/07,06:00:30,5E-3,3.6,SIM-4,FAIL\r\n"));
        DataFileSource source(path, QString(), {QStringLiteral("PASS"), QStringLiteral("FAIL")});
        RecordFilter later;
        later.from = at(7, 6, 0, 10);
        std::vector<qint64> places;
        QVERIFY(source.read(later, [&](int, const RecordReading &, qint64 place) {
            places.push_back(place);
            return true;
        }));
        QCOMPARE(places, (std::vector<qint64>{1, 2, 3}));
        const Result<std::map<qint64, RecordDetail>> found = source.details({3, 0, 1, 9});
        QVERIFY2(found, qPrintable(found.errorString()));
        QCOMPARE(found->size(), std::size_t(3)); // there is no tenth record
        QCOMPARE(found->at(0).cellId, QStringLiteral("SIM-1"));
        QCOMPARE(found->at(0).stamp, at(7, 6, 0));
        QVERIFY(found->at(1).cellId.isEmpty()); // the tester's word is no ID
        QCOMPARE(found->at(3).cellId, QStringLiteral("SIM-4"));
        QCOMPARE(found->at(3).stamp, at(7, 6, 0, 30));

        // The window's readings in memory find their IDs in the file they
        // were read from; a file replaced since keeps the times in memory and
        // gives no ID that belongs to another cell.
        std::vector<RecordReading> readings;
        QVERIFY(source.read(RecordFilter{}, [&](int, const RecordReading &r, qint64) {
            readings.push_back(r);
            return true;
        }));
        ReadingsSource inMemory(readings, QStringLiteral("memory"), QStringLiteral("ids"), path,
                                {QStringLiteral("PASS"), QStringLiteral("FAIL")});
        QCOMPARE(inMemory.details({0})->at(0).cellId, QStringLiteral("SIM-1"));
        QVERIFY(writeFile(path, "2026/12/08,07:00:00,2E-3,3.6,OTHER\r\n"));
        const Result<std::map<qint64, RecordDetail>> replaced = inMemory.details({0});
        QVERIFY(replaced);
        QCOMPARE(replaced->at(0).stamp, at(7, 6, 0));
        QVERIFY(replaced->at(0).cellId.isEmpty());
    }

    // The journal's place is its seq: details() reads time and cell ID by
    // it, in blocks, from any number of places.
    void aJournalRecordIsFoundByItsPlace()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
        const BinSetup setup = cellfixtures::setup();
        {
            Journal journal(QStringLiteral("details-test"));
            QVERIFY(journal.open(path));
            std::vector<CellRecord> records;
            for (int n = 0; n < 1200; ++n) {
                records.push_back(cellfixtures::record(n % 2 ? QStringLiteral("b") : QStringLiteral("a"), n, setup));
                records.back().cellId = n % 3 ? QStringLiteral("C-%1").arg(n) : QString();
                records.back().channel = n % 4 == 0 ? 2 : 1;
            }
            QVERIFY(journal.appendAll(records, setup));
        }
        JournalSource source(path);
        QVERIFY(source.load());
        std::vector<qint64> places;
        std::vector<qint64> stamps;
        int onChannel2 = 0;
        QVERIFY(source.read(RecordFilter{}, [&](int, const RecordReading &r, qint64 place) {
            places.push_back(place);
            stamps.push_back(r.stamp);
            onChannel2 += r.channel == 2 ? 1 : 0;
            return true;
        }));
        QCOMPARE(places.size(), std::size_t(1200));
        QCOMPARE(onChannel2, 300);
        const Result<std::map<qint64, RecordDetail>> found = source.details(places);
        QVERIFY2(found, qPrintable(found.errorString()));
        QCOMPARE(found->size(), std::size_t(1200));
        QCOMPARE(found->at(places[4]).cellId, QStringLiteral("C-4"));
        QVERIFY(found->at(places[3]).cellId.isEmpty());
        QCOMPARE(found->at(places[1100]).stamp, stamps[1100]);
    }

    // A path that leads to something other than a file says what it is.
    void aSourceThatIsNoFileSaysWhatItIs()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("line3.csv"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const auto readAll = [](int, const RecordReading &, qint64) { return true; };
        const Status pipe = DataFileSource(fifo).read(RecordFilter{}, readAll);
        QVERIFY(!pipe);
        QCOMPARE(pipe.errorString(), QStringLiteral("%1 is a named pipe, not a regular file").arg(fifo));
        const Status folder = DataFileSource(dir.path()).read(RecordFilter{}, readAll);
        QVERIFY(!folder);
        QCOMPARE(folder.errorString(), QStringLiteral("%1 is a folder, not a regular file").arg(dir.path()));
    }

    // More cells than chart points: each stretch is drawn by its extremes, so a
    // single spike still shows; the marks still name every cell.
    void longShiftsAreThinnedToTheirExtremes()
    {
        std::vector<RecordReading> readings(10000, RecordReading{20.0f, 3.6f, 0});
        for (std::size_t i = 0; i < readings.size(); ++i)
            readings[i].resistance = 20.0f + float(i % 7) * 0.1f;
        readings[7777].resistance = 90.0f;
        ReadingsSource source(readings, QStringLiteral("test"), QStringLiteral("b1"));
        BinTable r;
        r.numBins = 1;
        r.minValue = 10;
        r.maxValue = 30;
        r = withLimits(r);
        const Result<ShiftAnalysis> analysed = analyseShift(source, RecordFilter{}, r, BinTable{}, 1000);
        QVERIFY2(analysed, qPrintable(analysed.errorString()));
        const ShiftAnalysis &a = *analysed;
        QCOMPARE(a.streams.size(), std::size_t(1));
        const StreamAnalysis &s = a.streams[0];
        QCOMPARE(s.pointStep, qint64(20));
        const auto &points = s.quantities[0].individuals;
        QVERIFY(points.size() <= 1000);
        QVERIFY(std::any_of(points.begin(), points.end(), [](const QPointF &p) { return p.x() == 7778 && p.y() == 90; }));
        QCOMPARE(s.quantities[0].marks.front().index, qint64(7777));
        QCOMPARE(s.cells, qint64(10000));
        QCOMPARE(s.inBins, qint64(0)); // voltage has no BINs
        // Stopped half-way: no analysis, a reason.
        int calls = 0;
        const Result<ShiftAnalysis> stopped = analyseShift(source, RecordFilter{}, r, BinTable{}, 1000,
                                                           [&calls] { return ++calls < 5000; });
        QVERIFY(!stopped);
        QCOMPARE(stopped.errorString(), QStringLiteral("cancelled"));
    }

    // A cancelled analysis stops the source's pass also where its filter
    // takes no record, and fails as cancelled rather than as empty.
    void aCancelStopsAPassAmongRecordsTheFilterLeavesOut()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.csv"));
        QVERIFY(writeFile(path, QByteArray("2026/12/06,05:00:00,20E-3,3.6\r\n").repeated(200000))); // 6 MB
        DataFileSource source(path);
        RecordFilter nextDay;
        nextDay.from = at(7, 0, 0);
        int asked = 0;
        source.setKeepGoing([&asked] { return ++asked < 2; });
        int visited = 0;
        QVERIFY(source.read(nextDay, [&visited](int, const RecordReading &, qint64) { return ++visited > 0; }));
        QCOMPARE(visited, 0);
        QCOMPARE(asked, 2); // stopped after the second of six blocks

        const KeepGoing cancelled = [] { return false; };
        source.setKeepGoing(cancelled);
        const Result<ShiftAnalysis> analysis = analyseShift(source, nextDay, BinTable{}, BinTable{}, 1000, cancelled);
        QVERIFY(!analysis);
        QCOMPARE(analysis.errorString(), QStringLiteral("cancelled"));
    }

    // A live source (a bench counting, a database being filled) gains cells
    // between the two passes: the charts take the cells the limits were
    // worked out from, not the newcomers.
    void cellsCountedBetweenThePassesStayOut()
    {
        struct Growing : ReadingsSource
        {
            Growing(std::vector<RecordReading> &r) : ReadingsSource(r, QStringLiteral("live"), QStringLiteral("b1")), readings(r) {}
            Status read(const RecordFilter &filter, const RecordVisitor &visit) override
            {
                if (passes++ == 1)
                    readings.push_back(RecordReading{500.0f, 3.6f, at(7, 8, 30)});
                return ReadingsSource::read(filter, visit);
            }
            std::vector<RecordReading> &readings;
            int passes = 0;
        };
        std::vector<RecordReading> readings;
        for (int i = 0; i < 10; ++i)
            readings.push_back(RecordReading{20.0f + float(i % 3), 3.6f, at(7, 8, i)});
        Growing source(readings);
        const Result<ShiftAnalysis> analysed = analyseShift(source, RecordFilter{}, BinTable{}, BinTable{}, 1000);
        QVERIFY2(analysed, qPrintable(analysed.errorString()));
        const ShiftAnalysis &a = *analysed;
        QCOMPARE(source.passes, 2);
        QCOMPARE(a.summary.count(), qint64(10));
        QCOMPARE(a.streams.at(0).quantities[0].individuals.size(), std::size_t(10));
        QCOMPARE(a.streams.at(0).quantities[0].individuals.back().x(), 10.0);
        QCOMPARE(a.quantities[0].markedPoints, qint64(0));
    }
};

BIN4870_TEST(TestRecordSource)
#include "tst_recordsource.moc"
