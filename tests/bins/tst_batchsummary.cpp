#include "testmain.h"

#include "bintablefixture.h"

#include "bins/batchsummary.h"
#include "bins/bintable.h"
#include "record/recordfilereader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

BinTable table(qint16 mode, qint16 numBins, float first, float second)
{
    BinTable t;
    t.mode = BinMode(mode);
    t.numBins = numBins;
    t.minValue = first;
    t.refValue = first;
    t.maxValue = second;
    t.stepValue = second;
    t.percentValue = second;
    return withLimits(t);
}

// Resistance "Max - Min" 10..40 mOhm in 3 BINs: [10, 20) [20, 30) [30, 40).
// Voltage "Min - Step" from 3.0 V by 0.5 V, 2 BINs: [3.0, 3.5) [3.5, 4.0).
const QByteArray kBatch =
    "2026/12/07,09:00:00,5.0000E-3,3.0000E+0\r\n"   // R -Out     V BIN 1 (on its lower limit)
    "2026/12/07,09:00:01,10.000E-3,3.5000E+0\r\n"   // R BIN 1 (on its lower limit), V BIN 2 (on the limit between)
    "2026/12/07,09:00:02,15.000E-3,3.2500E+0\r\n"   // R BIN 1    V BIN 1
    "not a record\r\n"
    "2026/12/07,09:00:03,20.000E-3,4.0000E+0\r\n"   // R BIN 2 (on the limit between), V +Out (on the top limit)
    "2026/12/07,09:00:04,25.000E-3,2.7500E+0\r\n"   // R BIN 2    V -Out
    "2026/12/07,09:00:05,40.000E-3,3.7500E+0\r\n"   // R +Out (on the top limit), V BIN 2
    "2026/12/07,09:00:06,9.9000E+37,3.7500E+0\r\n"  // overflow: not a record
    "2026/12/07,09:00:07,50.000E-3,4.2500E+0\r\n";  // R +Out     V +Out

} // namespace

