#include "testmain.h"
#include "filecontent.h"

#include "settings/capacitycsvoptions.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The capacity file's columns in CapacityCsv.ini beside Settings.ini.

class TestCapacityCsvOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aSavedMappingComesBackAndSettingsIniIsLeftAlone()
    {
        QTemporaryDir dir;
        QVERIFY(*loadCapacityColumns(dir.path()) == CapacityColumns());
        for (const QChar separator : {QLatin1Char(';'), QLatin1Char('\t'), QLatin1Char('|'), QLatin1Char(',')}) {
            CapacityColumns columns;
            columns.idColumn = 3;
            columns.capacityColumn = 7;
            columns.headerRow = false;
            columns.separator = separator;
            columns.decimalComma = separator != QLatin1Char(',');
            QVERIFY(saveCapacityColumns(dir.path(), columns));
            QVERIFY(*loadCapacityColumns(dir.path()) == columns);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("CapacityCsv.ini")});
    }

    void aHandWrittenFileIsReadByTheSeparatorsName()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(capacityCsvOptionsPath(dir.path()),
                          "[Columns]\ncellId=2\ncapacity=5\nheaderRow=false\nseparator=Semicolon\ndecimalComma=true\n"));
        const CapacityColumns columns = *loadCapacityColumns(dir.path());
        QCOMPARE(columns.idColumn, 2);
        QCOMPARE(columns.capacityColumn, 5);
        QVERIFY(!columns.headerRow);
        QCOMPARE(columns.separator, QLatin1Char(';'));
        QVERIFY(columns.decimalComma);
    }

    void aMappingThatCannotWorkIsNeitherLoadedNorSaved_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("same column twice") << QByteArray("[Columns]\ncellId=2\ncapacity=2\n");
        QTest::newRow("column 0") << QByteArray("[Columns]\ncellId=0\n");
        QTest::newRow("column not a number") << QByteArray("[Columns]\ncapacity=B\n");
        QTest::newRow("unknown separator") << QByteArray("[Columns]\nseparator=colon\n");
        QTest::newRow("decimal comma with commas") << QByteArray("[Columns]\nseparator=comma\ndecimalComma=true\n");
    }

    void aMappingThatCannotWorkIsNeitherLoadedNorSaved()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(writeFile(capacityCsvOptionsPath(dir.path()), content));
        QVERIFY(*loadCapacityColumns(dir.path()) == CapacityColumns());

        CapacityColumns same;
        same.capacityColumn = same.idColumn;
        const Status saved = saveCapacityColumns(dir.path(), same);
        QVERIFY(!saved);
        QCOMPARE(saved.errorString(), QStringLiteral("The cell ID and the capacity need columns of their own."));
        QCOMPARE(readAll(capacityCsvOptionsPath(dir.path())), content);
    }

    void aFileThatCannotBeReadIsToldNotTakenForTheDefaults()
    {
        QTemporaryDir dir;
        const QString path = capacityCsvOptionsPath(dir.path());
        QVERIFY(writeFile(path, QByteArray("[Columns]\ncellId=3\n\0\xfe", 21)));
        const Result<CapacityColumns> loaded = loadCapacityColumns(dir.path());
        QVERIFY(!loaded);
        QCOMPARE(loaded.errorString(), QDir::toNativeSeparators(path) + QStringLiteral(" is not a text file"));
    }
};

BIN4870_TEST(TestCapacityCsvOptions)
#include "tst_capacitycsvoptions.moc"
