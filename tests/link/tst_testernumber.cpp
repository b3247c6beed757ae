#include "testmain.h"

#include "common/apperror.h"
#include "common/numericvalue.h"
#include "link/testernumber.h"

#include <QTest>

class TestTesterNumber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readingFieldsBecomeTheTablesUnit_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("t");
        QTest::addColumn<float>("expected");
        QTest::addColumn<bool>("overflow");

        QTest::newRow("ohms to milliohms") << "0.01234" << 0 << 12.34f << false;
        QTest::newRow("exponent") << "1.2345E-3" << 0 << 1.2345f << false;
        QTest::newRow("no number") << "OVER" << 0 << 0.0f << false;
        QTest::newRow("volts as they are") << "3.71" << 1 << 3.71f << false;
        QTest::newRow("negative volts") << "-0.0025" << 1 << -0.0025f << false;
        QTest::newRow("resistance beyond float") << "4e35" << 0 << 0.0f << true;
        QTest::newRow("same number as volts fits") << "4e35" << 1 << 4e35f << false;
        QTest::newRow("voltage beyond float") << "1e39" << 1 << 0.0f << true;
    }
    void readingFieldsBecomeTheTablesUnit()
    {
        QFETCH(QString, field);
        QFETCH(int, t);
        QFETCH(float, expected);
        QFETCH(bool, overflow);

        const Result<float> value = judgedValue(numericValue(field), Quantity(t));
        if (value) {
            QVERIFY(!overflow);
            QVERIFY2(*value == expected, qPrintable(QString::number(double(*value), 'g', 9)));
        } else {
            QVERIFY(overflow);
            QCOMPARE(value.kind(), ErrorKind::Overflow);
        }
    }

    void onlyPlainNumbersInTheFloatRangeAreReadings_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("table");
        QTest::addColumn<bool>("reading");
        QTest::addColumn<float>("value");

        QTest::newRow("milliohms from ohms") << "20.000E-3" << 0 << true << 20.0f;
        QTest::newRow("volts with sign") << "+3.9876E+0" << 1 << true << 3.9876f;
        QTest::newRow("no exponent") << "3.75" << 1 << true << 3.75f;
        QTest::newRow("blanks around") << " 3.75 " << 1 << true << 3.75f;
        QTest::newRow("D exponent") << "1.5D0" << 1 << true << 1.5f;
        QTest::newRow("leading point") << ".5" << 1 << true << 0.5f;
        QTest::newRow("open probes, voltage") << "+9.9E+37" << 1 << true << 9.9e37f;
        QTest::newRow("open probes, resistance in milliohms leaves the range") << "+9.9E+37" << 0 << false << 0.0f;
        QTest::newRow("voltage beyond float range") << "1e39" << 1 << false << 0.0f;
        QTest::newRow("error text") << "ERR" << 0 << false << 0.0f;
        QTest::newRow("overflow text") << "OVER" << 1 << false << 0.0f;
        QTest::newRow("empty field") << "" << 1 << false << 0.0f;
        QTest::newRow("number then junk") << "3.7V" << 1 << false << 0.0f;
        QTest::newRow("hexadecimal") << "&H10" << 1 << false << 0.0f;
        QTest::newRow("two numbers") << "3.7 3.8" << 1 << false << 0.0f;
        QTest::newRow("sign alone") << "-" << 1 << false << 0.0f;
    }
    void onlyPlainNumbersInTheFloatRangeAreReadings()
    {
        QFETCH(QString, field);
        QFETCH(int, table);
        QFETCH(bool, reading);
        QFETCH(float, value);
        const std::optional<float> result = readingValueOf(field, Quantity(table));
        QCOMPARE(result.has_value(), reading);
        if (reading)
            QCOMPARE(*result, value);
    }
};

BIN4870_TEST(TestTesterNumber)
#include "tst_testernumber.moc"
