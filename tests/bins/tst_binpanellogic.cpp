#include "testmain.h"

#include "bintablefixture.h"

#include "bins/binpanellogic.h"
#include "common/apperror.h"

#include <QTest>

namespace {

PanelEntries entries(int mode, const QString &count, const QString &first, const QString &second)
{
    PanelEntries e;
    if (mode >= 0)
        e.modeSelected[std::size_t(mode)] = true;
    e.binCountText = count;
    e.firstText = first;
    e.secondText = second;
    return e;
}

// The nine limit texts: those of the BINs in use, then the empty rows.
QStringList padded(QStringList used)
{
    while (used.size() < 9)
        used.append(QString());
    return used;
}

QStringList toList(const std::array<QString, 9> &texts)
{
    return QStringList(texts.begin(), texts.end());
}

// A table as the previous update left it, with counts to be cleared.
BinTable countedTable()
{
    BinTable table;
    table.mode = BinMode::MinStep;
    table.numBins = 2;
    table.minValue = 1;
    table.stepValue = 1;
    table.maxValue = 77;
    table.refValue = 88;
    table.percentValue = 9;
    table = withLimits(table);
    table.binCount = {3, 4, 0, 0, 0, 0, 0, 0, 0, 2};
    table.totalCount = 9;
    return table;
}

} // namespace

Q_DECLARE_METATYPE(PanelEntries)

