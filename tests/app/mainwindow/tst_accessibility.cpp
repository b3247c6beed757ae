#include "testmain.h"

#include "accessiblenames.h"
#include "englishplurals.h"
#include "formmainharness.h"

#include "app/cellids/cellhistorywindow.h"
#include "app/cellids/cellidcontrols.h"
#include "app/cellids/cellidoptionsdialog.h"
#include "app/quality/qualitywindow.h"
#include "app/mainwindow/counterwindow.h"
#include "bins/bintables.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using accessiblenames::unnamedIn;

// A screen reader finds a name for every control of the main, counter and
// batch windows and the cell-ID windows, and hears a changed judgement.

class TestAccessibility : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    // Count texts read as the operator sees them ("1 cell", "2 cells").
    void initTestCase() { QVERIFY(englishplurals::install()); }
    void everyControlOfTheThreeWindowsHasAName()
    {
        QVERIFY(m_dir.isValid());
        FormMainHarness h(m_dir.path());
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        setOneBinPerTable(h.window->ui());
        // A judgement shown, so the grid, out labels and values carry text.
        ReadingJudgement judgement;
        judgement.tables[0].binsInUse = 1;
        judgement.tables[0].lit.set(0);
        judgement.tables[0].out = OutSide::None;
        judgement.tables[1].binsInUse = 1;
        judgement.tables[1].out = OutSide::Above;
        h.window->showValue(0, QStringLiteral("12.5mOhm"));
        h.window->showValue(1, QStringLiteral("4.31V"));
        h.window->showJudgement(judgement);

        int visited = 0;
        QStringList unnamed = unnamedIn(h.window.get(), &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        QVERIFY2(visited > 100, qPrintable(QString::number(visited)));
        const auto name = [](QWidget *widget) {
            return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        };
        QCOMPARE(name(h.window->ui().lowerLimits[11]), QStringLiteral("Voltage BIN 3 lower limit"));
        QCOMPARE(name(h.window->ui().resistanceEntries[0]), QStringLiteral("Resistance BIN count"));
        QCOMPARE(name(h.window->ui().voltageEntries[2]), QStringLiteral("Voltage MAX"));
        QCOMPARE(name(h.window->ui().binCells[0]), QStringLiteral("Resistance BIN 1, lit"));
        QCOMPARE(name(h.window->ui().binCells[9]), QStringLiteral("Voltage BIN 1, not lit"));
        QCOMPARE(name(h.window->ui().binCells[10]), QStringLiteral("Voltage BIN 2, not in use"));

        // With cell IDs on: the strip below the window, its options and the
        // cell history, a warning and a K-value shown.
        CellIdControls &cellIds = h.window->cellIds();
        CellIdOptions options;
        options.enabled = true;
        cellIds.setOptions(options);
        cellIds.kValueLabel()->setText(QStringLiteral("K 1.00 mV/day OK"));
        cellIds.notice()->setText(QStringLiteral("Cell C-1: ready, no earlier record."));
        unnamed = unnamedIn(h.window.get(), &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        QCOMPARE(name(cellIds.field()), QStringLiteral("Cell ID"));
        cellIds.openOptionsDialog();
        QVERIFY(QTest::qWaitForWindowExposed(cellIds.optionsDialog()));
        unnamed = unnamedIn(cellIds.optionsDialog(), &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        cellIds.optionsDialog()->close();
        cellIds.openHistoryWindow();
        QVERIFY(QTest::qWaitForWindowExposed(cellIds.historyWindow()));
        cellIds.historyWindow()->showCell(QStringLiteral("C-1"));
        unnamed = unnamedIn(cellIds.historyWindow(), &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        cellIds.historyWindow()->close();

        BinTables tables;
        BinTable counted;
        counted.binCount[2] = 7;
        tables.setTable(0, counted);
        CounterWindow counter(tables);
        counter.setAttribute(Qt::WA_DeleteOnClose, false);
        counter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&counter));
        unnamed = unnamedIn(&counter, &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        QVERIFY(visited > 40);
        const auto *count = counter.findChild<QLabel *>(QStringLiteral("Label2_2"));
        QCOMPARE(QAccessible::queryAccessibleInterface(const_cast<QLabel *>(count))->text(QAccessible::Name),
                 QStringLiteral("Resistance BIN 3 count"));

        const QString path = m_dir.filePath(QStringLiteral("batch.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("2026/12/07,14:05:09,10E-3,3.2\r\n2026/12/07,14:05:10,15E-3,3.6\r\n");
        file.close();
        QualityWindow batch(h.binTables, path);
        batch.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy ended(&batch, &QualityWindow::readingEnded);
        batch.show();
        QVERIFY(ended.wait(20000));
        unnamed = unnamedIn(&batch, &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        // The stability tab's controls as well.
        auto *tabs = batch.findChild<QTabWidget *>(QStringLiteral("batchTabs"));
        QVERIFY(tabs);
        tabs->setCurrentIndex(1);
        unnamed = unnamedIn(&batch, &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        tabs->setCurrentIndex(0);
        // The charts' text alternative gives their main figures.
        const QString histogram = batch.findChild<QWidget *>(QStringLiteral("histogramR"))->accessibleDescription();
        QVERIFY2(histogram.contains(QLatin1String("2 cells")) && histogram.contains(QLatin1String("BIN 1: 2 cells")),
                 qPrintable(histogram));
    }

    void aChangedJudgementIsAnnouncedOnce()
    {
        QVERIFY(m_dir.isValid());
        FormMainHarness h(m_dir.path());
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QSignalSpy announced(h.window.get(), &FormMain::judgementAnnounced);

        ReadingJudgement judgement;
        judgement.tables[0].binsInUse = 5;
        judgement.tables[0].lit.set(2);
        judgement.tables[0].out = OutSide::None;
        judgement.tables[1].binsInUse = 4;
        judgement.tables[1].out = OutSide::Below;
        h.window->showJudgement(judgement);
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced.last().at(0).toString(), QStringLiteral("Resistance BIN 3, Voltage -Out"));
        QCOMPARE(h.window->ui().resultFrame->accessibleDescription(), QStringLiteral("Resistance BIN 3, Voltage -Out"));

        // The next cycles bring the same judgement: nothing more is said.
        h.window->showJudgement(judgement);
        h.window->showJudgement(judgement);
        QCOMPARE(announced.size(), 1);

        judgement.tables[0].lit.reset();
        judgement.tables[0].out = OutSide::Above;
        h.window->showJudgement(judgement);
        QCOMPARE(announced.size(), 2);
        QCOMPARE(announced.last().at(0).toString(), QStringLiteral("Resistance +Out, Voltage -Out"));

        // A stale reading clears the grid; the next judgement is told again.
        h.window->showStale(QStringLiteral("old"));
        h.window->showJudgement(judgement);
        QCOMPARE(announced.size(), 3);
    }
};

BIN4870_TEST(TestAccessibility)
#include "tst_accessibility.moc"
