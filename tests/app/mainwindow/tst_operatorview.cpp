#include "testmain.h"

#include "eventwait.h"
#include "formmainharness.h"

#include "app/mainwindow/guidewindow.h"
#include "app/handsfree/handsfreecontrols.h"
#include "app/style/boundedlabel.h"
#include "session/measurementsession.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QKeySequence>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// What the operator sees on the main window is what the program uses: limit
// boxes that take no typing, a save dialog that does not threaten to replace
// the data file, the guide in a window of its own, and notices shown whole.

namespace {

// The program's own log lines ("bin4870.*") while installed.
QStringList g_logged;
QtMessageHandler g_previousHandler = nullptr;

void keepProgramLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArray(context.category).startsWith("bin4870."))
        g_logged << QStringLiteral("%1: %2").arg(QLatin1String(context.category), message);
    else if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

class TestOperatorView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FormMainHarness> m_h;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }

    void makeWindow()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_h = std::make_unique<FormMainHarness>(m_dir->path());
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    // Every widget Tab visits from START until it comes back there.
    QList<QWidget *> tabCycle()
    {
        window().activateWindow();
        if (!QTest::qWaitForWindowActive(&window()))
            return {};
        ui().startButton->setFocus(Qt::TabFocusReason);
        QList<QWidget *> visited;
        for (int i = 0; i < 200; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *now = QApplication::focusWidget();
            if (now == ui().startButton || visited.contains(now))
                break;
            visited << now;
        }
        return visited;
    }