class TestBatchSummary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every figure below is worked out by hand from kBatch.
    void perBinTableOfAKnownBatch()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("batch.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kBatch);
        file.close();

        const Result<RecordTail> tail = readRecordFile(path, 0);
        QVERIFY2(tail, qPrintable(tail.errorString()));
        QCOMPARE(tail->linesNotRead, qint64(2));
        BatchSummary summary(table(0, 3, 10, 40), table(1, 2, 3.0f, 0.5f));
        for (const RecordReading &reading : tail->readings)
            summary.add(reading);
        QCOMPARE(summary.count(), qint64(7));

        struct Row
        {
            int t;
            int slot;
            qint64 count;
            double mean;
            double stdDev;
            float min;
            float max;
        };
        const double s = std::sqrt(12.5); // two values 5 apart
        const Row rows[] = {
            {0, 0, 2, 12.5, s, 10, 15},
            {0, 1, 2, 22.5, s, 20, 25},
            {0, 2, 0, 0, 0, 0, 0},
            {0, slot::kPlusOut, 2, 45, std::sqrt(50.0), 40, 50},
            {0, slot::kMinusOut, 1, 5, 0, 5, 5},
            {0, slot::kOut, 0, 0, 0, 0, 0},
            {1, 0, 2, 3.125, std::sqrt(0.03125), 3.0f, 3.25f},
            {1, 1, 2, 3.625, std::sqrt(0.03125), 3.5f, 3.75f},
            {1, slot::kPlusOut, 2, 4.125, std::sqrt(0.03125), 4.0f, 4.25f},
            {1, slot::kMinusOut, 1, 2.75, 0, 2.75f, 2.75f},
        };
        for (const Row &row : rows) {
            const SpreadStats &stats = summary.row(row.t, row.slot);
            const QByteArray where = QByteArray::number(row.t) + "/" + slotCaption(row.slot).toLatin1();
            QVERIFY2(stats.count == row.count, where);
            QVERIFY2(std::fabs(summary.share(row.t, row.slot) - 100.0 * double(row.count) / 7.0) < 1e-9, where);
            if (row.count == 0)
                continue;
            QVERIFY2(std::fabs(stats.mean - row.mean) < 1e-9, where);
            QVERIFY2(std::fabs(stats.stdDev() - row.stdDev) < 1e-9, where);
            QVERIFY2(stats.min == row.min && stats.max == row.max, where);
        }
        QCOMPARE(summary.total(0).count, qint64(7));
        QVERIFY(std::fabs(summary.total(0).mean - 165.0 / 7.0) < 1e-9);
        QCOMPARE(summary.total(0).min, 5.0f);
        QCOMPARE(summary.total(0).max, 50.0f);

        // The exported table says the same; an empty BIN leaves its figures blank.
        const QList<QByteArray> csv = summaryCsv(summary).split('\n');
        QCOMPARE(csv.at(0), QByteArray("quantity,row,lower limit,upper limit,count,share %,mean,std dev,min,max\r"));
        // Figures as the window's table shows them.
        QCOMPARE(csv.at(1), QByteArray("resistance mOhm,BIN 1,10.0,20.0,2,28.57,12.5,3.5355,10.0,15.0\r"));
        QCOMPARE(csv.at(3), QByteArray("resistance mOhm,BIN 3,30.0,40.0,0,0.00,,,,\r"));
        QCOMPARE(csv.at(4), QByteArray("resistance mOhm,+Out,,,2,28.57,45.0,7.0711,40.0,50.0\r"));
        QCOMPARE(csv.at(5), QByteArray("resistance mOhm,-Out,,,1,14.29,5.0,,5.0,5.0\r"));
        QCOMPARE(csv.at(6), QByteArray("resistance mOhm,Total,,,7,100.00,23.5714,16.2569,5.0,50.0\r"));
        QCOMPARE(csv.at(7), QByteArray("voltage V,BIN 1,3.0,3.5,2,28.57,3.125,0.17678,3.0,3.25\r"));
        QCOMPARE(csv.size(), 13); // header, 6 resistance rows, 5 voltage rows, empty rest
    }

    void exportedFiguresReadAsShown()
    {
        // 3.6 and 4.2 are no exact binary fractions: stored, they print as 3.5999999.
        BatchSummary summary(table(0, 1, 10.1f, 20.3f), table(0, 1, 3.6f, 4.2f));
        summary.add(RecordReading{12.3f, 3.7f});
        const QList<QByteArray> csv = summaryCsv(summary).split('\n');
        QCOMPARE(csv.at(1), QByteArray("resistance mOhm,BIN 1,10.1,20.3,1,100.00,12.3,,12.3,12.3\r"));
        QCOMPARE(csv.at(5), QByteArray("voltage V,BIN 1,3.6,4.2,1,100.00,3.7,,3.7,3.7\r"));
    }

    // Where a value falls, as the grid would light it.
    void valuesArePlacedAsTheGridLightsThem_data()
    {
        QTest::addColumn<qint16>("mode");
        QTest::addColumn<qint16>("numBins");
        QTest::addColumn<float>("first");
        QTest::addColumn<float>("second");
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("Ref - %: narrowest band") << qint16(2) << qint16(3) << 100.0f << 5.0f << 101.0f << 0;
        QTest::newRow("Ref - %: second band") << qint16(2) << qint16(3) << 100.0f << 5.0f << 93.0f << 1;
        QTest::newRow("Ref - %: above all") << qint16(2) << qint16(3) << 100.0f << 5.0f << 115.0f << int(slot::kPlusOut);
        QTest::newRow("Ref - %: on the lowest limit") << qint16(2) << qint16(3) << 100.0f << 5.0f << 85.0f << 2;
        QTest::newRow("Ref - %: below all") << qint16(2) << qint16(3) << 100.0f << 5.0f << 84.9f << int(slot::kMinusOut);
        QTest::newRow("reversed limits are exchanged") << qint16(0) << qint16(3) << 9.0f << 0.0f << 7.0f << 0;
        QTest::newRow("no BINs: -Out") << qint16(0) << qint16(0) << 0.0f << 9.0f << 4.0f << int(slot::kMinusOut);
    }

    void valuesArePlacedAsTheGridLightsThem()
    {
        QFETCH(qint16, mode);
        QFETCH(qint16, numBins);
        QFETCH(float, first);
        QFETCH(float, second);
        QFETCH(float, value);
        QFETCH(int, expected);
        const BatchSummary summary(table(mode, numBins, first, second), BinTable());
        QCOMPARE(summary.place(0, value), expected);
    }
};

BIN4870_TEST(TestBatchSummary)
#include "tst_batchsummary.moc"
