#include "testmain.h"
#include "filecontent.h"

#include "pack/capacitycsv.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// Capacities from a file keyed by cell ID: every row gives a capacity or is
// listed with its row number and the reason, never dropped unsaid.

namespace {

const std::set<QString> kKnown = {QStringLiteral("C1"), QStringLiteral("C2"), QStringLiteral("C3"),
                                  QStringLiteral("C4"), QStringLiteral("C5")};

// "row: reason" for each problem, for one comparison.
QStringList problemsOf(const CapacityImport &import)
{
    QStringList lines;
    for (const CapacityRowProblem &problem : import.problems)
        lines << QStringLiteral("%1: %2").arg(problem.row).arg(problem.reason);
    return lines;
}

// "ID=mAh" for each capacity, by ID.
QStringList capacitiesOf(const CapacityImport &import)
{
    QStringList lines;
    for (const auto &[id, value] : import.capacities)
        lines << QStringLiteral("%1=%2").arg(id, QString::number(value.mah, 'g', 10));
    return lines;
}

CapacityColumns columns(QChar separator = QLatin1Char(','), bool decimalComma = false, bool header = true)
{
    CapacityColumns c;
    c.separator = separator;
    c.decimalComma = decimalComma;
    c.headerRow = header;
    return c;
}

} // namespace

