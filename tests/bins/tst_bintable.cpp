#include "testmain.h"

#include "bins/bintable.h"
#include "common/apperror.h"

#include <QTest>

#include <algorithm>

namespace {

BinTable setUp(qint16 mode, qint16 numBins, float first, float second)
{
    BinTable table;
    table.mode = BinMode(mode);
    table.numBins = numBins;
    switch (mode) {
    case 0:
        table.minValue = first;
        table.maxValue = second;
        break;
    case 1:
        table.minValue = first;
        table.stepValue = second;
        break;
    default:
        table.refValue = first;
        table.percentValue = second;
        break;
    }
    // Stale limits from an earlier set-up, so that rows left alone show up.
    table.lowerLimit.fill(42.0f);
    table.upperLimit.fill(43.0f);
    return table;
}

QList<float> rows(QList<float> used, float fill = 0.0f)
{
    while (used.size() < 9)
        used.append(fill);
    return used;
}

QList<float> firstNine(const std::array<float, 10> &limits)
{
    return QList<float>(limits.begin(), limits.begin() + 9);
}

} // namespace

Q_DECLARE_METATYPE(BinTable)

class TestBinTable : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void computesTheLimitsOfEveryMode_data()
    {
        QTest::addColumn<BinTable>("table");
        QTest::addColumn<QList<float>>("lower");
        QTest::addColumn<QList<float>>("upper");

        QTest::newRow("max-min 0..9 in 3") << setUp(0, 3, 0, 9) << rows({0, 3, 6}) << rows({3, 6, 9});
        QTest::newRow("max-min with no BINs") << setUp(0, 0, 0, 9) << rows({}) << rows({});
        QTest::newRow("max-min reversed") << setUp(0, 3, 9, 0) << rows({9, 6, 3}) << rows({6, 3, 0});
        QTest::newRow("max-min nine BINs") << setUp(0, 9, 1, 10) << QList<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}
                                           << QList<float>{2, 3, 4, 5, 6, 7, 8, 9, 10};
        // The width is rounded to a float before it is multiplied.
        QTest::newRow("max-min width rounded to float") << setUp(0, 3, 0.1f, 1)
                                                        << rows({0.1f, 0.400000006f, 0.700000048f})
                                                        << rows({0.400000006f, 0.700000048f, 1});
        QTest::newRow("max-min sixths") << setUp(0, 6, 0, 1)
                                        << rows({0, 0.166666672f, 0.333333343f, 0.5f, 0.666666687f,
                                                 0.833333373f})
                                        << rows({0.166666672f, 0.333333343f, 0.5f, 0.666666687f,
                                                 0.833333373f, 1});
        QTest::newRow("min-step 10,2 in 4") << setUp(1, 4, 10, 2) << rows({10, 12, 14, 16})
                                            << rows({12, 14, 16, 18});
        QTest::newRow("min-step negative step") << setUp(1, 2, 0, -1.5f) << rows({0, -1.5f})
                                                << rows({-1.5f, -3});
        QTest::newRow("ref 100 5% in 3") << setUp(2, 3, 100, 5) << rows({95, 90, 85}) << rows({105, 110, 115});
        QTest::newRow("ref 10 20% in 1") << setUp(2, 1, 10, 20) << rows({8}) << rows({12});
        // The percentage factor is used unrounded.
        QTest::newRow("ref factor not rounded") << setUp(2, 6, 3.7f, 7)
                                                << rows({3.44099998f, 3.18200016f, 2.9230001f, 2.66400003f,
                                                         2.40499997f, 2.14599991f})
                                                << rows({3.95900011f, 4.21799994f, 4.47700024f, 4.73600006f,
                                                         4.99499989f, 5.25400019f});
        QTest::newRow("negative BIN count") << setUp(1, -3, 10, 2) << rows({}) << rows({});
        QTest::newRow("negative count with a range too wide") << setUp(0, -1, -3e38f, 3e38f) << rows({})
                                                               << rows({});
        QTest::newRow("unknown mode changes nothing") << setUp(3, 3, 10, 2) << rows({}, 42) << rows({}, 43);
    }
    void computesTheLimitsOfEveryMode()
    {
        QFETCH(BinTable, table);
        QFETCH(QList<float>, lower);
        QFETCH(QList<float>, upper);

        BinTable expectedRest = table;
        QVERIFY(calcBinLimits(table));

        QCOMPARE(firstNine(table.lowerLimit), lower);
        QCOMPARE(firstNine(table.upperLimit), upper);
        // Row 9 and everything but the limits stay as they were.
        expectedRest.lowerLimit = table.lowerLimit;
        expectedRest.upperLimit = table.upperLimit;
        expectedRest.lowerLimit[9] = 42.0f;
        expectedRest.upperLimit[9] = 43.0f;
        QVERIFY(table == expectedRest);
    }

    void tenBinsFillTheLastRowToo()
    {
        BinTable table = setUp(1, 10, 0, 1);
        QVERIFY(calcBinLimits(table));
        QCOMPARE(table.lowerLimit[9], 9.0f);
        QCOMPARE(table.upperLimit[9], 10.0f);
    }

    void refusesMoreBinsThanTheTableHoldsBeforeTouchingIt()
    {
        BinTable table = setUp(1, 11, 0, 1);
        const BinTable before = table;
        const Status limits = calcBinLimits(table);
        QVERIFY2(!limits, "11 BINs were accepted");
        QCOMPARE(limits.kind(), ErrorKind::SubscriptOutOfRange);
        QVERIFY(table == before);
    }

    void overflowKeepsTheRowsAlreadyComputed_data()
    {
        QTest::addColumn<BinTable>("table");
        QTest::addColumn<int>("newRows");
        QTest::addColumn<QList<float>>("newLower");

        QTest::newRow("min-step beyond the float range in row 2") << setUp(1, 5, 1e38f, 1e38f) << 2
                                                                  << QList<float>{1e38f, 2e38f};
        QTest::newRow("max-min range wider than the float range") << setUp(0, 1, -3e38f, 3e38f) << 0
                                                                  << QList<float>{};
        QTest::newRow("ref beyond the float range") << setUp(2, 3, 3.3e38f, 5) << 0 << QList<float>{};
    }
    void overflowKeepsTheRowsAlreadyComputed()
    {
        QFETCH(BinTable, table);
        QFETCH(int, newRows);
        QFETCH(QList<float>, newLower);

        const Status limits = calcBinLimits(table);
        QVERIFY2(!limits, "no overflow reported");
        QCOMPARE(limits.kind(), ErrorKind::Overflow);
        QCOMPARE(firstNine(table.lowerLimit).mid(0, newRows), newLower);
        for (int i = newRows + 1; i < 9; ++i) {
            QCOMPARE(table.lowerLimit[std::size_t(i)], 42.0f);
            QCOMPARE(table.upperLimit[std::size_t(i)], 43.0f);
        }
        QCOMPARE(table.upperLimit[std::size_t(newRows)], 43.0f);
    }

    void clearingCountersLeavesTheSetUpAlone()
    {
        BinTable table = setUp(2, 3, 100, 5);
        QVERIFY(calcBinLimits(table));
        for (qint16 i = 0; i < 10; ++i)
            table.binCount[std::size_t(i)] = qint16(i + 1);
        table.totalCount = 55;
        BinTable expected = table;
        expected.binCount.fill(0);
        expected.totalCount = 0;

        clrBinCount(table);
        QVERIFY(table == expected);
    }

    // The other tests rely on == to prove a table untouched.
    void tablesDifferingInAnyFieldAreNotEqual()
    {
        const BinTable base = setUp(0, 3, 0, 9);
        BinTable outCounted = base;
        outCounted.binCount[9] = 1;
        BinTable lastRow = base;
        lastRow.lowerLimit[9] = 0.5f;
        BinTable total = base;
        total.totalCount = 1;
        QVERIFY(base == BinTable(base));
        QVERIFY(!(outCounted == base) && !(lastRow == base) && !(total == base));
    }

    void modeIsTheFirstSelectedButton_data()
    {
        QTest::addColumn<bool>("b0");
        QTest::addColumn<bool>("b1");
        QTest::addColumn<bool>("b2");
        QTest::addColumn<int>("mode");

        QTest::newRow("none") << false << false << false << 0;
        QTest::newRow("max-min") << true << false << false << 0;
        QTest::newRow("min-step") << false << true << false << 1;
        QTest::newRow("ref-%") << false << false << true << 2;
        QTest::newRow("two, first wins") << false << true << true << 1;
        QTest::newRow("all") << true << true << true << 0;
    }
    void modeIsTheFirstSelectedButton()
    {
        QFETCH(bool, b0);
        QFETCH(bool, b1);
        QFETCH(bool, b2);
        QFETCH(int, mode);
        QCOMPARE(int(binModeFromButtons(b0, b1, b2)), mode);
    }

    // Values at a threshold take the finer pattern; just above it the coarser one.
    void limitTextsChooseThePatternByValue_data()
    {
        QTest::addColumn<bool>("voltage");
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("expected");

        QTest::newRow("R 123456.7") << false << 123456.7f << "123457";
        QTest::newRow("R just above 100000") << false << 100000.5f << "100001";
        QTest::newRow("R 100000 keeps a decimal") << false << 100000.0f << "100000.0";
        QTest::newRow("R 12345.67") << false << 12345.67f << "12345.7";
        QTest::newRow("R 10000.25") << false << 10000.25f << "10000.3";
        QTest::newRow("R 1234.5") << false << 1234.5f << "1234.5";
        QTest::newRow("R 1000.125") << false << 1000.125f << "1000.13";
        QTest::newRow("R 150") << false << 150.0f << "150.0";
        QTest::newRow("R 100.5") << false << 100.5f << "100.5";
        QTest::newRow("R 100.0625 three decimals") << false << 100.0625f << "100.063";
        QTest::newRow("R 99.0625 four decimals") << false << 99.0625f << "99.0625";
        QTest::newRow("R 12.34567") << false << 12.34567f << "12.3457";
        QTest::newRow("R 0") << false << 0.0f << "0.0";
        QTest::newRow("R negative large uses four decimals") << false << -5000.1234f << "-5000.1235";
        QTest::newRow("V 3.2") << true << 3.2f << "3.2";
        QTest::newRow("V 3.1415927") << true << 3.1415927f << "3.14159";
        QTest::newRow("V 12.5") << true << 12.5f << "12.5";
        QTest::newRow("V 10.03125 four decimals") << true << 10.03125f << "10.0313";
        QTest::newRow("V 10 five decimals") << true << 10.0f << "10.0";
        QTest::newRow("V 9.99999 five decimals") << true << 9.99999f << "9.99999";
        QTest::newRow("V 100.0625 three decimals") << true << 100.0625f << "100.063";
        QTest::newRow("V 0") << true << 0.0f << "0.0";
        QTest::newRow("V negative") << true << -3.2f << "-3.2";
        // A limit just below zero must not read as zero or as a positive limit.
        QTest::newRow("R negative rounding to zero") << false << -0.00004f << "-0.0";
        QTest::newRow("V negative rounding to zero") << true << -0.000004f << "-0.0";
    }
    void limitTextsChooseThePatternByValue()
    {
        QFETCH(bool, voltage);
        QFETCH(float, value);
        QFETCH(QString, expected);
        QCOMPARE(voltage ? getFormatV(value) : getFormatR(value), expected);
    }
};

BIN4870_TEST(TestBinTable)
#include "tst_bintable.moc"
