#include "testmain.h"

#include "accessiblenames.h"
#include "englishplurals.h"
#include "everywindow.h"
#include "formmainharness.h"

#include "app/cellids/cellhistorywindow.h"
#include "app/cellids/cellidcontrols.h"
#include "app/cellids/cellidoptionsdialog.h"
#include "app/centralrecord/centralrecordcontrols.h"
#include "app/centralrecord/centralrecorddialog.h"
#include "app/quality/qualitywindow.h"
#include "app/mainwindow/counterwindow.h"
#include "bins/bintables.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
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
        h.window->showValue(0, QStringLiteral("12.5 mOhm"));
        h.window->showValue(1, QStringLiteral("4.31 V"));
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
                 QStringLiteral("7 cells, Resistance BIN 3"));

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

    // What changes on screen reaches a screen reader with the change: the
    // counts as counted, the cell-ID notice, the K-value and the history
    // summary; each mode option names its table, each combo its caption, and
    // every chart has its main figures in words.
    void everyFigureReadsAsShownAfterItChanges()
    {
        QVERIFY(m_dir.isValid());
        FormMainHarness h(m_dir.path());
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        const auto name = [](QWidget *widget) {
            return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        };
        // A combo box is named by the choice it shows; a screen reader reads
        // its caption from the label it is labelled by.
        const auto labelOf = [](QWidget *widget) {
            const auto labels = QAccessible::queryAccessibleInterface(widget)->relations(QAccessible::Label);
            return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
        };
        // The counter window open while cells are counted.
        CounterWindow counter(h.binTables);
        counter.setAttribute(Qt::WA_DeleteOnClose, false);
        counter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&counter));
        auto *count = counter.findChild<QLabel *>(QStringLiteral("Label2_2"));
        auto *total = counter.findChild<QLabel *>(QStringLiteral("Label2_21"));
        h.setCounter(0, 2, 7);
        h.setCounter(1, 10, 1);
        QVERIFY2(name(count).startsWith(QLatin1String("7")) && name(count).contains(QLatin1String("Resistance BIN 3")),
                 qPrintable(name(count)));
        QVERIFY2(name(total).startsWith(QLatin1String("1")) && name(total).contains(QLatin1String("Voltage TOTAL")),
                 qPrintable(name(total)));
        h.setCounter(0, 2, 8);
        QVERIFY2(name(count).startsWith(QLatin1String("8")), qPrintable(name(count)));
        int visited = 0;
        QStringList problems = unnamedIn(&counter, &visited);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));

        // The cell-ID strip and the history window as their texts change.
        CellIdControls &cellIds = h.window->cellIds();
        CellIdOptions options;
        options.enabled = true;
        cellIds.setOptions(options);
        for (const QString &text : {QStringLiteral("Cell C-1: ready, no earlier record."),
                                    QStringLiteral("Cell C-2 was recorded before (1 time).")}) {
            cellIds.notice()->setText(text);
            QVERIFY2(name(cellIds.notice()).contains(text), qPrintable(name(cellIds.notice())));
        }
        cellIds.kValueLabel()->setText(QStringLiteral("K 2.50 mV/day too high"));
        QVERIFY2(name(cellIds.kValueLabel()).contains(QLatin1String("K 2.50 mV/day too high")),
                 qPrintable(name(cellIds.kValueLabel())));
        cellIds.openHistoryWindow();
        QVERIFY(QTest::qWaitForWindowExposed(cellIds.historyWindow()));
        cellIds.historyWindow()->showCell(QStringLiteral("C-1"));
        const QString summary = cellIds.historyWindow()->summary()->text();
        QVERIFY(!summary.isEmpty());
        QVERIFY2(name(cellIds.historyWindow()->summary()).contains(summary),
                 qPrintable(name(cellIds.historyWindow()->summary())));
        cellIds.historyWindow()->close();

        // The central record's combo by its caption.
        h.window->centralRecord().openDialog();
        QWidget *central = h.window->centralRecord().dialog();
        QVERIFY(QTest::qWaitForWindowExposed(central));
        for (QComboBox *combo : central->findChildren<QComboBox *>())
            QVERIFY2(labelOf(combo).startsWith(QLatin1String("TLS mode")), qPrintable(labelOf(combo)));
        problems = unnamedIn(central, &visited);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        central->close();

        // The batch window's charts and combos, both tabs.
        const QString path = m_dir.filePath(QStringLiteral("figures.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 30; ++i)
            file.write(QStringLiteral("2026/12/07,14:%1:09,%2E-3,3.%3\r\n").arg(i, 2, 10, QLatin1Char('0'))
                           .arg(20 + i % 7).arg(600 + i % 5).toLatin1());
        file.close();
        setOneBinPerTable(h.window->ui());
        QualityWindow batch(h.binTables, path);
        batch.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy ended(&batch, &QualityWindow::readingEnded);
        batch.show();
        QVERIFY(ended.wait(60000));
        auto *tabs = batch.findChild<QTabWidget *>(QStringLiteral("batchTabs"));
        tabs->setCurrentIndex(1);
        QCOMPARE(batch.analysis().summary.count(), qint64(30));
        const QList<QChartView *> charts = batch.findChildren<QChartView *>();
        QVERIFY(charts.size() >= 7);
        static const QRegularExpression figure(QStringLiteral("\\d"));
        for (QChartView *chart : charts) {
            QVERIFY2(chart->accessibleDescription().contains(figure),
                     qPrintable(chart->objectName() + QLatin1String(": ") + chart->accessibleDescription()));
        }
        for (const char *box : {"sourceBox", "benchBox", "rangeBox"}) {
            auto *combo = batch.findChild<QComboBox *>(QLatin1String(box));
            QVERIFY(combo);
            const QString caption = combo == nullptr ? QString() : labelOf(combo);
            QVERIFY2(caption.startsWith(QLatin1String("Source")) || caption.startsWith(QLatin1String("Bench"))
                         || caption.startsWith(QLatin1String("Cells")),
                     qPrintable(caption));
        }
        problems = unnamedIn(&batch, &visited);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));

        QCOMPARE(name(h.window->ui().resistanceModes[0]), QStringLiteral("Resistance Max - Min"));
        QCOMPARE(name(h.window->ui().voltageModes[2]), QStringLiteral("Voltage Ref - %"));
    }

    // Every window and dialog the main window opens passes the same walk.
    void everyWindowHasNamesThatHoldWhatItShows()
    {
        QVERIFY(m_dir.isValid());
        QFile guide(m_dir.filePath(QStringLiteral("readmeE.txt")));
        QVERIFY(guide.open(QIODevice::WriteOnly));
        guide.write("The guide.\n");
        guide.close();
        FormMainHarness h(m_dir.path());
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QStringList problems;
        int windows = 0;
        QVERIFY(everywindow::visitDialogs(*h.window, [&problems, &windows](QWidget *window, const QString &what) {
            int visited = 0;
            for (const QString &problem : unnamedIn(window, &visited))
                problems << QStringLiteral("%1: %2").arg(what, problem);
            ++windows;
        }));
        QVERIFY(windows >= 10);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
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
