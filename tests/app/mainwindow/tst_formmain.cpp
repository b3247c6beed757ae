#include "testmain.h"

#include "englishplurals.h"
#include "eventwait.h"
#include "formmainharness.h"
#include "simtester.h"

#include "app/mainwindow/counterwindow.h"
#include "app/style/colours.h"
#include "app/style/statusarea.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QSignalSpy>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// Replies of the scripted tester, in turn: resistance in ohms, voltage in volts.
// With the resistance panel at 3 BINs from 10 to 40 mOhm and the voltage panel at
// 2 BINs from 3 to 4 V, each line falls where kRowR / kRowV say (9 = OUT).
const char *const kScript[] = {
    "15.000E-3,3.2000E+0", "25.000E-3,3.7000E+0", "35.000E-3,3.3000E+0",
    "45.000E-3,3.8000E+0", "12.000E-3,4.1000E+0", "5.0000E-3,2.9000E+0",
};
constexpr int kScriptLines = 6;
constexpr int kRowR[kScriptLines] = {0, 1, 2, 9, 0, 9};
constexpr int kRowV[kScriptLines] = {0, 1, 0, 1, 9, 9};

QColor colourOf(quint32 bgr)
{
    return QColor(colours::red(bgr), colours::green(bgr), colours::blue(bgr));
}

QColor background(const QWidget *widget)
{
    return widget->palette().color(QPalette::Window);
}

} // namespace

