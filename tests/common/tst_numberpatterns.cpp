#include "testmain.h"

#include "common/patterns.h"

#include <QTest>

// The samples of the limit panels themselves are pinned in the bins tests; these
// rows are about the formatter's own mechanics.
class TestNumberPatterns : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesTheDigitsThePatternAllows_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");

        QTest::newRow("integer pattern below one") << 0.4 << "0" << "0";
        QTest::newRow("leading zero written") << 0.25 << "0.0#" << "0.25";
        QTest::newRow("negative") << -2.5 << "0.0" << "-2.5";
        QTest::newRow("negative rounding to zero keeps its sign") << -0.00004 << "0.0###" << "-0.0";
        QTest::newRow("negative rounding to integer zero keeps its sign") << -0.4 << "0" << "-0";
        QTest::newRow("negative zero has no sign") << -0.0 << "0.0" << "0.0";
        QTest::newRow("carry into the integer part") << 9.999996 << "0.0####" << "10.0";
        QTest::newRow("carry adds a digit") << 999999.5 << "0" << "1000000";
        QTest::newRow("large value in full") << 1e20 << "0" << "100000000000000000000";
        QTest::newRow("tiny value") << 1e-300 << "0.0####" << "0.0";
        // Halves are judged on the value the double really holds, not on its
        // shortest decimal spelling.
        QTest::newRow("exact half up") << 0.125 << "0.0#" << "0.13";
        QTest::newRow("exact half of the integer") << 2.5 << "0" << "3";
        QTest::newRow("negative exact half") << -2.5 << "0" << "-3";
        QTest::newRow("1.005 is held just below the half") << 1.005 << "0.0#" << "1.0";
        QTest::newRow("1.015 is held just below the half") << 1.015 << "0.0#" << "1.01";
        QTest::newRow("2.675 is held just below the half") << 2.675 << "0.0#" << "2.67";
        QTest::newRow("1.45 is held just below the half") << 1.45 << "0.0" << "1.4";
        QTest::newRow("0.45 is held just above the half") << 0.45 << "0.0" << "0.5";
        QTest::newRow("float 100.00005 lies above the half") << double(100.00005f) << "0.0###"
                                                             << "100.0001";
    }
    void writesTheDigitsThePatternAllows()
    {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(formatNumber(value, pattern), expected);
    }
};

BIN4870_TEST(TestNumberPatterns)
#include "tst_numberpatterns.moc"
