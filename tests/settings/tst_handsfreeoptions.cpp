#include "testmain.h"
#include "filecontent.h"

#include "settings/handsfreeoptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>


// The hands-free options: what the operator may type for each parameter, and
// the INI file beside Settings.ini.

namespace {

} // namespace

class TestHandsFreeOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parameterEntriesAreCheckedAgainstTheirBounds_data()
    {
        QTest::addColumn<int>("parameter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value"); // in the operator's unit; NaN when refused
        QTest::addColumn<QString>("error");

        const double refused = qQNaN();
        const int count = int(SettleParameter::SettleCount);
        const int rPercent = int(SettleParameter::ResistancePercent);
        const int rFloor = int(SettleParameter::ResistanceFloor);
        const int vFloor = int(SettleParameter::VoltageFloor);
        const int lift = int(SettleParameter::LiftVolts);
        QTest::newRow("count") << count << "5" << 5.0 << "";
        QTest::newRow("count with blanks") << count << " 4 " << 4.0 << "";
        QTest::newRow("count at its lowest") << count << "2" << 2.0 << "";
        QTest::newRow("count of one is too few")
            << count << "1" << refused << "Readings to settle must be a whole number from 2 to 10.";
        QTest::newRow("count not whole")
            << count << "3.5" << refused << "Readings to settle must be a whole number from 2 to 10.";
        QTest::newRow("letters")
            << rPercent << "abc" << refused
            << "Resistance tolerance: \"abc\" is not a number. Use digits and \".\" as the decimal point.";
        QTest::newRow("empty") << rPercent << "" << refused
                               << "Resistance tolerance: \"\" is not a number. Use digits and \".\" as the decimal point.";
        QTest::newRow("decimal comma") << rPercent << "1,5" << refused
                                       << "Resistance tolerance: \"1,5\" is not a number. Use digits and \".\" as the decimal point.";
        QTest::newRow("percent") << rPercent << "0.5" << 0.5 << "";
        QTest::newRow("percent too wide") << rPercent << "25" << refused
                                          << "Resistance tolerance must be a number from 0.01 to 20 %.";
        QTest::newRow("infinity") << rPercent << "inf" << refused
                                  << "Resistance tolerance: \"inf\" is not a number. Use digits and \".\" as the decimal point.";
        QTest::newRow("floor of zero") << rFloor << "0" << 0.0 << "";
        QTest::newRow("negative floor") << rFloor << "-0.1" << refused
                                        << "Resistance tolerance at least must be a number from 0 to 100 mOhm.";
        QTest::newRow("voltage floor") << vFloor << "5" << 5.0 << "";
        QTest::newRow("lift") << lift << "0.25" << 0.25 << "";
        QTest::newRow("lift of zero would never lift on voltage")
            << lift << "0" << refused << "Lifted below must be a number from 0.01 to 5 V.";
    }

    void parameterEntriesAreCheckedAgainstTheirBounds()
    {
        QFETCH(int, parameter);
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(QString, error);
        SettleRule rule;
        const SettleRule before = rule;
        const Status result = setParameterFromText(text, SettleParameter(parameter), rule);
        if (qIsNaN(value)) {
            QVERIFY(!result);
            QCOMPARE(result.errorString(), error);
            QVERIFY(rule == before);
        } else {
            QVERIFY2(result, qPrintable(result.errorString()));
            QCOMPARE(parameterValue(rule, SettleParameter(parameter)), value);
        }
    }

    void unitsAreConvertedToOhmsAndVolts()
    {
        SettleRule rule;
        QVERIFY(setParameterFromText(QStringLiteral("0.5"), SettleParameter::ResistanceFloor, rule));
        QVERIFY(setParameterFromText(QStringLiteral("3"), SettleParameter::VoltageFloor, rule));
        QCOMPARE(rule.resistanceFloorOhms, 0.0005);
        QCOMPARE(rule.voltageFloorVolts, 0.003);
        QCOMPARE(parameterText(rule, SettleParameter::ResistanceFloor), QStringLiteral("0.5"));
    }

    void missingFileGivesTheDefaults()
    {
        QTemporaryDir dir;
        const Result<HandsFreeOptions> loaded = loadHandsFreeOptions(dir.path());
        QVERIFY(loaded);
        const HandsFreeOptions &options = *loaded;
        QVERIFY(options == HandsFreeOptions());
        QVERIFY(!options.autoRecord);
        QVERIFY(!options.sound);
        QCOMPARE(options.rule.settleCount, 3);
        QCOMPARE(options.rule.resistancePercent, 1.0);
        QCOMPARE(options.rule.voltagePercent, 0.2);
        QCOMPARE(options.rule.liftVolts, 0.1);
    }

    void savedOptionsComeBack()
    {
        QTemporaryDir dir;
        HandsFreeOptions options;
        options.autoRecord = true;
        options.sound = true;
        options.rule.settleCount = 4;
        options.rule.resistancePercent = 0.5;
        options.rule.resistanceFloorOhms = 0.0002;
        options.rule.voltagePercent = 0.1;
        options.rule.voltageFloorVolts = 0.001;
        options.rule.liftVolts = 0.3;
        QVERIFY(saveHandsFreeOptions(dir.path(), options));
        const Result<HandsFreeOptions> loaded = loadHandsFreeOptions(dir.path());
        QVERIFY(loaded && *loaded == options);
        // Only its own file: Settings.ini is not touched.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("HandsFree.ini")});
    }

    void damagedValuesFallBackOneByOne()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(handsFreeOptionsPath(dir.path()),
                          "[AutoRecord]\nenabled=true\nsettleReadings=1\nresistanceTolerance=abc\n"
                          "voltageTolerance=0.5\nliftVoltage=99\n[Sound]\nenabled=maybe\n\x01\xff garbage\n"));
        const Result<HandsFreeOptions> loaded = loadHandsFreeOptions(dir.path());
        QVERIFY(loaded);
        const HandsFreeOptions &options = *loaded;
        QVERIFY(options.autoRecord);
        QVERIFY(!options.sound);
        QCOMPARE(options.rule.settleCount, 3);
        QCOMPARE(options.rule.resistancePercent, 1.0);
        QCOMPARE(options.rule.voltagePercent, 0.5);
        QCOMPARE(options.rule.liftVolts, 0.1);
    }

    void unwritableFolderIsReported()
    {
        // A "folder" that is a regular file cannot hold the options, whoever runs.
        QTemporaryDir dir;
        const QString notAFolder = QDir(dir.path()).filePath(QStringLiteral("plain"));
        QVERIFY(writeFile(notAFolder, "x"));
        const Status saved = saveHandsFreeOptions(notAFolder, HandsFreeOptions());
        QVERIFY(!saved);
        QVERIFY2(saved.errorString().contains(QStringLiteral("HandsFree.ini")), qPrintable(saved.errorString()));
    }

    void aFolderInTheFilesPlaceIsNeitherReadNorReplaced()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("HandsFree.ini")));
        const Result<HandsFreeOptions> loaded = loadHandsFreeOptions(dir.path());
        QVERIFY(loaded && *loaded == HandsFreeOptions());
        const Status saved = saveHandsFreeOptions(dir.path(), HandsFreeOptions());
        QVERIFY(!saved);
        QVERIFY(saved.errorString().contains(QStringLiteral("not a regular file")));
        QVERIFY(QFileInfo(handsFreeOptionsPath(dir.path())).isDir());
    }

    void anOversizedFileIsNeitherReadNorRewritten()
    {
        // Valid options followed by junk past the size any options file has.
        QTemporaryDir dir;
        const QString path = handsFreeOptionsPath(dir.path());
        const QByteArray content = "[AutoRecord]\nenabled=true\n[Sound]\nenabled=true\n"
            + QByteArray(2 * 1024 * 1024, 'j') + '\n';
        QVERIFY(writeFile(path, content));
        const Result<HandsFreeOptions> loaded = loadHandsFreeOptions(dir.path());
        QVERIFY(!loaded);
        QCOMPARE(loaded.errorString(), path + QStringLiteral(" is larger than 1 MB"));
        HandsFreeOptions changed;
        changed.autoRecord = true;
        const Status saved = saveHandsFreeOptions(dir.path(), changed);
        QVERIFY(!saved);
        QVERIFY2(saved.errorString().contains(QStringLiteral("HandsFree.ini")), qPrintable(saved.errorString()));
        QVERIFY(readAll(path) == content);
    }
};

BIN4870_TEST(TestHandsFreeOptions)
#include "tst_handsfreeoptions.moc"
