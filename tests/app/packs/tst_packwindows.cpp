#include "testmain.h"

#include "accessiblenames.h"
#include "filecontent.h"
#include "packrecords.h"

#include "app/packs/buildsheetwindow.h"
#include "app/packs/placementwindow.h"
#include "app/packs/planview.h"
#include "app/style/warninglabel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

// The build sheet and the placement window driven through their widgets,
// offscreen, on a real journal in a temporary folder: planning, the capacity
// file's problems, saving with its refusal, the trade, and scans answered,
// refused and kept across a restart, with a replacement for a failed cell.

namespace {

constexpr int kWait = 60000;

// Every letter a window's labels and buttons take with Alt, once each.
QStringList repeatedMnemonics(const QWidget &window)
{
    QStringList seen, repeated;
    const auto take = [&](const QString &text) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (key.isEmpty())
            return;
        if (seen.contains(key.toString()))
            repeated << text;
        seen << key.toString();
    };
    for (const QLabel *label : window.findChildren<QLabel *>())
        take(label->text());
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
        take(button->text());
    return repeated;
}

QStringList treeCells(const QTreeWidget *tree)
{
    QStringList cells;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        for (int p = 0; p < tree->topLevelItem(g)->childCount(); ++p)
            cells << tree->topLevelItem(g)->child(p)->text(1);
    }
    cells.sort();
    return cells;
}

} // namespace

class TestPackWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    PackPlaces m_places;
    const BinSetup m_setup = cellfixtures::setup();

    static void press(QPushButton *button, QObject *window)
    {
        QSignalSpy ended(window, SIGNAL(workEnded()));
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        // A request the choices refuse ends at once.
        if (ended.isEmpty())
            QVERIFY(ended.wait(kWait));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_places = PackPlaces{m_dir->path(), m_dir->filePath(QStringLiteral("journal.sqlite")), m_dir->path()};
        std::vector<CellRecord> records;
        QByteArray capacities = "cell;capacity\n";
        for (const PoolCell &cell : generatedPool(60, 12, true)) {
            records.push_back(packrecords::recordOf(cell, QStringLiteral("bench-1"), packrecords::kFirstCount, m_setup));
            capacities += cell.cellId.toUtf8() + ';' + cell.capacityText.toUtf8() + '\n';
        }
        capacities += "C00003;3001\n;3000\n";
        QVERIFY(packrecords::writeJournal(m_places.journalPath, records, m_setup));
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("capacity.csv")), capacities));
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("CapacityCsv.ini")),
                          "[Columns]\ncellId=1\ncapacity=2\nheaderRow=true\nseparator=semicolon\n"));
    }

    void theBuildSheetPlansSavesAndShowsTheTrade()
    {
        BuildSheetWindow window(m_places);
        window.show();
        QVERIFY(repeatedMnemonics(window).isEmpty());
        int visited = 0;
        QStringList unnamed = accessiblenames::unnamedIn(&window, &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        QLineEdit *shape = window.choices()->shapeField();
        shape->selectAll();
        QTest::keyClicks(shape, QStringLiteral("3s4p"));
        QTest::keyClicks(window.choices()->capacityField(), m_dir->filePath(QStringLiteral("capacity.csv")));
        press(window.planButton(), &window);
        QVERIFY2(window.hasPlan(), qPrintable(window.status()->text()));
        QVERIFY(window.status()->text().startsWith(QLatin1String("Planned in ")));

        // Each group's cells under the group, the figures with capacity, and
        // the capacity file's two bad rows by their row.
        QTreeWidget *groups = window.view()->groups();
        QCOMPARE(groups->topLevelItemCount(), 3);
        for (int g = 0; g < 3; ++g)
            QCOMPARE(groups->topLevelItem(g)->childCount(), 4);
        const QString summary = window.view()->summary()->toPlainText();
        for (const char *expected : {"Not saved", "Capacity range between groups:", "Expected pack capacity:",
                                     "Group resistance range:", "Expected pack resistance:", "Seed 1,",
                                     "59 cell(s) of the pool with a capacity", "3 row(s) gave no capacity"})
            QVERIFY2(summary.contains(QLatin1String(expected)), expected);
        QListWidget *problems = window.view()->problems();
        QCOMPARE(problems->count(), 3);
        QVERIFY2(problems->item(0)->text().startsWith(QLatin1String("Row 5: cell ID C00003 is also in row(s) 62")),
                 qPrintable(problems->item(0)->text()));
        QCOMPARE(problems->item(2)->text(), QStringLiteral("Row 63: no cell ID in column 1"));

        press(window.tradeButton(), &window);
        QTableWidget *trade = window.view()->trade();
        QCOMPARE(trade->rowCount(), 5);
        QCOMPARE(trade->item(2, 0)->text(), QStringLiteral("10 %"));

        const QStringList planned = treeCells(groups);
        press(window.saveButton(), &window);
        QVERIFY2(window.status()->text().startsWith(QLatin1String("Saved as pack 3s4p ")), qPrintable(window.status()->text()));
        QVERIFY(!window.saveButton()->isEnabled());
        QStringList reserved;
        for (const QString &id : readReservedIds(m_places.journal()).valueOr({}))
            reserved << id;
        QCOMPARE(reserved, planned);
        QVERIFY(window.view()->summary()->toPlainText().startsWith(QLatin1String("Saved as pack 3s4p ")));

        const QString csv = m_dir->filePath(QStringLiteral("sheet.csv"));
        QVERIFY(window.exportTo(csv, false));
        QCOMPARE(readAll(csv).count('\n'), 13);
        // With the results shown, every part still has a name.
        unnamed = accessiblenames::unnamedIn(&window, &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
    }

    // Another bench takes cells of the plan shown before it is saved: the
    // save names them, and the next plan leaves them out.
    void aSaveRefusedNamesTheCellsAndPlanningAgainLeavesThemOut()
    {
        BuildSheetWindow window(m_places);
        window.choices()->shapeField()->setText(QStringLiteral("2s3p"));
        press(window.planButton(), &window);
        const QStringList first = treeCells(window.view()->groups());
        PackStore other(m_places.journal());
        QVERIFY(other.open());
        QVERIFY(other.save(window.sheet().plan, PlanOrigin(), PackLabel{QStringLiteral("other bench"), {}, {}})->saved());

        press(window.saveButton(), &window);
        const QString refusal = window.status()->text();
        QVERIFY2(refusal.startsWith(QLatin1String("Not saved: another pack holds 6 cell(s) of the plan already")),
                 qPrintable(refusal));
        for (const QString &cell : first)
            QVERIFY(refusal.contains(cell));
        press(window.planButton(), &window);
        for (const QString &cell : treeCells(window.view()->groups()))
            QVERIFY(!first.contains(cell));
        QVERIFY(window.view()->summary()->toPlainText().contains(QLatin1String("6 cell(s) already in a pack")));

        // What the choices hold wrong is said, naming the field.
        window.choices()->shapeField()->setText(QStringLiteral("14x40"));
        press(window.planButton(), &window);
        QVERIFY(window.status()->text().startsWith(QLatin1String("Shape: \"14x40\" is no pack shape")));
    }

    void scansAreAnsweredRefusedAndKeptAcrossARestart()
    {
        PackStore store(m_places.journal());
        QVERIFY(store.open());
        PlanSettings settings;
        settings.series = 3;
        settings.parallel = 4;
        const Plan plan = planPack(readPool(m_places.journal(), PoolFilter()).value().cells, settings).value();
        QVERIFY(store.save(plan, PlanOrigin(), PackLabel{QStringLiteral("pack A"), {}, {}})->saved());
        const QString cell = plan.groups[2][3].cellId;

        auto window = std::make_unique<PlacementWindow>(m_places);
        QSignalSpy listed(window.get(), &PlacementWindow::workEnded);
        QVERIFY(listed.wait(kWait));
        window->show();
        QVERIFY(repeatedMnemonics(*window).isEmpty());
        int visited = 0;
        const QStringList unnamed = accessiblenames::unnamedIn(window.get(), &visited);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        QCOMPARE(window->packBox()->count(), 1);
        QCOMPARE(window->packBox()->currentText(), QStringLiteral("pack A"));

        // A scanner types fast and ends with Tab; the answer is large and
        // announced.
        qint64 now = 0;
        window->setKeyClock([&now] { return now += 5; });
        QSignalSpy announced(window.get(), &PlacementWindow::answerAnnounced);
        QTest::keyClicks(window->scanField(), cell);
        QTest::keyClick(window->scanField(), Qt::Key_Tab);
        QVERIFY(announced.wait(kWait));
        QCOMPARE(announced.takeFirst().at(0).toString(), QStringLiteral("Group 3, position 4"));
        QCOMPARE(window->answer()->text(), QStringLiteral("Group 3, position 4"));
        QVERIFY(QFontInfo(window->answer()->font()).pointSize() >= 36);
        QCOMPARE(window->progress()->accessibleName(), QStringLiteral("1 of 12 placed"));
        QVERIFY(window->scanField()->text().isEmpty());

        // Typed by hand, Tab moves on and Enter takes it.
        window->setKeyClock([&now] { return now += 400; });
        QTest::keyClicks(window->scanField(), cell);
        QTest::keyClick(window->scanField(), Qt::Key_Return);
        QVERIFY(announced.wait(kWait));
        QVERIFY(announced.takeFirst().at(0).toString().startsWith(cell + QStringLiteral(" is placed already: group 3, position 4 (")));
        window->scan(QStringLiteral("NOPE-7"));
        QVERIFY(announced.wait(kWait));
        QCOMPARE(announced.takeFirst().at(0).toString(), QStringLiteral("NOPE-7 is not in this pack"));
        // A refusal in the warning colour, the next placement not.
        QCOMPARE(window->answer()->palette().color(QPalette::WindowText), warningColour());
        window->scan(plan.groups[0][0].cellId);
        QVERIFY(announced.wait(kWait));
        QCOMPARE(announced.takeFirst().at(0).toString(), QStringLiteral("Group 1, position 1"));
        QVERIFY(window->answer()->palette().color(QPalette::WindowText) != warningColour());
        QCOMPARE(window->history()->count(), 4);

        // The program ends and starts again.
        window.reset();
        window = std::make_unique<PlacementWindow>(m_places);
        QSignalSpy relisted(window.get(), &PlacementWindow::workEnded);
        QVERIFY(relisted.wait(kWait));
        QCOMPARE(window->progress()->accessibleName(), QStringLiteral("2 of 12 placed"));
        QSignalSpy again(window.get(), &PlacementWindow::answerAnnounced);
        window->scan(cell);
        QVERIFY(again.wait(kWait));
        QVERIFY(again.takeFirst().at(0).toString().contains(QLatin1String("is placed already")));

        // The cell fails on the bench: the best free cell takes its place.
        window->markFailed(cell);
        QVERIFY(again.wait(kWait));
        const QString told = again.takeFirst().at(0).toString();
        QVERIFY2(told.startsWith(cell + QStringLiteral(" failed: C")) && told.endsWith(QLatin1String(" takes group 3, position 4")),
                 qPrintable(told));
        const QString lines = window->replacement()->text();
        for (const char *expected : {"marked failed (group 3, position 4)", "Replacement: C", "Group 3 before: 4 cell(s)",
                                     "Group 3 after: 4 cell(s)", "Group resistance range before / after:"})
            QVERIFY2(lines.contains(QLatin1String(expected)), qPrintable(lines));
        const QString standIn = told.section(QLatin1Char(' '), 2, 2);
        window->scan(standIn);
        QVERIFY(again.wait(kWait));
        QCOMPARE(again.takeFirst().at(0).toString(), QStringLiteral("Group 3, position 4"));
        // The failed cell's placing no longer counts; its stand-in's does.
        QCOMPARE(window->progress()->accessibleName(), QStringLiteral("2 of 12 placed"));
    }
};

BIN4870_TEST(TestPackWindows)
#include "tst_packwindows.moc"