class TestCapacityCsv : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyRowGivesACapacityOrAReason_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<bool>("decimalComma");
        QTest::addColumn<QStringList>("capacities");
        QTest::addColumn<QStringList>("problems");

        QTest::newRow("plain file") << QByteArray("id,mAh\nC1,3012\nC2,2990.5\n") << "," << false
                                    << QStringList{"C1=3012", "C2=2990.5"} << QStringList{};
        QTest::newRow("unknown ID") << QByteArray("id,mAh\nC1,3012\nX9,3000\n") << "," << false
                                    << QStringList{"C1=3012"}
                                    << QStringList{"3: unknown cell ID X9: no record holds it"};
        QTest::newRow("duplicate ID: every row listed, no capacity")
                << QByteArray("id,mAh\nC1,3012\nC2,3000\nC1,3012\nC1,2950\n") << "," << false
                << QStringList{"C2=3000"}
                << QStringList{"2: cell ID C1 is also in row(s) 4, 5: its capacity is left out",
                               "4: cell ID C1 is also in row(s) 2, 5: its capacity is left out",
                               "5: cell ID C1 is also in row(s) 2, 4: its capacity is left out"};
        QTest::newRow("thousands comma splits the row")
                << QByteArray("id,mAh\nC1,3,012\nC2,2990\n") << "," << false << QStringList{"C2=2990"}
                << QStringList{"2: 3 field(s) where the header has 2 (a comma inside a number? Write numbers without "
                               "a thousands separator, or put the field in double quotes)"};
        QTest::newRow("quoted thousands comma is no number")
                << QByteArray("id,mAh\nC1,\"3,012\"\n") << "," << false << QStringList{}
                << QStringList{"2: capacity \"3,012\" has a decimal comma; the file is set for a decimal point"};
        QTest::newRow("quoted field with the separator inside")
                << QByteArray("id,mAh,note\nC1,3012,\"lot 7, tray 2\"\n\"C2\",\"2990\",\"said \"\"ok\"\"\"\n")
                << "," << false << QStringList{"C1=3012", "C2=2990"} << QStringList{};
        QTest::newRow("quoted line break keeps the row numbers")
                << QByteArray("id,mAh,note\nC1,3012,\"two\nlines\"\nC2,abc,x\n") << "," << false
                << QStringList{"C1=3012"} << QStringList{"4: capacity \"abc\" is not a number"};
        QTest::newRow("decimal comma with semicolons")
                << QByteArray("id;mAh\nC1;3012,5\nC2;2990.5\n") << ";" << true << QStringList{"C1=3012.5"}
                << QStringList{"3: capacity \"2990.5\" has a decimal point; the file is set for a decimal comma"};
        QTest::newRow("empty rows are listed")
                << QByteArray("id,mAh\nC1,3012\n\n   \nC2,2990\n\n") << "," << false
                << QStringList{"C1=3012", "C2=2990"} << QStringList{"3: empty row", "4: empty row", "6: empty row"};
        QTest::newRow("missing fields")
                << QByteArray("id,mAh\nC1\n,3000\nC3,\n") << "," << false << QStringList{}
                << QStringList{"2: 1 field(s) where the header has 2", "3: no cell ID in column 1",
                               "4: no capacity in column 2"};
        QTest::newRow("bad numbers")
                << QByteArray("id,mAh\nC1,abc\nC2,-3000\nC3,0\nC4,1e3\nC5,2000000\n") << "," << false
                << QStringList{}
                << QStringList{"2: capacity \"abc\" is not a number", "3: capacity \"-3000\" is negative",
                               "4: capacity \"0\" is not above 0", "5: capacity \"1e3\" is not a number",
                               "6: capacity \"2000000\" is more than 1000000 mAh"};
        QTest::newRow("invalid cell ID") << QByteArray("id,mAh\n=C1,3000\n") << "," << false << QStringList{}
                                         << QStringList{"2: The cell ID \"=C1\" starts with \"=\", which a "
                                                        "spreadsheet reads as a formula."};
        QTest::newRow("byte order mark, CR LF, tabs")
                << QByteArray("\xEF\xBB\xBFid\tmAh\r\nC1\t3012\r\nC2\t 2990 \r\n") << "\t" << false
                << QStringList{"C1=3012", "C2=2990"} << QStringList{};
        QTest::newRow("quote left open")
                << QByteArray("id,mAh\nC1,3012\nC2,\"2990\nC3,3000\n") << "," << false << QStringList{"C1=3012"}
                << QStringList{"3: a quoted field is not closed"};
    }

    void everyRowGivesACapacityOrAReason()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, separator);
        QFETCH(bool, decimalComma);
        QFETCH(QStringList, capacities);
        QFETCH(QStringList, problems);
        const Result<CapacityImport> import = readCapacityCsv(content, columns(separator.front(), decimalComma), kKnown);
        QVERIFY2(import, qPrintable(import.errorString()));
        QCOMPARE(capacitiesOf(*import), capacities);
        QCOMPARE(problemsOf(*import), problems);
    }

    void withoutAHeaderMostRowsSetTheFieldCount()
    {
        CapacityColumns c = columns(QLatin1Char(';'), false, false);
        c.idColumn = 2;
        c.capacityColumn = 4;
        const Result<CapacityImport> import =
                readCapacityCsv("1;C1;x;3012\n2;C2;x;2990;extra\n3;C3;x;3001\n", c, kKnown);
        QVERIFY(import);
        QCOMPARE(capacitiesOf(*import), (QStringList{"C1=3012", "C3=3001"}));
        QCOMPARE(problemsOf(*import), QStringList{"2: 5 field(s) where most rows have 4"});
        QCOMPARE(import->dataRows, 3);
    }

    void aMappingThatCannotWorkIsRefusedWhole()
    {
        CapacityColumns same;
        same.capacityColumn = 1;
        QVERIFY(capacityColumnsProblem(same));
        QVERIFY(!readCapacityCsv("id,mAh\nC1,3000\n", same, kKnown));
        QVERIFY(capacityColumnsProblem(columns(QLatin1Char(','), true)));
        QVERIFY(capacityColumnsProblem(columns(QLatin1Char('x'))));
        CapacityColumns zero;
        zero.idColumn = 0;
        QVERIFY(capacityColumnsProblem(zero));
        QVERIFY(!capacityColumnsProblem(CapacityColumns()));

        CapacityColumns third;
        third.capacityColumn = 3;
        const Result<CapacityImport> import = readCapacityCsv("id,mAh\nC1,3000\n", third, kKnown);
        QVERIFY(!import);
        QCOMPARE(import.errorString(), QStringLiteral("The header has 2 field(s); there is no column 3."));
    }

    void aFileIsReadAndItsCapacitiesGoToThePool()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capacity.csv"));
        QVERIFY(writeFile(path, "cell,capacity\nC1,3012\nC2,2990\nC9,3000\n"));
        const Result<CapacityImport> import = readCapacityFile(path, CapacityColumns(), kKnown);
        QVERIFY(import);
        QCOMPARE(import->problems.size(), std::size_t(1));

        std::vector<PoolCell> cells(3);
        cells[0].cellId = QStringLiteral("C2");
        cells[1].cellId = QStringLiteral("C3");
        cells[2].cellId = QStringLiteral("C1");
        QCOMPARE(applyCapacities(cells, *import), 2);
        QCOMPARE(cells[0].capacityMah, std::optional<double>(2990));
        QCOMPARE(cells[0].capacityText, QStringLiteral("2990"));
        QVERIFY(!cells[1].capacityMah);
        QCOMPARE(cells[2].capacityMah, std::optional<double>(3012));
    }

    void aMissingFileOrANamedPipeIsRefusedWithoutWaiting()
    {
        QTemporaryDir dir;
        const Result<CapacityImport> missing =
                readCapacityFile(dir.filePath(QStringLiteral("none.csv")), CapacityColumns(), kKnown);
        QVERIFY(!missing);
        QCOMPARE(missing.kind(), ErrorKind::FileIo);
        QVERIFY(missing.errorString().contains(QStringLiteral("none.csv")));

        const QString pipe = dir.filePath(QStringLiteral("pipe.csv"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const Result<CapacityImport> fromPipe = readCapacityFile(pipe, CapacityColumns(), kKnown);
        QVERIFY(!fromPipe);
        QVERIFY2(fromPipe.errorString().contains(QStringLiteral("pipe")), qPrintable(fromPipe.errorString()));
        QVERIFY(!readCapacityFile(dir.path(), CapacityColumns(), kKnown));
    }
};

BIN4870_TEST(TestCapacityCsv)
#include "tst_capacitycsv.moc"
