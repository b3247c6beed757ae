#include "testmain.h"
#include "filecontent.h"

#include "settings/cellidoptions.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The cell-ID options in CellId.ini beside Settings.ini.

class TestCellIdOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void missingFileGivesTheDefaultsAndSavedOptionsComeBack()
    {
        QTemporaryDir dir;
        const CellIdOptions defaults = *loadCellIdOptions(dir.path());
        QVERIFY(!defaults.enabled);
        QVERIFY(!defaults.writeToDataFile);
        QVERIFY(!defaults.allowWithoutId);
        QCOMPARE(defaults.minimumRestMinutes, 7 * 24 * 60);
        QVERIFY(!defaults.scanBeforePlacing);
        QCOMPARE(defaults.resistancePercent, 20.0);
        QCOMPARE(defaults.voltageMarginMv, 5.0);

        CellIdOptions options;
        options.enabled = true;
        options.allowWithoutId = true;
        options.pattern = QStringLiteral("C\\d{5}-\\d{4}");
        options.prefix = QStringLiteral("[");
        options.suffix = QStringLiteral("]");
        options.minimumRestMinutes = 90;
        options.kLimitMvPerDay = 0.75;
        options.writeToDataFile = true;
        options.scanBeforePlacing = true;
        options.resistancePercent = 12.5;
        options.voltageMarginMv = 0;
        QVERIFY(saveCellIdOptions(dir.path(), options));
        QVERIFY(*loadCellIdOptions(dir.path()) == options);
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath(QStringLiteral("Settings.ini"))));
    }

    void damagedValuesFallBackToTheirDefaults()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(cellIdOptionsPath(dir.path()),
                          "[CellId]\nenabled=maybe\npattern=\"(unclosed\"\n"
                          "[Scanner]\nprefix=\"a b\"\n[KValue]\nminimumRest=0 min\nlimit=-3\n"
                          "[Plausibility]\nresistancePercent=0.5\nvoltageMarginMv=abc\n"));
        const CellIdOptions options = *loadCellIdOptions(dir.path());
        QVERIFY(options == CellIdOptions());
    }

    // Whether IDs were required is unknown: the load fails, naming the file,
    // and the file is left as it is.
    void aRefusedFileFailsAndIsNotRewritten_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("why");
        QTest::newRow("larger than 1 MB") << "[CellId]\nenabled=true\n" + QByteArray(2 * 1024 * 1024, 'j') + '\n'
                                          << QStringLiteral(" is larger than 1 MB");
        QTest::newRow("binary") << QByteArray("[CellId]\nenabled=true\n\0\xff\x01", 25) << QStringLiteral(" is not a text file");
    }
    void aRefusedFileFailsAndIsNotRewritten()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString path = cellIdOptionsPath(dir.path());
        QVERIFY(writeFile(path, content));
        const Result<CellIdOptions> loaded = loadCellIdOptions(dir.path());
        QVERIFY(!loaded);
        QCOMPARE(loaded.errorString(), path + why);
        const Status saved = saveCellIdOptions(dir.path(), CellIdOptions());
        QVERIFY(!saved);
        QCOMPARE(saved.errorString(), path + why);
        QVERIFY(readAll(path) == content);
    }

    void restAndLimitTextsAreChecked_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("minutes"); // -1 when refused
        QTest::newRow("days") << "7 d" << qint64(7 * 1440);
        QTest::newRow("bare number is days") << "2" << qint64(2 * 1440);
        QTest::newRow("hours") << "36h" << qint64(36 * 60);
        QTest::newRow("minutes") << " 5 MIN " << qint64(5);
        QTest::newRow("half an hour") << "0.5 h" << qint64(30);
        QTest::newRow("less than a minute") << "0.5 min" << qint64(-1);
        QTest::newRow("more than a year") << "400 d" << qint64(-1);
        QTest::newRow("seconds") << "30 s" << qint64(-1);
        QTest::newRow("words") << "a week" << qint64(-1);
    }
    void restAndLimitTextsAreChecked()
    {
        QFETCH(QString, text);
        QFETCH(qint64, minutes);
        const Result<qint64> parsed = parseRestText(text);
        if (minutes < 0) {
            QVERIFY(!parsed);
            QVERIFY(parsed.errorString().startsWith(QStringLiteral("Minimum rest:")));
        } else {
            QVERIFY2(parsed, qPrintable(parsed.errorString()));
            QCOMPARE(*parsed, minutes);
            const Result<qint64> again = parseRestText(restText(minutes));
            QVERIFY(again);
            QCOMPARE(*again, minutes);
        }
    }

    void patternAndFramesAreChecked()
    {
        QVERIFY(!checkPattern(QStringLiteral("(unclosed")));
        QVERIFY(checkPattern(QStringLiteral("[A-Z]{2}\\d+")));
        QVERIFY(!checkFrame(QStringLiteral("Prefix"), QStringLiteral("a b")));
        QVERIFY(!checkFrame(QStringLiteral("Prefix"), QString(17, QLatin1Char('x'))));
        QVERIFY(checkFrame(QStringLiteral("Suffix"), QStringLiteral("#")));
        QVERIFY(!parseKLimitText(QStringLiteral("1,5")));
        QVERIFY(!parseResistancePercentText(QStringLiteral("0.9")));
        QVERIFY(!parseResistancePercentText(QStringLiteral("20 %")));
        QCOMPARE(parseResistancePercentText(QStringLiteral("1000")).valueOr(0), 1000.0);
        QVERIFY(!parseVoltageMarginText(QStringLiteral("-1")));
        QCOMPARE(parseVoltageMarginText(QStringLiteral("0")).valueOr(-1), 0.0);
        QVERIFY(parseVoltageMarginText(QStringLiteral("x")).errorString().startsWith(QStringLiteral("Voltage margin:")));
        const Result<double> limit = parseKLimitText(QStringLiteral(" 1.5 "));
        QVERIFY(limit);
        QCOMPARE(*limit, 1.5);
    }
};

BIN4870_TEST(TestCellIdOptions)
#include "tst_cellidoptions.moc"
