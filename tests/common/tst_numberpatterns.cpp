#include "testmain.h"

#include "common/patterns.h"

#include <QTest>

class TestNumberPatterns : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesTheDigitsThePatternAllows_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");

        QTest::newRow("integer pattern writes no point") << 123456.7 << "0" << "123457";
        QTest::newRow("integer pattern below one") << 0.4 << "0" << "0";
        QTest::newRow("one decimal always written") << 12345.67 << "0.0" << "12345.7";
        QTest::newRow("whole number keeps its one decimal") << 150.0 << "0.0##" << "150.0";
        QTest::newRow("zero") << 0.0 << "0.0####" << "0.0";
        QTest::newRow("trailing zeros dropped") << 1234.5 << "0.0#" << "1234.5";
        QTest::newRow("optional decimals used") << 12.34567 << "0.0###" << "12.3457";
        QTest::newRow("float widened to double") << double(3.2f) << "0.0####" << "3.2";
        QTest::newRow("pi to five decimals") << double(3.1415927f) << "0.0####" << "3.14159";
        QTest::newRow("voltage 12.5") << 12.5 << "0.0###" << "12.5";
        QTest::newRow("leading zero written") << 0.25 << "0.0#" << "0.25";
        QTest::newRow("negative") << -2.5 << "0.0" << "-2.5";
        QTest::newRow("negative rounds away from zero") << -0.125 << "0.0#" << "-0.13";
        QTest::newRow("negative rounding to zero has no sign") << -0.00004 << "0.0###" << "0.0";
        QTest::newRow("negative zero has no sign") << -0.0 << "0.0" << "0.0";
        QTest::newRow("carry into the integer part") << 9.999996 << "0.0####" << "10.0";
        QTest::newRow("carry adds a digit") << 999999.5 << "0" << "1000000";
        QTest::newRow("large value in full") << 1e20 << "0" << "100000000000000000000";
        QTest::newRow("tiny value") << 1e-300 << "0.0####" << "0.0";
    }
    void writesTheDigitsThePatternAllows()
    {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(formatNumber(value, pattern), expected);
    }

    // Halves are judged on the value the double really holds, not on its
    // shortest decimal spelling.
    void halvesGoAwayFromZeroOnTheExactValue_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");

        QTest::newRow("exact half up") << 0.125 << "0.0#" << "0.13";
        QTest::newRow("exact half of the integer") << 2.5 << "0" << "3";
        QTest::newRow("negative exact half") << -2.5 << "0" << "-3";
        QTest::newRow("1.005 is held just below the half") << 1.005 << "0.0#" << "1.0";
        QTest::newRow("1.015 is held just below the half") << 1.015 << "0.0#" << "1.01";
        QTest::newRow("0.35 is held just below the half") << 0.35 << "0.0" << "0.3";
        QTest::newRow("2.675 is held just below the half") << 2.675 << "0.0#" << "2.67";
        QTest::newRow("1.45 is held just below the half") << 1.45 << "0.0" << "1.4";
        QTest::newRow("0.45 is held just above the half") << 0.45 << "0.0" << "0.5";
        QTest::newRow("float 100.00005 lies above the half") << double(100.00005f) << "0.0###"
                                                             << "100.0001";
    }
    void halvesGoAwayFromZeroOnTheExactValue()
    {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(formatNumber(value, pattern), expected);
    }
};

BIN4870_TEST(TestNumberPatterns)
#include "tst_numberpatterns.moc"
