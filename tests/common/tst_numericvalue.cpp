#include "testmain.h"

#include "common/apperror.h"
#include "common/numericvalue.h"
#include "common/patterns.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestNumericValue : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsLeadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");

        QTest::newRow("blanks inside digits") << " 1 2" << 12.0;
        QTest::newRow("tab and line feed anywhere") << "\t-\n1 .\t5 E 1" << -15.0;
        QTest::newRow("carriage return stops") << "1\r2" << 1.0;
        QTest::newRow("comma is no decimal point") << "1,5" << 1.0;
        QTest::newRow("decimal point") << "3.25" << 3.25;
        QTest::newRow("point first") << ".5" << 0.5;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("plus sign") << "+8" << 8.0;
        QTest::newRow("minus zero reads as zero") << "-0" << 0.0;
        QTest::newRow("tester resistance") << "1.2345E-3" << 1.2345e-3;
        QTest::newRow("D exponent") << "2.5D2" << 250.0;
        QTest::newRow("small d exponent") << "2.5d-1" << 0.25;
        QTest::newRow("exponent letter without digits") << "1E" << 1.0;
        QTest::newRow("exponent sign without digits") << "1E+" << 1.0;
        QTest::newRow("exponent without mantissa") << "E5" << 0.0;
        QTest::newRow("exponent with leading zeros") << "1E0003" << 1000.0;
        QTest::newRow("stops at letter") << "12abc" << 12.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("text first") << "abc12" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("blanks only") << "   " << 0.0;
        QTest::newRow("hex") << "&H1F" << 31.0;
        QTest::newRow("hex with blanks") << "& H 1 F" << 31.0;
        QTest::newRow("hex stops at non-digit") << "&H1G" << 1.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("octal stops at 8") << "&o78" << 7.0;
        QTest::newRow("ampersand without kind") << "&12" << 0.0;
        QTest::newRow("hex without digits") << "&H" << 0.0;
        QTest::newRow("overflow marker value") << "+1.0000E+9" << 1e9;
        QTest::newRow("underflow to zero") << "1E-400" << 0.0;
        QTest::newRow("absurd negative exponent") << "5E-99999999999999" << 0.0;
    }

    void readsLeadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        const double value = numericValue(text);
        QCOMPARE(value, expected);
        QVERIFY2(!std::signbit(value) || expected < 0, "zero must not carry a sign");
    }

    // Accumulating digits by hand drifts; the result must be the double the
    // decimal text names.
    void resultIsCorrectlyRounded_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");

        QTest::newRow("0.1") << "0.1" << 0.1;
        QTest::newRow("many digits") << "0.30000000000000004" << 0.30000000000000004;
        QTest::newRow("largest double") << "1.7976931348623157E308" << 1.7976931348623157e308;
        QTest::newRow("halfway case") << "9007199254740993" << 9007199254740992.0;
        QTest::newRow("long fraction") << "1.00000000000000000000000000000000000001" << 1.0;
        QTest::newRow("smallest subnormal") << "4.9406564584124654E-324" << 4.9406564584124654e-324;
    }

    void resultIsCorrectlyRounded()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(numericValue(text), expected);
    }

    void hugeExponentGivesInfinityNeverNan()
    {
        QVERIFY(std::isinf(numericValue(QStringLiteral("1E400"))));
        QVERIFY(std::isinf(numericValue(QStringLiteral("-1E99999999999999999"))));
        QVERIFY(numericValue(QStringLiteral("-1E400")) < 0);
        QCOMPARE(numericValue(QStringLiteral("0E99999999")), 0.0);
    }

    void roundsHalvesToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");

        QTest::newRow("2.5") << 2.5 << 2.0;
        QTest::newRow("3.5") << 3.5 << 4.0;
        QTest::newRow("-2.5") << -2.5 << -2.0;
        QTest::newRow("8.5") << 8.5 << 8.0;
        QTest::newRow("0.5") << 0.5 << 0.0;
        QTest::newRow("below half") << 2.4999999999999996 << 2.0;
        QTest::newRow("above half") << 2.5000000000000004 << 3.0;
        QTest::newRow("negative above half") << -1.6 << -2.0;
        QTest::newRow("beyond fraction range") << 9007199254740993.0 << 9007199254740992.0;
    }

    void roundsHalvesToEven()
    {
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(roundHalfEven(value), expected);
    }

    void singleKeepsFloatRange_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("overflows");

        const double floatMax = std::numeric_limits<float>::max();
        QTest::newRow("ordinary") << 3.9876 << false;
        QTest::newRow("largest float") << floatMax << false;
        QTest::newRow("rounds down to largest") << 0x1.fffffefffffffp+127 << false;
        QTest::newRow("halfway rounds to infinity") << 0x1.ffffffp+127 << true;
        QTest::newRow("negative beyond") << -1e39 << true;
        QTest::newRow("tiny underflows to zero") << 1e-50 << false;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << true;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << true;
    }

    void singleKeepsFloatRange()
    {
        QFETCH(double, value);
        QFETCH(bool, overflows);
        const Result<float> f = toSingle(value);
        if (f) {
            QVERIFY2(!overflows, "expected an overflow");
            QCOMPARE(*f, static_cast<float>(value));
        } else {
            QVERIFY2(overflows, qPrintable(f.errorString()));
            QCOMPARE(f.kind(), ErrorKind::Overflow);
            QCOMPARE(f.errorString(), QStringLiteral("Overflow"));
        }
    }

    void int16RoundsThenChecksRange_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("overflows");
        QTest::addColumn<int>("expected");

        QTest::newRow("half to even") << 2.5 << false << 2;
        QTest::newRow("top") << 32767.0 << false << 32767;
        QTest::newRow("rounds down to top") << 32767.4 << false << 32767;
        QTest::newRow("rounds past top") << 32767.5 << true << 0;
        QTest::newRow("half stays in range") << 32766.5 << false << 32766;
        QTest::newRow("bottom") << -32768.0 << false << -32768;
        QTest::newRow("half rounds to bottom") << -32768.5 << false << -32768;
        QTest::newRow("rounds past bottom") << -32768.6 << true << 0;
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << true << 0;
    }

    void int16RoundsThenChecksRange()
    {
        QFETCH(double, value);
        QFETCH(bool, overflows);
        QFETCH(int, expected);
        const Result<qint16> n = toInt16(value);
        if (n) {
            QVERIFY2(!overflows, "expected an overflow");
            QCOMPARE(int(*n), expected);
        } else {
            QVERIFY2(overflows, qPrintable(n.errorString()));
            QCOMPARE(n.kind(), ErrorKind::Overflow);
        }
    }

    void formatsDatesAndTimes_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");

        const QDateTime morning(QDate(2024, 3, 7), QTime(9, 5, 2));
        const QDateTime evening(QDate(2023, 12, 31), QTime(23, 59, 59));
        const QDateTime earlyYear(QDate(987, 1, 2), QTime(0, 0, 0));
        QTest::newRow("slashes") << morning << "yyyy/mm/dd" << "2024/03/07";
        QTest::newRow("dashes") << evening << "yyyy-mm-dd" << "2023-12-31";
        QTest::newRow("time padded") << morning << "hh:nn:ss" << "09:05:02";
        QTest::newRow("24-hour clock") << evening << "hh:nn:ss" << "23:59:59";
        QTest::newRow("year padded to four") << earlyYear << "yyyy/mm/dd hh" << "0987/01/02 00";
        QTest::newRow("other letters literal") << morning << "y m-d h" << "y m-d h";
        QTest::newRow("capitals literal") << morning << "YYYY" << "YYYY";
        QTest::newRow("invalid moment") << QDateTime() << "yyyy/mm/dd" << "";
    }

    void formatsDatesAndTimes()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(formatDateTime(when, pattern), expected);
    }
};

BIN4870_TEST(TestNumericValue)
#include "tst_numericvalue.moc"
