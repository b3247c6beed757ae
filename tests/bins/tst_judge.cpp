#include "testmain.h"

#include "bintablefixture.h"

#include "common/apperror.h"
#include "bins/judge.h"

#include <QTest>

namespace {

BinTable computed(qint16 mode, qint16 numBins, float first, float second)
{
    BinTable table;
    table.mode = BinMode(mode);
    table.numBins = numBins;
    if (mode == 2) {
        table.refValue = first;
        table.percentValue = second;
    } else {
        table.minValue = first;
        table.maxValue = second;
        table.stepValue = second;
    }
    return withLimits(table);
}

// Limits set by hand, for gaps and overlaps that no mode produces.
BinTable handMade(qint16 mode, const QList<QPair<float, float>> &bins)
{
    BinTable table;
    table.mode = BinMode(mode);
    table.numBins = qint16(bins.size());
    for (qsizetype i = 0; i < bins.size(); ++i) {
        table.lowerLimit[std::size_t(i)] = bins[i].first;
        table.upperLimit[std::size_t(i)] = bins[i].second;
    }
    return table;
}

// One letter per grid row: G lit, W in use not lit, - beyond the BIN count.
QString cellLetters(const Judgement &judgement)
{
    QString letters;
    for (int row = 0; row < 9; ++row)
        letters += judgement.lit[size_t(row)]  ? QLatin1Char('G')
                   : row < judgement.binsInUse ? QLatin1Char('W')
                                               : QLatin1Char('-');
    return letters;
}

QString countDigits(const BinTable &table)
{
    QString digits;
    for (qint16 c : table.binCount)
        digits += QString::number(c);
    return digits + QLatin1Char('/') + QString::number(table.totalCount);
}

const QString kKeep = QStringLiteral("<keep>");

// The out label's caption for the side; kKeep where the caption stays.
QString outCaptionOf(OutSide side)
{
    switch (side) {
    case OutSide::None:
        return QString();
    case OutSide::Above:
        return QStringLiteral("+Out");
    case OutSide::Below:
        return QStringLiteral("-Out");
    case OutSide::Between:
        break;
    }
    return kKeep;
}

} // namespace

Q_DECLARE_METATYPE(BinTable)