private Q_SLOTS:
    void cleanup()
    {
        m_h.reset();
        m_dir.reset();
    }

    void limitBoxesShowTheLimitsInUseAndTakeNoTyping()
    {
        makeWindow();
        setOneBinPerTable(ui());
        QLineEdit *upper = ui().upperLimits[0];
        const QString shown = upper->text();
        QCOMPARE(shown, getFormatR(m_h->binTableR.upperLimit[0]));

        QTest::mouseClick(upper, Qt::LeftButton);
        upper->selectAll();
        QTest::keyClicks(upper, QStringLiteral("99"));

        QCOMPARE(upper->text(), shown);
        for (size_t i = 0; i < 18; ++i) {
            QVERIFY(ui().lowerLimits[i]->isReadOnly());
            QVERIFY(ui().upperLimits[i]->isReadOnly());
        }
        // Still selectable, so a limit can be copied.
        QVERIFY(upper->hasSelectedText());

        const QList<QWidget *> cycle = tabCycle();
        QVERIFY(!cycle.isEmpty());
        for (QWidget *stop : cycle) {
            QVERIFY2(!stop->objectName().startsWith(QLatin1String("Text3"))
                         && !stop->objectName().startsWith(QLatin1String("Text4")),
                     qPrintable(stop->objectName()));
        }
        QVERIFY2(cycle.size() < 20, qPrintable(QString::number(cycle.size())));
    }

    void browseSaysRecordsAreAppendedAndNeverOffersToReplace()
    {
        makeWindow();
        QTest::mouseClick(ui().browseButton, Qt::LeftButton);
        QCOMPARE(m_h->dialogs.saveSetups.size(), 1);
        const SaveDialogSetup setup = m_h->dialogs.saveSetups.first();
        QVERIFY(!setup.confirmOverwrite);
        QVERIFY2(setup.note.contains(QLatin1String("appended")), qPrintable(setup.note));

        // The platform's dialog carries both.
        QWidget parent;
        QtDialogs dialogs(&parent);
        dialogs.askSavePath(setup, [](const SaveDialogResult &) {});
        auto *dialog = parent.findChild<QFileDialog *>();
        QVERIFY(dialog);
        QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(dialog->windowTitle().contains(setup.note));
        dialog->reject();
    }

    void helpShowsTheGuideInTheProgramsOwnWindow()
    {
        makeWindow();
        {
            QFile guide(m_dir->filePath(QStringLiteral("readmeE.txt")));
            QVERIFY(guide.open(QIODevice::WriteOnly));
            guide.write("Operator's guide\nPress START.\nThe counter window shows the counts.\n");
        }

        ui().helpAction->trigger();

        QVERIFY(m_h->dialogs.messages.isEmpty());
        auto *guide = window().findChild<GuideWindow *>();
        QVERIFY(guide);
        QTRY_VERIFY(guide->isVisible());
        auto *text = guide->findChild<QPlainTextEdit *>();
        QVERIFY(text->isReadOnly());
        QVERIFY(text->toPlainText().contains(QLatin1String("Press START.")));

        QVERIFY(guide->find(QStringLiteral("counter")));
        QCOMPARE(text->textCursor().selectedText(), QStringLiteral("counter"));
        QVERIFY(!guide->find(QStringLiteral("no such words")));

        // A second Help brings the same window forward.
        ui().helpAction->trigger();
        QCOMPARE(window().findChildren<GuideWindow *>().size(), 1);
    }

    void helpNamesTheGuideAndTheReasonWhenItCannotBeRead_data()
    {
        QTest::addColumn<bool>("folderInstead");
        QTest::newRow("missing") << false;
        QTest::newRow("a folder") << true;
    }

    void helpNamesTheGuideAndTheReasonWhenItCannotBeRead()
    {
        QFETCH(bool, folderInstead);
        makeWindow();
        const QString path = m_dir->filePath(QStringLiteral("readmeE.txt"));
        if (folderInstead)
            QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("readmeE.txt")));

        ui().helpAction->trigger();

        QCOMPARE(m_h->dialogs.messages.size(), 1);
        const QString text = m_h->dialogs.messages.first().text;
        QVERIFY2(text.startsWith(QLatin1String("cannot open readme.txt")), qPrintable(text));
        QVERIFY2(text.contains(path), qPrintable(text));
        // The reason follows the path.
        QVERIFY2(text.size() > text.indexOf(path) + path.size() + 4, qPrintable(text));
        QVERIFY(!window().findChild<GuideWindow *>());
    }

    void noticesAreShownWholeAndLargeEnough()
    {
        makeWindow();
        const QString longest = MeasurementSession::lineLostText(
            1, QStringLiteral("Cannot open serial port COM1: the link /tmp/some/long/folder/COM1 leads to "
                              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0, which does not exist"));
        // In its two lines whole, or cut with the whole text on hover and for
        // a screen reader.
        for (const QString &text : {longest, MeasurementSession::counterFullText()}) {
            window().showStatus(text);
            auto *line = window().findChild<BoundedLabel *>(QStringLiteral("statusLine"));
            QTRY_VERIFY(line->isVisible());
            QCOMPARE(line->text(), text);
            const QString shown = line->shownLines().join(QLatin1Char(' '));
            if (line->isCut()) {
                QCOMPARE(line->toolTip(), text);
                QCOMPARE(line->accessibleDescription(), text);
            } else {
                QCOMPARE(shown, text);
            }
            QVERIFY(QFontInfo(line->font()).pixelSize() >= 15);
        }
        // The counter's text is short enough to stand whole.
        QVERIFY(!window().findChild<BoundedLabel *>(QStringLiteral("statusLine"))->isCut());

        window().showStale(MeasurementSession::noAnswerText());
        auto *notice = window().findChild<QLabel *>(QStringLiteral("replyNotice"));
        QVERIFY(notice->isVisible());
        QVERIFY(QFontInfo(notice->font()).pixelSize() >= 18);
        const bool fits = notice->fontMetrics().horizontalAdvance(notice->text()) <= notice->contentsRect().width();
        QVERIFY(fits || (notice->wordWrap() && notice->height() >= notice->heightForWidth(notice->width())));
    }

    void everyButtonHasItsOwnAltKey()
    {
        makeWindow();
        auto *batch = window().findChild<QPushButton *>(QStringLiteral("batchButton"));
        auto *autoRecord = window().findChild<QCheckBox *>(QStringLiteral("autoRecordToggle"));
        // The menu bar's own: File, Settings, Help.
        QList<QKeySequence> keys{QKeySequence(Qt::ALT | Qt::Key_F), QKeySequence(Qt::ALT | Qt::Key_S),
                                 QKeySequence(Qt::ALT | Qt::Key_H)};
        for (QAbstractButton *button : std::initializer_list<QAbstractButton *>{
                 ui().startButton, ui().stopButton, ui().recCountButton, ui().dataButton, batch, autoRecord,
                 ui().browseButton}) {
            const QKeySequence key = QKeySequence::mnemonic(button->text());
            QVERIFY2(!key.isEmpty(), qPrintable(button->text()));
            QVERIFY2(!keys.contains(key), qPrintable(button->text()));
            keys << key;
        }

        window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        QVERIFY(!autoRecord->isChecked());
        QTest::keyClick(&window(), Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(autoRecord->isChecked());
        QVERIFY(window().handsFree().options().autoRecord);
        QTest::keyClick(&window(), Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(!autoRecord->isChecked());

        QTest::keyClick(&window(), Qt::Key_D, Qt::AltModifier);
        QTRY_VERIFY(window().findChild<QDialog *>(QStringLiteral("FormOption")));
    }

    void theLogTellsChangedLimitsAndResetsAndNothingElse()
    {
        g_logged.clear();
        g_previousHandler = qInstallMessageHandler(keepProgramLog);
        makeWindow();
        // START (and STOP, should a port open) with the limits of the start-up:
        // nothing to tell.
        const auto startAndStop = [this] {
            QTest::mouseClick(ui().startButton, Qt::LeftButton);
            QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        };
        startAndStop();
        const QStringList normalRun = g_logged;
        setOneBinPerTable(ui());
        startAndStop();
        const QStringList changed = g_logged;
        startAndStop();
        const QStringList unchanged = g_logged;
        m_h->binTables.clearCounts();
        const QStringList reset = g_logged;
        qInstallMessageHandler(g_previousHandler);

        QVERIFY2(normalRun.isEmpty(), qPrintable(normalRun.join(QLatin1Char('\n'))));
        QCOMPARE(changed.size(), 2);
        QVERIFY2(changed.at(0).startsWith(QLatin1String("bin4870.setup: resistance BIN limits changed from [")),
                 qPrintable(changed.at(0)));
        QVERIFY2(changed.at(0).endsWith(QLatin1String("to [1: 10.0-30.0]")), qPrintable(changed.at(0)));
        QVERIFY2(changed.at(1).endsWith(QLatin1String("to [1: 3.0-4.0]")), qPrintable(changed.at(1)));
        QCOMPARE(unchanged, changed);
        QCOMPARE(reset.size(), 3);
        QVERIFY2(reset.at(2).startsWith(QLatin1String("bin4870.counters: BIN counters reset")), qPrintable(reset.at(2)));
    }

    void aFullCounterSaysSoOnRecCount()
    {
        makeWindow();
        window().showStatus(MeasurementSession::counterFullText());
        QCOMPARE(ui().recCountButton->toolTip(), MeasurementSession::counterFullText());
        QVERIFY(ui().recCountButton->accessibleDescription().contains(QLatin1String("full")));
        window().showStatus(QString());
        QVERIFY(ui().recCountButton->toolTip().isEmpty());
        QVERIFY(!ui().recCountButton->accessibleDescription().contains(QLatin1String("full")));
    }
};

BIN4870_TEST(TestOperatorView)
#include "tst_operatorview.moc"