class TestBinPanelLogic : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void countAboveNineIsCapped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("capped");

        QTest::newRow("9") << "9" << false;
        QTest::newRow("10") << "10" << true;
        QTest::newRow("9.0") << "9.0" << false;
        QTest::newRow("9.4") << "9.4" << true;
        QTest::newRow("8.5") << "8.5" << false;
        QTest::newRow("blank 1 blank 2 reads 12") << " 1 2" << true;
        QTest::newRow("exponent") << "1e1" << true;
        QTest::newRow("hexadecimal ten") << "&HA" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("letters") << "abc" << false;
        QTest::newRow("negative") << "-40000" << false;
    }
    void countAboveNineIsCapped()
    {
        QFETCH(QString, text);
        QFETCH(bool, capped);
        QCOMPARE(binCountNeedsCap(text), capped);
    }

    void rebuildsTheTableFromTheEntries_data()
    {
        QTest::addColumn<PanelEntries>("panel");
        QTest::addColumn<bool>("voltage");
        QTest::addColumn<int>("numBins");
        QTest::addColumn<QString>("firstCaption");
        QTest::addColumn<QString>("secondCaption");
        QTest::addColumn<QStringList>("lower");
        QTest::addColumn<QStringList>("upper");

        QTest::newRow("max-min 0..9 in 3") << entries(0, "3", "0", "9") << false << 3 << "MIN =" << "MAX ="
                                           << padded({"0.0", "3.0", "6.0"}) << padded({"3.0", "6.0", "9.0"});
        QTest::newRow("no button selected reads max-min") << entries(-1, "1", "2", "4") << false << 1
                                                          << "MIN =" << "MAX =" << padded({"2.0"})
                                                          << padded({"4.0"});
        QTest::newRow("min-step 10,2 in 4") << entries(1, "4", "10", "2") << false << 4 << "MIN =" << "STEP ="
                                            << padded({"10.0", "12.0", "14.0", "16.0"})
                                            << padded({"12.0", "14.0", "16.0", "18.0"});
        QTest::newRow("ref 100 5% in 3") << entries(2, "3", "100", "5") << false << 3 << "REF =" << "% ="
                                         << padded({"95.0", "90.0", "85.0"})
                                         << padded({"105.0", "110.0", "115.0"});
        QTest::newRow("count 8.5 gives 8") << entries(1, "8.5", "0", "1") << false << 8 << "MIN =" << "STEP ="
                                           << padded({"0.0", "1.0", "2.0", "3.0", "4.0", "5.0", "6.0", "7.0"})
                                           << padded({"1.0", "2.0", "3.0", "4.0", "5.0", "6.0", "7.0", "8.0"});
        QTest::newRow("count 9.0 gives 9") << entries(1, "9.0", "0", "1") << false << 9 << "MIN =" << "STEP ="
                                           << QStringList{"0.0", "1.0", "2.0", "3.0", "4.0", "5.0", "6.0", "7.0",
                                                          "8.0"}
                                           << QStringList{"1.0", "2.0", "3.0", "4.0", "5.0", "6.0", "7.0", "8.0",
                                                          "9.0"};
        QTest::newRow("count 2.5 rounds to even") << entries(1, "2.5", "0", "1") << false << 2 << "MIN ="
                                                  << "STEP =" << padded({"0.0", "1.0"}) << padded({"1.0", "2.0"});
        QTest::newRow("empty count gives no BINs") << entries(0, "", "0", "9") << false << 0 << "MIN ="
                                                   << "MAX =" << padded({}) << padded({});
        QTest::newRow("letters give no BINs") << entries(0, "abc", "0", "9") << false << 0 << "MIN ="
                                              << "MAX =" << padded({}) << padded({});
        QTest::newRow("negative count gives no BINs") << entries(0, "-2", "0", "9") << false << -2 << "MIN ="
                                                      << "MAX =" << padded({}) << padded({});
        QTest::newRow("3 blank letter gives 3") << entries(0, "3 x", "0", "9") << false << 3 << "MIN ="
                                                << "MAX =" << padded({"0.0", "3.0", "6.0"})
                                                << padded({"3.0", "6.0", "9.0"});
        QTest::newRow("comma ends a parameter") << entries(1, "1", "1,5", "2") << false << 1 << "MIN ="
                                                << "STEP =" << padded({"1.0"}) << padded({"3.0"});
        QTest::newRow("voltage panel writes five decimals") << entries(1, "2", "3.2", "0.123456") << true << 2
                                                            << "MIN =" << "STEP ="
                                                            << padded({"3.2", "3.32346"})
                                                            << padded({"3.32346", "3.44691"});
    }
    void rebuildsTheTableFromTheEntries()
    {
        QFETCH(PanelEntries, panel);
        QFETCH(bool, voltage);
        QFETCH(int, numBins);
        QFETCH(QString, firstCaption);
        QFETCH(QString, secondCaption);
        QFETCH(QStringList, lower);
        QFETCH(QStringList, upper);

        BinTable table = countedTable();
        const Result<PanelDisplay> updated = updateBinTable(table, panel, voltage ? getFormatV : getFormatR);
        QVERIFY2(updated, qPrintable(updated.errorString()));
        const PanelDisplay &shown = *updated;

        QCOMPARE(int(table.numBins), numBins);
        QCOMPARE(shown.firstCaption, firstCaption);
        QCOMPARE(shown.secondCaption, secondCaption);
        QCOMPARE(toList(shown.lower), lower);
        QCOMPARE(toList(shown.upper), upper);
        QCOMPARE(table.binCount, (std::array<qint16, 10>{}));
        QCOMPARE(int(table.totalCount), 0);
    }

    void switchingModeRereadsTheSameTexts()
    {
        BinTable table;
        QVERIFY(updateBinTable(table, entries(0, "1", "10", "20"), getFormatR));
        QCOMPARE(table.lowerLimit[0], 10.0f);
        QCOMPARE(table.upperLimit[0], 20.0f);

        const Result<PanelDisplay> updated = updateBinTable(table, entries(2, "1", "10", "20"), getFormatR);
        QVERIFY(updated);
        const PanelDisplay &shown = *updated;
        QCOMPARE(int(table.mode), 2);
        QCOMPARE(shown.firstCaption, QStringLiteral("REF ="));
        QCOMPARE(shown.secondCaption, QStringLiteral("% ="));
        QCOMPARE(shown.lower[0], QStringLiteral("8.0"));
        QCOMPARE(shown.upper[0], QStringLiteral("12.0"));
        // The max-min fields keep their values for a later switch back.
        QCOMPARE(table.minValue, 10.0f);
        QCOMPARE(table.maxValue, 20.0f);
        QCOMPARE(table.refValue, 10.0f);
        QCOMPARE(table.percentValue, 20.0f);
    }

    void onlyTheFieldsOfTheModeAreWritten()
    {
        BinTable table = countedTable();
        QVERIFY(updateBinTable(table, entries(1, "2", "5", "0.5"), getFormatR));
        QCOMPARE(table.minValue, 5.0f);
        QCOMPARE(table.stepValue, 0.5f);
        QCOMPARE(table.maxValue, 77.0f);
        QCOMPARE(table.refValue, 88.0f);
        QCOMPARE(table.percentValue, 9.0f);
    }

    void numbersTheTableCannotHoldLeaveItUntouched_data()
    {
        QTest::addColumn<PanelEntries>("panel");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("message");

        QTest::newRow("count too large") << entries(1, "40000", "0", "1") << int(ErrorKind::SubscriptOutOfRange)
                                         << "The BIN count 40000 is too large; at most 9 BINs can be set up.";
        QTest::newRow("count not capped") << entries(1, "10", "0", "1") << int(ErrorKind::SubscriptOutOfRange)
                                          << "The BIN count 10 is too large; at most 9 BINs can be set up.";
        QTest::newRow("count below 16 bits") << entries(1, "-40000", "0", "1") << int(ErrorKind::Overflow)
                                             << "The BIN count -40000 is too small.";
        QTest::newRow("first beyond float") << entries(1, "3", "1e39", "1") << int(ErrorKind::Overflow)
                                            << "The MIN value 1e+39 is too large for a BIN table.";
        QTest::newRow("second beyond float") << entries(2, "3", "1", "-1e39") << int(ErrorKind::Overflow)
                                             << "The % value -1e+39 is too small for a BIN table.";
        const QString limitsMessage = QStringLiteral(
            "The BIN limits of this set-up lie outside the range of numbers a BIN table can hold.");
        QTest::newRow("width beyond float") << entries(0, "1", "-3e38", "3e38") << int(ErrorKind::Overflow)
                                            << limitsMessage;
        QTest::newRow("later row beyond float") << entries(1, "5", "1e38", "1e38") << int(ErrorKind::Overflow)
                                                << limitsMessage;
    }
    void numbersTheTableCannotHoldLeaveItUntouched()
    {
        QFETCH(PanelEntries, panel);
        QFETCH(int, number);
        QFETCH(QString, message);

        BinTable table = countedTable();
        const BinTable before = table;
        const Result<PanelDisplay> updated = updateBinTable(table, panel, getFormatR);
        QVERIFY2(!updated, "the entries were accepted");
        QCOMPARE(updated.kind(), ErrorKind(number));
        QCOMPARE(updated.errorString(), message);
        QVERIFY(table == before);
    }
};

BIN4870_TEST(TestBinPanelLogic)
#include "tst_binpanellogic.moc"