class TestJudge : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void judgesOneReading_data()
    {
        QTest::addColumn<BinTable>("table");
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("cells");
        QTest::addColumn<QString>("outCaption");
        QTest::addColumn<bool>("outLit");
        QTest::addColumn<QString>("armedCounts");

        const BinTable zeroToNine = computed(0, 3, 0, 9);
        QTest::newRow("no BINs reads -Out") << computed(0, 0, 0, 9) << 5.0f << "---------" << "-Out" << true
                                            << "0000000001/1";
        QTest::newRow("negative count reads -Out") << computed(0, -1, 0, 9) << 5.0f << "---------" << "-Out"
                                                   << true << "0000000001/1";
        QTest::newRow("no BINs, above 1e10 reads +Out") << computed(0, 0, 0, 9) << 1e12f << "---------"
                                                        << "+Out" << true << "0000000001/1";
        QTest::newRow("middle BIN") << zeroToNine << 4.5f << "WGW------" << "" << false << "0100000000/1";
        QTest::newRow("lowest lower limit lights") << zeroToNine << 0.0f << "GWW------" << "" << false
                                                   << "1000000000/1";
        QTest::newRow("shared limit belongs to the upper BIN") << zeroToNine << 3.0f << "WGW------" << ""
                                                               << false << "0100000000/1";
        QTest::newRow("highest upper limit is out") << zeroToNine << 9.0f << "WWW------" << "+Out" << true
                                                    << "0000000001/1";
        QTest::newRow("below all BINs") << zeroToNine << -0.5f << "WWW------" << "-Out" << true
                                        << "0000000001/1";
        const BinTable reversed = computed(0, 3, 9, 0);
        QTest::newRow("reversed limits exchanged") << reversed << 7.0f << "GWW------" << "" << false
                                                   << "1000000000/1";
        QTest::newRow("reversed: lowest end lights") << reversed << 0.0f << "WWG------" << "" << false
                                                     << "0010000000/1";
        QTest::newRow("reversed: highest end is out") << reversed << 9.0f << "WWW------" << "+Out" << true
                                                      << "0000000001/1";
        const BinTable ref = computed(2, 3, 100, 5);
        QTest::newRow("ref: only the narrowest band lights") << ref << 101.0f << "GWW------" << "" << false
                                                             << "1000000000/1";
        QTest::newRow("ref: second band") << ref << 107.0f << "WGW------" << "" << false << "0100000000/1";
        QTest::newRow("ref: widest upper limit is out") << ref << 115.0f << "WWW------" << "+Out" << true
                                                        << "0000000001/1";
        QTest::newRow("overlap outside ref lights each BIN") << handMade(0, {{0, 10}, {5, 15}}) << 7.0f
                                                             << "GG-------" << "" << false << "1100000000/1";
        QTest::newRow("gap keeps the previous caption") << handMade(1, {{0, 1}, {2, 3}}) << 1.5f
                                                        << "WW-------" << kKeep << true << "0000000001/1";
        QTest::newRow("nine BINs") << computed(1, 9, 0, 1) << 8.5f << "WWWWWWWWG" << "" << false
                                   << "0000000010/1";
    }
    void judgesOneReading()
    {
        QFETCH(BinTable, table);
        QFETCH(float, value);
        QFETCH(QString, cells);
        QFETCH(QString, outCaption);
        QFETCH(bool, outLit);
        QFETCH(QString, armedCounts);

        const Result<Judgement> idle = judgeTable(table, value, false);
        QVERIFY(idle);
        QCOMPARE(cellLetters(*idle), cells);
        QCOMPARE(outCaptionOf(idle->out), outCaption);
        QCOMPARE(idle->out != OutSide::None, outLit);
        QCOMPARE(idle->matched(), !outLit);
        QVERIFY(idle->table == table);

        const Result<Judgement> armed = judgeTable(table, value, true);
        QVERIFY(armed);
        QCOMPARE(cellLetters(*armed), cells);
        QCOMPARE(armed->out, idle->out);
        QCOMPARE(countDigits(armed->table), armedCounts);
        // Only the counters change.
        BinTable limitsOnly = armed->table;
        limitsOnly.binCount = table.binCount;
        limitsOnly.totalCount = table.totalCount;
        QVERIFY(limitsOnly == table);
    }

    void countingPastTheLargestCountIsRefused_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("fullCounter"); // 0..9 binCount, 10 totalCount
        QTest::addColumn<bool>("refused");

        QTest::newRow("lit BIN full") << 4.5f << 1 << true;
        QTest::newRow("OUT full") << 20.0f << 9 << true;
        QTest::newRow("total full") << 4.5f << 10 << true;
        QTest::newRow("another BIN full") << 4.5f << 2 << false;
        QTest::newRow("OUT full, reading in a BIN") << 4.5f << 9 << false;
    }
    void countingPastTheLargestCountIsRefused()
    {
        QFETCH(float, value);
        QFETCH(int, fullCounter);
        QFETCH(bool, refused);

        BinTable table = computed(0, 3, 0, 9);
        if (fullCounter == 10)
            table.totalCount = 32767;
        else
            table.binCount[std::size_t(fullCounter)] = 32767;
        table.totalCount = std::max<qint16>(table.totalCount, 32000);

        const Result<Judgement> judged = judgeTable(table, value, true);
        QVERIFY(judged);
        QCOMPARE(judged->counterFull, refused);
        QCOMPARE(int(judged->table.totalCount), int(table.totalCount) + (refused ? 0 : 1));
        if (refused)
            QVERIFY(judged->table == table);
        // What lights does not depend on the counters.
        const Result<Judgement> idle = judgeTable(table, value, false);
        QVERIFY(idle);
        QCOMPARE(judged->lit, idle->lit);
        // A full counter does not matter while nothing is counted.
        QVERIFY(idle->table == table);
    }

    void moreBinsThanGridCellsAreRefused()
    {
        BinTable table = computed(1, 9, 0, 1);
        table.numBins = 10;
        const Result<Judgement> judged = judgeTable(table, 0.5f, true);
        QVERIFY2(!judged, "ten BINs were judged");
        QCOMPARE(judged.kind(), ErrorKind::SubscriptOutOfRange);
    }
};

BIN4870_TEST(TestJudge)
#include "tst_judge.moc"