class TestFormMain : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<FormMainHarness> m_h;
    // Context of the timers a test sets: they die with the test, so none fires
    // into the next one.
    std::unique_ptr<QObject> m_scope;

    QObject *scope() { return m_scope.get(); }
    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }

    // A window on a program folder of its own, without a tester.
    void makeWindow()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_h = std::make_unique<FormMainHarness>(m_dir->path());
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    // A window on the simulated tester's folder; script replies with the lines of
    // kScript unless options are given.
    void makeWindowWithTester(QStringList options = {})
    {
        m_sim = std::make_unique<SimTester>();
        if (options.isEmpty()) {
            QFile script(m_sim->folder() + QStringLiteral("/replies.txt"));
            QVERIFY(script.open(QIODevice::WriteOnly));
            for (const char *line : kScript)
                script.write(QByteArray(line) + '\n');
            script.close();
            options = QStringList{QStringLiteral("--script"), script.fileName()};
        }
        QVERIFY2(m_sim->start(options), m_sim->log().constData());
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    void setUpScriptPanels()
    {
        retype(ui().resistanceEntries[0], QStringLiteral("3"));
        retype(ui().resistanceEntries[1], QStringLiteral("10"));
        retype(ui().resistanceEntries[2], QStringLiteral("40"));
        retype(ui().voltageEntries[0], QStringLiteral("2"));
        retype(ui().voltageEntries[1], QStringLiteral("3"));
        retype(ui().voltageEntries[2], QStringLiteral("4"));
    }

    int shownLine()
    {
        const QString shown = window().session().readingFields()[0];
        for (int i = 0; i < kScriptLines; ++i) {
            if (shown == QString::fromLatin1(kScript[i]).section(QLatin1Char(','), 0, 0))
                return i;
        }
        return -1;
    }

    // Presses "REC - COUNT" between two cycles and waits until the next reading
    // is counted; returns the script line that reading came from.
    int countNextReading(const QDateTime &stamp, bool byEnter = false)
    {
        const int expected = (shownLine() + 1) % kScriptLines;
        m_h->clock.current = stamp;
        if (byEnter)
            QTest::keyClick(window().focusWidget(), Qt::Key_Return);
        else
            QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        if (!window().session().recordArmed())
            return -2;
        if (!QTest::qWaitFor([this] { return ui().recCountButton->isEnabled(); }, 5000))
            return -3;
        return shownLine() == expected ? expected : -4;
    }

    void verifyIdle()
    {
        QVERIFY(!window().session().timerEnabled());
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(!m_h->dataFile.isOpen());
        for (const QWidget *widget : {static_cast<QWidget *>(ui().startButton), static_cast<QWidget *>(ui().setupPanels[0]),
                                      static_cast<QWidget *>(ui().setupPanels[1]), static_cast<QWidget *>(ui().dataFileFrame)})
            QVERIFY2(widget->isEnabled(), qPrintable(widget->objectName()));
        QVERIFY(ui().settingsMenu->menuAction()->isEnabled());
        QCOMPARE(window().focusWidget(), ui().startButton);
    }

private Q_SLOTS:
    // Count texts read as the operator sees them ("1 cell", "2 cells").
    void initTestCase() { QVERIFY(englishplurals::install()); }
    void init() { m_scope = std::make_unique<QObject>(); }

    void cleanup()
    {
        m_scope.reset();
        m_h.reset();
        m_sim.reset();
        m_dir.reset();
    }

    void startUpLeavesTheWindowIdleWithEmptyPanels()
    {
        makeWindow();
        QCOMPARE(ui().dataFilePath->text(), m_dir->path() + QStringLiteral("/2012-08-02.csv"));
        for (int t = 0; t < 2; ++t) {
            QCOMPARE(ui().valueLabels[size_t(t)]->text(), QString());
            QCOMPARE(ui().outLabels[size_t(t)]->text(), QStringLiteral("Out"));
            QCOMPARE(background(ui().outLabels[size_t(t)]), background(&window()));
        }
        for (int i = 0; i < 18; ++i) {
            QCOMPARE(ui().binCells[size_t(i)]->text(), QString::number(i % 9 + 1));
            QCOMPARE(ui().rowCaptions[size_t(i)]->text(), QStringLiteral("BIN No. %1").arg(i % 9 + 1));
            QCOMPARE(background(ui().binCells[size_t(i)]), background(&window()));
            // No BIN is set: no row shows limits ("0.0 - 0.0" would pass for one).
            QCOMPARE(ui().lowerLimits[size_t(i)]->text(), QString());
            QCOMPARE(ui().upperLimits[size_t(i)]->text(), QString());
            QCOMPARE(ui().limitDashes[size_t(i)]->text(), QString());
        }
        QVERIFY(ui().resistanceModes[0]->isChecked());
        QVERIFY(ui().voltageModes[0]->isChecked());
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(ui().resistanceEntries[size_t(i)]->text(), QString());
            QCOMPARE(ui().voltageEntries[size_t(i)]->text(), QString());
        }
        QCOMPARE(ui().parameterCaptions[1]->text(), QStringLiteral("MIN ="));
        QCOMPARE(ui().parameterCaptions[5]->text(), QStringLiteral("MAX ="));
        QCOMPARE(m_h->binTableR.numBins, qint16(0));
        QCOMPARE(m_h->binTableV.numBins, qint16(0));
        QCOMPARE(window().comPort(), qint16(1));
        QCOMPARE(m_h->port.commPort(), qint16(1));
        QVERIFY(!window().session().timerEnabled());
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    void binCountIsCappedAtNineWhileTyping_data()
    {
        QTest::addColumn<int>("panel");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("bins");
        QTest::newRow("voltage 10 becomes 9") << 1 << "10" << "9" << 9;
        QTest::newRow("8.5 halves to even") << 0 << "8.5" << "8.5" << 8;
        QTest::newRow("blanks inside the digits") << 0 << " 1 2" << "9" << 9;
        QTest::newRow("letters only") << 1 << "abc" << "abc" << 0;
    }

    void binCountIsCappedAtNineWhileTyping()
    {
        QFETCH(int, panel);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, bins);
        makeWindow();
        const auto &boxes = panel == 0 ? ui().resistanceEntries : ui().voltageEntries;
        const BinTable &table = panel == 0 ? m_h->binTableR : m_h->binTableV;
        const BinTable &other = panel == 0 ? m_h->binTableV : m_h->binTableR;
        QTest::keyClicks(boxes[1], QStringLiteral("0"));
        QTest::keyClicks(boxes[2], QStringLiteral("90"));
        m_h->setCounter(panel, 3, 7);
        m_h->setCounter(1 - panel, 3, 7);

        QTest::keyClicks(boxes[0], typed);

        QCOMPARE(boxes[0]->text(), shown);
        QCOMPARE(int(table.numBins), bins);
        QCOMPARE(table.binCount[3], qint16(0));
        QCOMPARE(other.binCount[3], qint16(7));
        for (int row = 0; row < 9; ++row) {
            const size_t i = size_t(panel * 9 + row);
            if (row >= bins) {
                QCOMPARE(ui().lowerLimits[i]->text(), QString());
                QCOMPARE(ui().upperLimits[i]->text(), QString());
                QCOMPARE(ui().limitDashes[i]->text(), QString());
            } else if (row == bins - 1) {
                QCOMPARE(ui().upperLimits[i]->text(), QStringLiteral("90.0"));
            }
        }
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    void oneThenTenGivesOneBinThenNine()
    {
        makeWindow();
        QTest::keyClicks(ui().resistanceEntries[2], QStringLiteral("9"));
        QTest::keyClick(ui().resistanceEntries[0], Qt::Key_1);
        QCOMPARE(m_h->binTableR.numBins, qint16(1));
        QCOMPARE(ui().upperLimits[0]->text(), QStringLiteral("9.0"));
        QCOMPARE(ui().upperLimits[1]->text(), QString());
        QTest::keyClick(ui().resistanceEntries[0], Qt::Key_0);
        QCOMPARE(ui().resistanceEntries[0]->text(), QStringLiteral("9"));
        QCOMPARE(m_h->binTableR.numBins, qint16(9));
        QCOMPARE(ui().upperLimits[0]->text(), QStringLiteral("1.0"));
        QCOMPARE(ui().upperLimits[8]->text(), QStringLiteral("9.0"));
    }

    void switchingTheModeRereadsTheSameTexts()
    {
        makeWindow();
        QTest::keyClicks(ui().resistanceEntries[0], QStringLiteral("1"));
        QTest::keyClicks(ui().resistanceEntries[1], QStringLiteral("10"));
        QTest::keyClicks(ui().resistanceEntries[2], QStringLiteral("20"));
        QCOMPARE(ui().lowerLimits[0]->text(), QStringLiteral("10.0"));
        QCOMPARE(ui().upperLimits[0]->text(), QStringLiteral("20.0"));
        m_h->setCounter(0, 10, 4);
        const BinTable voltageBefore = m_h->binTableV;

        QTest::mouseClick(ui().resistanceModes[2], Qt::LeftButton, {}, QPoint(6, ui().resistanceModes[2]->height() / 2));

        QVERIFY(ui().resistanceModes[2]->isChecked());
        QVERIFY(!ui().resistanceModes[0]->isChecked());
        QCOMPARE(ui().resistanceEntries[1]->text(), QStringLiteral("10"));
        QCOMPARE(ui().resistanceEntries[2]->text(), QStringLiteral("20"));
        QCOMPARE(ui().parameterCaptions[1]->text(), QStringLiteral("REF ="));
        QCOMPARE(ui().parameterCaptions[2]->text(), QStringLiteral("% ="));
        QCOMPARE(ui().lowerLimits[0]->text(), QStringLiteral("8.0"));
        QCOMPARE(ui().upperLimits[0]->text(), QStringLiteral("12.0"));
        QCOMPARE(m_h->binTableR.mode, BinMode::RefPercent);
        QCOMPARE(m_h->binTableR.totalCount, qint16(0));
        QVERIFY(m_h->binTableV == voltageBefore);
        QCOMPARE(ui().parameterCaptions[4]->text(), QStringLiteral("MIN ="));
    }

    void refusedEntryKeepsTableAndLimitsAndTellsOnce_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("lastKey");
        QTest::newRow("parameter beyond float")
            << QStringList{"Text2_0=2", "Text2_1=0", "Text2_2=10"} << "Text2_2" << "e3" << "9";
        QTest::newRow("limits overflow")
            << QStringList{"Text6_0=1", "Text6_1=-3e38", "Text6_2=3e3"} << "Text6_2" << "" << "8";
        QTest::newRow("count below 16 bits")
            << QStringList{"Text6_1=1", "Text6_2=2", "Text6_0=-9999"} << "Text6_0" << "" << "9";
    }

    void refusedEntryKeepsTableAndLimitsAndTellsOnce()
    {
        QFETCH(QStringList, setup);
        QFETCH(QString, box);
        QFETCH(QString, prefix);
        QFETCH(QString, lastKey);
        makeWindow();
        for (const QString &entry : setup)
            QTest::keyClicks(window().findChild<QLineEdit *>(entry.section(QLatin1Char('='), 0, 0)),
                             entry.section(QLatin1Char('='), 1));
        auto *edited = window().findChild<QLineEdit *>(box);
        QTest::keyClicks(edited, prefix);
        QVERIFY(eventwait::queuedEventsRun());
        QVERIFY(m_h->dialogs.messages.isEmpty());
        QStringList limitsBefore;
        for (size_t i = 0; i < 18; ++i)
            limitsBefore << ui().lowerLimits[i]->text() << ui().upperLimits[i]->text();
        const BinTable rBefore = m_h->binTableR;
        const BinTable vBefore = m_h->binTableV;

        QTest::keyClicks(edited, lastKey);

        QStringList limitsAfter;
        for (size_t i = 0; i < 18; ++i)
            limitsAfter << ui().lowerLimits[i]->text() << ui().upperLimits[i]->text();
        QCOMPARE(limitsAfter, limitsBefore);
        QVERIFY(m_h->binTableR == rBefore);
        QVERIFY(m_h->binTableV == vBefore);
        QVERIFY(edited->text().endsWith(lastKey));
        QTRY_COMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY(!m_h->dialogs.messages[0].text.isEmpty());
        QCOMPARE(m_h->dialogs.messages[0].title, FormMain::applicationTitle());
        QVERIFY(eventwait::queuedEventsRun());
        QCOMPARE(m_h->dialogs.messages.size(), 1);
    }

    void browseTakesOnlyAChosenPath_data()
    {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("message");
        QTest::newRow("chosen") << int(SaveDialogResult::Outcome::Chosen) << true << "";
        QTest::newRow("cancelled") << int(SaveDialogResult::Outcome::Cancelled) << false << "";
        QTest::newRow("failed") << int(SaveDialogResult::Outcome::Failed) << false << "The dialog broke";
    }

    void browseTakesOnlyAChosenPath()
    {
        QFETCH(int, outcome);
        QFETCH(bool, taken);
        QFETCH(QString, message);
        makeWindow();
        const QString typed = QStringLiteral("/elsewhere/typed.csv");
        ui().dataFilePath->setText(typed);
        m_h->clock.current = QDateTime(QDate(2013, 1, 31), QTime(23, 0));
        const QString chosen = m_dir->path() + QStringLiteral("/chosen.dat");
        m_h->dialogs.saveResults = {
            SaveDialogResult{SaveDialogResult::Outcome(outcome), chosen, message},
            SaveDialogResult{SaveDialogResult::Outcome(outcome), chosen, message},
        };

        window().selectSaveFile();
        QCOMPARE(ui().dataFilePath->text(), taken ? chosen : typed);
        ui().dataFilePath->setText(typed);
        QTest::mouseClick(ui().browseButton, Qt::LeftButton);
        QCOMPARE(ui().dataFilePath->text(), taken ? chosen : typed);

        QCOMPARE(m_h->dialogs.saveSetups.size(), 2);
        const SaveDialogSetup &setup = m_h->dialogs.saveSetups.first();
        QCOMPARE(setup.initialPath, m_dir->path() + QStringLiteral("/2013-01-31.csv"));
        QCOMPARE(setup.filters, (QStringList{"text (*.csv *.txt *.dat)", "all (*.*)"}));
        QCOMPARE(setup.selectedFilter, 0);
        QCOMPARE(setup.defaultSuffix, QStringLiteral("csv"));
        QVERIFY(!setup.confirmOverwrite); // records are appended: nothing to replace
        const QStringList expectedMessages = message.isEmpty() ? QStringList() : QStringList{message, message};
        QCOMPARE(m_h->dialogs.messageTexts(), expectedMessages);
    }

    void dataShowsTheCounterWindowWhoseResetClearsBothTables()
    {
        makeWindow();
        m_h->setCounter(0, 2, 5);
        m_h->setCounter(0, 10, 5);
        m_h->setCounter(1, 9, 3);
        m_h->setCounter(1, 10, 3);

        QTest::mouseClick(ui().dataButton, Qt::LeftButton);

        // Open as soon as the click has been handled, modal to the main window.
        auto *form = window().findChild<CounterWindow *>();
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QCOMPARE(form->windowModality(), Qt::WindowModal);
        resetCounters(form);
        QCOMPARE(m_h->binTableR.binCount[2], qint16(0));
        QCOMPARE(m_h->binTableR.totalCount, qint16(0));
        QCOMPARE(m_h->binTableV.binCount[9], qint16(0));
        QCOMPARE(m_h->binTableV.totalCount, qint16(0));
        form->close();
        QTRY_VERIFY(!window().findChild<CounterWindow *>());
    }

    void comMenuMarksFollowThePortNumber_data()
    {
        QTest::addColumn<int>("comPort");
        QTest::addColumn<int>("checkedItem"); // -1: none

        QTest::newRow("COM1") << 1 << 0;
        QTest::newRow("COM2") << 2 << 1;
        QTest::newRow("COM3") << 3 << 2;
        QTest::newRow("COM4") << 4 << 3;
        QTest::newRow("COM5 from the settings") << 5 << -1;
        QTest::newRow("COM7 from the settings") << 7 << -1;
        QTest::newRow("COM30 from the settings") << 30 << -1;
        QTest::newRow("0") << 0 << -1;
        QTest::newRow("-1") << -1 << -1;
    }

    void comMenuMarksFollowThePortNumber()
    {
        QFETCH(int, comPort);
        QFETCH(int, checkedItem);

        makeWindow();
        ui().comPortActions[1]->trigger();
        window().setComPort(qint16(comPort));
        QCOMPARE(m_h->port.commPort(), qint16(comPort));
        for (int item = 0; item < 4; ++item)
            QCOMPARE(ui().comPortActions[size_t(item)]->isChecked(), item == checkedItem);
    }

    void comMenuSetsThePortAndItsCheckMark()
    {
        makeWindow();
        ui().comPortActions[2]->trigger();
        QCOMPARE(window().comPort(), qint16(3));
        QCOMPARE(m_h->port.commPort(), qint16(3));
        for (size_t i = 0; i < 4; ++i)
            QCOMPARE(ui().comPortActions[i]->isChecked(), i == 2);
        window().setComPort(12);
        QCOMPARE(m_h->port.commPort(), qint16(12));
        for (size_t i = 0; i < 4; ++i)
            QVERIFY(!ui().comPortActions[i]->isChecked());
    }

    void sessionsCountJudgeAndAppendToOneFile()
    {
        makeWindowWithTester();
        setUpScriptPanels();
        const QString path = ui().dataFilePath->text();
        const QDateTime base(QDate(2012, 8, 2), QTime(14, 5, 0));

        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().timerEnabled());
        QVERIFY(m_h->port.portOpen());
        QVERIFY(!ui().startButton->isEnabled());
        QVERIFY(!ui().setupPanels[0]->isEnabled());
        QVERIFY(!ui().setupPanels[1]->isEnabled());
        QVERIFY(!ui().dataFileFrame->isEnabled());
        QVERIFY(!ui().settingsMenu->menuAction()->isEnabled());
        QCOMPARE(window().focusWidget(), ui().recCountButton);

        // Five cells in a row: every BIN of the resistance table, its OUT and the
        // voltage table's OUT.
        QList<int> counted;
        for (int k = 0; k < 5; ++k) {
            counted << countNextReading(base.addSecs(k));
            QVERIFY2(counted.last() >= 0, qPrintable(QString::number(counted.last())));
            const int line = counted.last();
            QCOMPARE(ui().valueLabels[0]->text(), window().session().parser().displayText(0));
            QCOMPARE(ui().valueLabels[1]->text(), window().session().parser().displayText(1));
            for (int t = 0; t < 2; ++t) {
                const int row = t == 0 ? kRowR[line] : kRowV[line];
                const int used = t == 0 ? 3 : 2;
                for (int r = 0; r < 9; ++r) {
                    const quint32 expected = r == row ? colours::kLit : r < used ? colours::kUnlit : colours::kUnused;
                    QCOMPARE(background(ui().binCells[size_t(t * 9 + r)]), colourOf(expected));
                }
                const QLabel *out = ui().outLabels[size_t(t)];
                if (row == 9) {
                    QCOMPARE(out->text(), QStringLiteral("+Out"));
                    QCOMPARE(background(out), colourOf(colours::kLit));
                } else {
                    QCOMPARE(out->text(), QString());
                    QCOMPARE(background(out), colourOf(colours::kUnused));
                }
            }
        }
        QCOMPARE(counted, (QList<int>{0, 1, 2, 3, 4}));
        QTRY_COMPARE(shownLine(), 5);
        QCOMPARE(ui().outLabels[0]->text(), QStringLiteral("-Out"));
        QCOMPARE(ui().outLabels[1]->text(), QStringLiteral("-Out"));

        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        verifyIdle();

        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().timerEnabled());
        counted << countNextReading(base.addSecs(60));
        QVERIFY(counted.last() >= 0);
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        verifyIdle();

        QList<QByteArray> expected;
        std::array<qint16, 10> countR{};
        std::array<qint16, 10> countV{};
        for (int k = 0; k < counted.size(); ++k) {
            const QDateTime stamp = base.addSecs(k < 5 ? k : 60);
            expected << stamp.toString(QStringLiteral("yyyy/MM/dd,hh:mm:ss,")).toLatin1() + kScript[counted[k]] + '\r';
            ++countR[size_t(kRowR[counted[k]])];
            ++countV[size_t(kRowV[counted[k]])];
        }
        QCOMPARE(fileLines(path), expected);
        QCOMPARE(m_h->binTableR.binCount, countR);
        QCOMPARE(m_h->binTableV.binCount, countV);
        QCOMPARE(m_h->binTableR.totalCount, qint16(6));
        QCOMPARE(m_h->binTableV.totalCount, qint16(6));

        const QByteArray log = m_sim->log();
        const qsizetype setUp = log.indexOf("rx func rv");
        QVERIFY(setUp >= 0);
        QVERIFY(log.indexOf("rx trig:sour imm", setUp) > setUp);
        QVERIFY(log.indexOf("rx :fetch?", setUp) > log.indexOf("rx trig:sour imm", setUp));
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    // A START with no BINs says where to set them and starts; a counted cell
    // is confirmed on screen and told to a screen reader, with the session's
    // running count; STOP greys the reading as a stale one and leaves only
    // START to press.
    void aCountIsConfirmedAndStopLooksStopped()
    {
        makeWindowWithTester();
        auto *line = window().findChild<QLabel *>(QStringLiteral("statusLine"));
        auto *cells = window().findChild<QLabel *>(QStringLiteral("sessionCellCount"));
        QSignalSpy announced(&window().statusArea(), &StatusArea::announced);
        QVERIFY(!ui().recCountButton->isEnabled());
        QVERIFY(!ui().stopButton->isEnabled());

        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().running());
        QVERIFY(ui().stopButton->isEnabled());
        QVERIFY2(line->text().startsWith(QLatin1String("No BINs are set"))
                     && line->text().contains(QLatin1String("RESISTANCE and VOLTAGE panels")),
                 qPrintable(line->text()));
        QCOMPARE(announced.last().at(0).toString(), line->text());
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);

        setUpScriptPanels();
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(line->text().isEmpty());
        QCOMPARE(cells->text(), QStringLiteral("0 cells counted this session"));
        const QDateTime base(QDate(2012, 8, 2), QTime(14, 5, 0));
        for (int k = 1; k <= 2; ++k) {
            const int counted = countNextReading(base.addSecs(k));
            QVERIFY2(counted >= 0, qPrintable(QString::number(counted)));
            const auto bin = [](int row) {
                return row == 9 ? QStringLiteral("+Out") : QStringLiteral("BIN %1").arg(row + 1);
            };
            const QString confirmation = QStringLiteral("Cell %1 counted: R %2, V %3")
                                             .arg(k).arg(bin(kRowR[counted]), bin(kRowV[counted]));
            QCOMPARE(line->text(), confirmation);
            QCOMPARE(announced.last().at(0).toString(), confirmation);
            QCOMPARE(cells->text(), k == 1 ? QStringLiteral("1 cell counted this session")
                                           : QStringLiteral("2 cells counted this session"));
        }
        QTRY_VERIFY(ui().recCountButton->isEnabled());
        for (const QLabel *value : ui().valueLabels)
            QVERIFY(value->isEnabled() && !value->text().isEmpty());

        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QCOMPARE(line->text(), QStringLiteral("Stopped"));
        QVERIFY(!ui().recCountButton->isEnabled());
        QVERIFY(!ui().stopButton->isEnabled());
        QVERIFY(ui().startButton->isEnabled());
        QCOMPARE(window().focusWidget(), ui().startButton);
        // The last reading stays, greyed; no BIN keeps its colour.
        for (const QLabel *value : ui().valueLabels)
            QVERIFY(!value->text().isEmpty() && !value->isEnabled());
        for (const QLabel *cell : ui().binCells) {
            QCOMPARE(background(cell), background(cell->parentWidget()));
            QVERIFY2(cell->accessibleName().endsWith(QLatin1String("not lit")), qPrintable(cell->accessibleName()));
        }
        for (const QLabel *out : ui().outLabels)
            QCOMPARE(background(out), background(out->parentWidget()));
        QCOMPARE(cells->text(), QStringLiteral("2 cells counted this session"));

        // The next START: STOP again, and the values current with the first reading.
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(ui().stopButton->isEnabled());
        QCOMPARE(cells->text(), QStringLiteral("0 cells counted this session"));
        QTRY_VERIFY(ui().valueLabels[0]->isEnabled() && ui().valueLabels[1]->isEnabled());
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
    }

    void enterCountsAndASecondEnterWaitsForTheReading()
    {
        makeWindowWithTester({QStringLiteral("--reply"), QStringLiteral("20.000E-3,3.6000E+0")});
        const QString path = ui().dataFilePath->text();
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QCOMPARE(window().focusWidget(), ui().recCountButton);

        QTest::keyClick(window().focusWidget(), Qt::Key_Return);
        QVERIFY(window().session().recordArmed());
        QVERIFY(!ui().recCountButton->isEnabled());
        // The second Enter lands on the window, not on DATA, and does nothing.
        QVERIFY(window().focusWidget() != ui().dataButton);
        QTest::keyClick(window().focusWidget() ? window().focusWidget() : &window(), Qt::Key_Return);
        QVERIFY(!QApplication::activeModalWidget());
        QTRY_VERIFY(ui().recCountButton->isEnabled());
        QCOMPARE(fileLines(path).size(), 1);
        QCOMPARE(window().focusWidget(), ui().recCountButton);

        // Enter on a control that does not take it counts as well.
        QTest::keyClick(ui().valueLabels[0], Qt::Key_Enter);
        QVERIFY(window().session().recordArmed());
        QTRY_VERIFY(ui().recCountButton->isEnabled());
        QCOMPARE(fileLines(path).size(), 2);

        // On another push button Enter presses that button.
        QTest::keyClick(ui().stopButton, Qt::Key_Return);
        verifyIdle();
        QCOMPARE(m_h->binTableR.binCount[0], qint16(0));
        QCOMPARE(m_h->binTableR.totalCount, qint16(2));
    }

    void startFailureOnTheFileIsReportedAndUndone()
    {
        makeWindow();
        const QString path = m_dir->path() + QStringLiteral("/missing/data.csv");
        ui().dataFilePath->setText(path);
        QFile probe(path);
        QVERIFY(!probe.open(QIODevice::Append));

        QTest::mouseClick(ui().startButton, Qt::LeftButton);

        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY2(m_h->dialogs.messages[0].text.contains(probe.errorString()),
                 qPrintable(m_h->dialogs.messages[0].text));
        QCOMPARE(m_h->dialogs.messages[0].title, FormMain::applicationTitle());
        QCOMPARE(int(m_h->dialogs.messages[0].icon), int(Dialogs::Icon::None));
        verifyIdle();
        QCOMPARE(ui().dataFilePath->text(), path);
    }

    void startFailureOnThePortNamesItAndKeepsTheExtension()
    {
        makeWindow();
        QVERIFY(QFile::link(m_dir->path() + QStringLiteral("/no-such-tty"), m_dir->path() + QStringLiteral("/COM2")));
        ui().comPortActions[1]->trigger();
        const QString path = m_dir->path() + QStringLiteral("/session");
        ui().dataFilePath->setText(path);

        QTest::mouseClick(ui().startButton, Qt::LeftButton);

        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY2(m_h->dialogs.messages[0].text.contains(QStringLiteral("COM2")),
                 qPrintable(m_h->dialogs.messages[0].text));
        QCOMPARE(ui().dataFilePath->text(), path + QStringLiteral(".csv"));
        QVERIFY(QFile::exists(path + QStringLiteral(".csv")));
        QCOMPARE(QFile(path + QStringLiteral(".csv")).size(), 0);
        verifyIdle();
    }

    void stopDropsTheOutstandingRequestAtOnce()
    {
        makeWindowWithTester({QStringLiteral("--silent")});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_VERIFY(window().session().awaitingReply());
        // The simulator logs a request a moment after the program has sent it.
        QTRY_COMPARE(m_sim->log().count("rx :fetch?"), qsizetype(1));
        QVERIFY(window().session().awaitingReply());

        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QVERIFY(!window().session().awaitingReply());
        verifyIdle();

        const qsizetype fetches = m_sim->log().count("rx :fetch?");
        QCOMPARE(fetches, qsizetype(1));
        // Two poll intervals and more: no further request reaches the tester.
        QVERIFY(!QTest::qWaitFor([&] { return m_sim->log().count("rx :fetch?") > fetches; }, 700));
        QCOMPARE(ui().valueLabels[0]->text(), QString());
    }

    void closingWithARequestOutstandingEndsTheSession()
    {
        makeWindowWithTester({QStringLiteral("--silent")});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_VERIFY(window().session().awaitingReply());
        window().close();
        QVERIFY(!window().isVisible());
        QVERIFY(!window().session().awaitingReply());
        QVERIFY(!window().session().timerEnabled());
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(!m_h->dataFile.isOpen());
    }

    void counterWindowShowsTheCountsOfItsOpeningAndResetStartsAgain()
    {
        makeWindowWithTester();
        setUpScriptPanels();
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        const QDateTime base(QDate(2012, 8, 2), QTime(15, 0, 0));
        for (int k = 0; k < 3; ++k)
            QCOMPARE(countNextReading(base.addSecs(k)), k);

        QStringList shown;
        QStringList afterReset;
        qsizetype fetchesAtOpen = -1;
        qsizetype fetchesAtClose = -1;
        auto valuesOf = [](QWidget *form) {
            QStringList values;
            for (int i = 0; i < 22; ++i) {
                const auto *label = form->findChild<QLabel *>(QStringLiteral("Label2_%1").arg(i));
                values << (label ? label->text() : QStringLiteral("?"));
            }
            return values;
        };
        QTimer::singleShot(100, scope(), [&] {
            QWidget *form = QApplication::activeModalWidget();
            if (!form)
                return;
            shown = valuesOf(form);
            fetchesAtOpen = m_sim->log().count("rx :fetch?");
            resetCounters(form);
            afterReset = valuesOf(form);
            // Measuring goes on underneath while the window is open.
            QTimer::singleShot(900, form, [&, form] {
                fetchesAtClose = m_sim->log().count("rx :fetch?");
                for (QPushButton *button : form->findChildren<QPushButton *>()) {
                    if (button->text() == QStringLiteral("CLOSE"))
                        button->click();
                }
            });
        });
        QTimer::singleShot(5000, scope(), [] {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });

        QTest::mouseClick(ui().dataButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(fetchesAtClose >= 0 && !window().findChild<QDialog *>(), 8000);

        // Lines 0, 1, 2: resistance BINs 1, 2, 3; voltage BINs 1, 2, 1.
        QCOMPARE(shown, (QStringList{"1", "1", "1", "0", "0", "0", "0", "0", "0", "0", "3",
                                     "2", "1", "0", "0", "0", "0", "0", "0", "0", "0", "3"}));
        QCOMPARE(afterReset, QStringList(22, QStringLiteral("0")));
        QVERIFY2(fetchesAtClose >= fetchesAtOpen + 2, qPrintable(QStringLiteral("%1 -> %2").arg(fetchesAtOpen).arg(fetchesAtClose)));
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!window().findChild<QDialog *>());

        // The next counted reading starts from one.
        const int line = countNextReading(base.addSecs(10));
        QVERIFY2(line >= 0, qPrintable(QString::number(line)));
        QCOMPARE(m_h->binTableR.binCount[size_t(kRowR[line])], qint16(1));
        QCOMPARE(m_h->binTableV.binCount[size_t(kRowV[line])], qint16(1));
        QCOMPARE(m_h->binTableR.totalCount, qint16(1));
        QCOMPARE(m_h->binTableV.totalCount, qint16(1));
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
    }

    void closingDuringASessionEndsTheProgram_data()
    {
        QTest::addColumn<QString>("openFirst");
        QTest::addColumn<bool>("byMenu");
        QTest::newRow("close box") << "" << false;
        QTest::newRow("Exit") << "" << true;
        QTest::newRow("Exit while the counter window is open") << "DATA" << true;
        QTest::newRow("close box while the About window is open") << "Version" << false;
    }

    // The program's own window: closing it in the middle of a waiting cycle,
    // with a reading armed, ends the application's event loop, nested modal
    // ones included, and nothing more is measured, counted or recorded.
    void closingDuringASessionEndsTheProgram()
    {
        QFETCH(QString, openFirst);
        QFETCH(bool, byMenu);
        // Closing the application's last window inside its loop would also post a
        // quit, which no loop of the test takes: it would end the next test's
        // first loop at once.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        const auto restoreQuit = qScopeGuard([] { QGuiApplication::setQuitOnLastWindowClosed(true); });
        makeWindowWithTester({QStringLiteral("--reply"), QStringLiteral("20.000E-3,3.6000E+0"),
                              QStringLiteral("--delay"), QStringLiteral("200")});
        window().setEndsProgram(true);
        retype(ui().resistanceEntries[0], QStringLiteral("4"));
        retype(ui().resistanceEntries[2], QStringLiteral("40"));
        const QString path = ui().dataFilePath->text();
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().timerEnabled());
        QTRY_VERIFY(!ui().valueLabels[0]->text().isEmpty());
        QVERIFY(ui().fileMenu->menuAction()->isEnabled());
        QVERIFY(ui().helpMenu->menuAction()->isEnabled());
        QVERIFY(!ui().settingsMenu->menuAction()->isEnabled());

        QPointer<QWidget> modal;
        bool armed = false;
        bool closedMidWait = false;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!openFirst.isEmpty() && !modal) {
                modal = QApplication::activeModalWidget();
                return;
            }
            if (!window().session().awaitingReply())
                return;
            poll.stop();
            ui().recCountButton->click();
            armed = window().session().recordArmed();
            closedMidWait = window().session().awaitingReply();
            if (byMenu)
                ui().exitAction->trigger();
            else
                window().close();
        });
        QTimer::singleShot(0, scope(), [&] {
            poll.start();
            if (openFirst == QStringLiteral("DATA"))
                ui().dataButton->click();
            else if (openFirst == QStringLiteral("Version"))
                ui().versionAction->trigger();
        });
        // Should the loop not end, this ends it with a code the test refuses.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(99); });
        guard.start(15000);

        const int exitCode = QCoreApplication::exec();

        QCOMPARE(exitCode, 0);
        QVERIFY(armed);
        QVERIFY(closedMidWait);
        if (!openFirst.isEmpty())
            QVERIFY(modal.isNull());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!window().isVisible());
        QVERIFY(!window().session().timerEnabled());
        QVERIFY(!window().session().awaitingReply());
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(!m_h->dataFile.isOpen());
        const QList<QByteArray> settings = fileLines(m_sim->folder() + QStringLiteral("/Settings.ini"));
        QCOMPARE(settings.size(), 11);
        QCOMPARE(settings[2], QByteArray("4\r"));
        QCOMPARE(settings[4], QByteArray("40\r"));
        // The last request may still be on its way to the simulator's log:
        // it has arrived once the log stays quiet. After it, none follows.
        QSignalSpy simLogged(&m_sim->process(), &QProcess::readyReadStandardOutput);
        while (simLogged.wait(300)) {
        }
        const qsizetype fetches = m_sim->log().count("rx :fetch?");
        QVERIFY(!QTest::qWaitFor([&] { return m_sim->log().count("rx :fetch?") > fetches; }, 700));
        QCOMPARE(fileLines(path).size(), 0);
        QCOMPARE(m_h->binTableR.totalCount, qint16(0));
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }
};

BIN4870_TEST(TestFormMain)
#include "tst_formmain.moc"
