#include "testmain.h"

#include "common/apperror.h"
#include "link/engformat.h"
#include "link/readingparser.h"
#include "link/fieldsplitter.h"

#include <QTest>

class TestReadingParser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tokenSplitsAtSeparator_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QString>("rest");

        QTest::newRow("empty") << "" << "," << 0 << QStringList{""} << "";
        QTest::newRow("two") << "a,b" << "," << 1 << QStringList{"a", "b"} << "b";
        QTest::newRow("separator at end") << "a," << "," << 1 << QStringList{"a", ""} << "";
        QTest::newRow("separator first") << ",a" << "," << 1 << QStringList{"", "a"} << "a";
        QTest::newRow("no separator") << "1.2E-3" << "," << 0 << QStringList{"1.2E-3"} << "1.2E-3";
        QTest::newRow("eleven pieces") << "a,b,c,d,e,f,g,h,i,j,k" << "," << 9
                                       << QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"} << "k";
        QTest::newRow("rest keeps separators") << "a,b,c,d,e,f,g,h,i,j,k,l" << "," << 9
                                               << QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}
                                               << "k,l";
        QTest::newRow("case-sensitive") << "aXbxc" << "x" << 1 << QStringList{"aXb", "c"} << "c";
        QTest::newRow("empty separator never matches") << "a,b" << "" << 0 << QStringList{"a,b"} << "a,b";
    }

    void tokenSplitsAtSeparator()
    {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(int, result);
        QFETCH(QStringList, pieces);
        QFETCH(QString, rest);

        QVector<QString> str(11, QStringLiteral("old"));
        QString strSub = text;
        const Result<qint16> last = splitFields(strSub, str, separator);
        QVERIFY2(last, qPrintable(last.errorString()));
        QCOMPARE(int(*last), result);
        QCOMPARE(strSub, rest);
        for (int i = 0; i < str.size(); ++i)
            QCOMPARE(str[i], i < pieces.size() ? pieces[i] : QStringLiteral("old"));
    }

    void splitFieldsFailsPastTheArray()
    {
        QVector<QString> str(2);
        QString strSub = QStringLiteral("a,b,c");
        const Result<qint16> last = splitFields(strSub, str, QStringLiteral(","));
        QVERIFY2(!last, "expected an error");
        QCOMPARE(last.kind(), ErrorKind::SubscriptOutOfRange);
        QCOMPARE(last.errorString(), QStringLiteral("Subscript out of range"));
        QCOMPARE(str[0], QStringLiteral("a"));
        QCOMPARE(str[1], QStringLiteral("b"));
    }

    void formatsFieldForDisplay_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        // As the windows show it: a blank before a unit.
        QTest::addColumn<QString>("displayed");

        QTest::newRow("milliohms") << "1.2345E-3" << 0 << "1.2345mOhm" << "1.2345 mOhm";
        QTest::newRow("ohms E+0") << "12.34E+0" << 0 << "12.34Ohm" << "12.34 Ohm";
        QTest::newRow("ohms plain") << "12.34" << 0 << "12.34Ohm" << "12.34 Ohm";
        QTest::newRow("kilohms") << "1.5E+3" << 0 << "1.5kOhm" << "1.5 kOhm";
        QTest::newRow("unknown exponent shown") << "4.7E-6" << 0 << "4.7E-6" << "4.7E-6";
        QTest::newRow("small e not split") << "1.2e-3" << 0 << "1.2e-3Ohm" << "1.2e-3 Ohm";
        QTest::newRow("volts E+0") << "3.9876E+0" << 1 << "3.9876V" << "3.9876 V";
        QTest::newRow("volts drop exponent") << "3.9E-3" << 1 << "3.9V" << "3.9 V";
        QTest::newRow("other kind is resistance") << "1.5E+3" << 7 << "1.5kOhm" << "1.5 kOhm";
        QTest::newRow("overflow") << "+1.0000E+9" << 0 << "OF" << "OF";
        QTest::newRow("negative overflow") << "-1.5E+9" << 0 << "-OF" << "-OF";
        QTest::newRow("no reading") << "9.9E+37" << 0 << "------" << "------";
        QTest::newRow("no reading negative") << "-9.9E+37" << 1 << "------" << "------";
        QTest::newRow("no reading threshold") << "1E+10" << 0 << "------" << "------";
        QTest::newRow("beyond double") << "1E+400" << 0 << "------" << "------";
        QTest::newRow("just below overflow ohms") << "999999999" << 0 << "999999999Ohm" << "999999999 Ohm";
        QTest::newRow("just below overflow volts") << "999999999" << 1 << "999999999V" << "999999999 V";
        QTest::newRow("empty voltage") << "" << 1 << "V" << "V";
        QTest::newRow("not a number") << "ERR" << 0 << "ERR" << "ERR";
        QTest::newRow("leading blank kept") << " 1.5E+3" << 0 << " 1.5kOhm" << " 1.5 kOhm";
    }

    void formatsFieldForDisplay()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, expected);
        QFETCH(QString, displayed);
        QCOMPARE(fmtEngValue(text, Quantity(kind), initUnits()), expected);
        QCOMPARE(displayEngValue(text, Quantity(kind), initUnits()), displayed);
    }

    void parsesReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QString>("resistance");
        QTest::addColumn<QString>("voltage");
        QTest::addColumn<QString>("shownR");
        QTest::addColumn<QString>("shownV");

        QTest::newRow("typical") << "1.2345E-3,3.9876E+0" << true << "1.2345E-3" << "3.9876E+0"
                                 << "1.2345 mOhm" << "3.9876 V";
        QTest::newRow("plain numbers") << "12.34,3.9" << true << "12.34" << "3.9" << "12.34 Ohm" << "3.9 V";
        QTest::newRow("no comma") << "1.2E-3" << true << "1.2E-3" << "" << "1.2 mOhm" << "V";
        QTest::newRow("third field ignored") << "1.2E-3,3.9E+0,5" << true << "1.2E-3" << "3.9E+0"
                                             << "1.2 mOhm" << "3.9 V";
        QTest::newRow("empty keeps previous") << "" << false << "2.5E-3" << "4.1E+0" << "2.5 mOhm" << "4.1 V";
        QTest::newRow("two lines read as the last") << "1,2\r\n3,4" << true << "3" << "4" << "3 Ohm" << "4 V";
        QTest::newRow("trailing line end") << "1,2\r\n" << true << "1" << "2" << "1 Ohm" << "2 V";
        QTest::newRow("lone LF between") << "1,2\n5,6" << true << "5" << "6" << "5 Ohm" << "6 V";
        QTest::newRow("line ends only") << "\r\n" << false << "2.5E-3" << "4.1E+0" << "2.5 mOhm" << "4.1 V";
    }

    void parsesReply()
    {
        QFETCH(QString, reply);
        QFETCH(bool, changed);
        QFETCH(QString, resistance);
        QFETCH(QString, voltage);
        QFETCH(QString, shownR);
        QFETCH(QString, shownV);

        ReadingParser parser;
        QVERIFY(parser.parseReading(QStringLiteral("2.5E-3,4.1E+0")));
        QCOMPARE(parser.parseReading(reply), changed);
        QCOMPARE(parser.readingFields()[0], resistance);
        QCOMPARE(parser.readingFields()[1], voltage);
        QCOMPARE(parser.displayText(0), shownR);
        QCOMPARE(parser.displayText(1), shownV);
    }

    void fieldsStartEmpty()
    {
        ReadingParser parser;
        QVERIFY(parser.readingFields()[0].isEmpty());
        QVERIFY(parser.readingFields()[1].isEmpty());
        QCOMPARE(parser.units().unitR, QStringLiteral("Ohm"));
        QCOMPARE(parser.units().unitV, QStringLiteral("V"));
        QVERIFY(!parser.parseReading(QString()));
        QVERIFY(parser.readingFields()[0].isEmpty());
    }

    void displayTextRejectsUnknownField()
    {
        ReadingParser parser;
        QVERIFY_THROWS_EXCEPTION(AppError, parser.displayText(2));
        QVERIFY_THROWS_EXCEPTION(AppError, parser.displayText(-1));
    }
};

BIN4870_TEST(TestReadingParser)
#include "tst_readingparser.moc"
