#include "testmain.h"
#include "filecontent.h"

#include "eventwait.h"
#include "app/mainwindow/aboutwindow.h"
#include "app/mainwindow/guidewindow.h"
#include "link/testerprofile.h"

#include "formmainharness.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// The set-up kept in Settings.ini across two windows on one program folder, the
// File and Help menus, and closing the window.

namespace {

const QString kSettingsName = QStringLiteral("Settings.ini");

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList boxTexts(const FormMainUi &ui)
{
    QStringList texts;
    for (const QLineEdit *box : ui.resistanceEntries)
        texts << box->text();
    for (const QLineEdit *box : ui.voltageEntries)
        texts << box->text();
    return texts;
}

int checkedIndex(const std::array<QRadioButton *, 3> &options)
{
    int index = -1;
    for (size_t i = 0; i < options.size(); ++i) {
        if (options[i]->isChecked())
            index = index == -1 ? int(i) : -2;
    }
    return index;
}

int checkedCom(const FormMainUi &ui)
{
    int index = -1;
    for (size_t i = 0; i < ui.comPortActions.size(); ++i) {
        if (ui.comPortActions[i]->isChecked())
            index = index == -1 ? int(i) : -2;
    }
    return index;
}

} // namespace

class TestSettingsMenus : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FormMainHarness> m_h;
    // Context of the timers a test sets: they die with the test.
    std::unique_ptr<QObject> m_scope;

    QObject *scope() { return m_scope.get(); }
    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }
    QString settingsPath() const { return m_dir->filePath(kSettingsName); }

    void makeDir()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void writeSettingsFile(const QByteArray &content)
    {
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

    void makeWindow(const QString &programDir)
    {
        m_h = std::make_unique<FormMainHarness>(programDir);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

private Q_SLOTS:
    void init() { m_scope = std::make_unique<QObject>(); }

    void cleanup()
    {
        m_scope.reset();
        m_h.reset();
        m_dir.reset();
    }

    void setUpSurvivesClosingAndReopening()
    {
        makeDir();
        makeWindow(m_dir->path());
        ui().comPortActions[2]->trigger();
        QTest::mouseClick(ui().resistanceModes[1], Qt::LeftButton, {}, QPoint(6, ui().resistanceModes[1]->height() / 2));
        retype(ui().resistanceEntries[0], QStringLiteral("9"));
        retype(ui().resistanceEntries[1], QStringLiteral("10"));
        retype(ui().resistanceEntries[2], QStringLiteral("2.5"));
        QTest::mouseClick(ui().voltageModes[2], Qt::LeftButton, {}, QPoint(6, ui().voltageModes[2]->height() / 2));
        retype(ui().voltageEntries[0], QStringLiteral("5"));
        retype(ui().voltageEntries[1], QStringLiteral("3.7"));
        retype(ui().voltageEntries[2], QStringLiteral("1"));
        window().move(80, 60);
        QTRY_COMPARE(window().pos(), QPoint(80, 60));
        const BinTable tableR = m_h->binTableR;
        const BinTable tableV = m_h->binTableV;
        QCOMPARE(tableR.mode, BinMode::MinStep);
        QCOMPARE(tableV.numBins, qint16(5));

        QVERIFY(window().close());

        QVERIFY(window().isShutDown());
        QCOMPARE(fileContent(settingsPath()),
                 QByteArray(" 3 \r\n 1 \r\n9\r\n10\r\n2.5\r\n 2 \r\n5\r\n3.7\r\n1\r\n 1200 \r\n 900 \r\n"));
        QCOMPARE(withoutJournal(QDir(m_dir->path()).entryList(QDir::Files)), QStringList{kSettingsName});

        m_h.reset();
        makeWindow(m_dir->path());
        QCOMPARE(boxTexts(ui()), (QStringList{"9", "10", "2.5", "5", "3.7", "1"}));
        QCOMPARE(checkedIndex(ui().resistanceModes), 1);
        QCOMPARE(checkedIndex(ui().voltageModes), 2);
        QVERIFY(m_h->binTableR == tableR);
        QVERIFY(m_h->binTableV == tableV);
        QCOMPARE(ui().upperLimits[8]->text(), QStringLiteral("32.5"));
        QCOMPARE(ui().parameterCaptions[4]->text(), QStringLiteral("REF ="));
        QCOMPARE(window().comPort(), qint16(3));
        QCOMPARE(m_h->port.commPort(), qint16(3));
        QCOMPARE(checkedCom(ui()), 2);
        QCOMPARE(window().pos(), QPoint(80, 60));
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    void startUpRestoresWhatTheFileHolds_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("com");
        QTest::addColumn<int>("modeR");
        QTest::addColumn<int>("modeV");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("binsR");
        QTest::addColumn<int>("binsV");
        QTest::addColumn<QPoint>("position"); // (-1, -1): where the window system put it

        const QStringList empty{"", "", "", "", "", ""};
        QTest::newRow("no file") << false << QByteArray() << 1 << 0 << 0 << 0 << empty << 0 << 0 << QPoint(-1, -1);
        QTest::newRow("empty file: the holder's fallbacks carry on")
            << true << QByteArray() << 1 << 0 << 1 << 1 << QStringList{"1", "1", "1", "1", "1", "1"} << 1 << 1
            << QPoint(0, 0);
        QTest::newRow("only the port line")
            << true << QByteArray(" 4 \r\n") << 4 << 3 << 0 << 0 << QStringList{"0", "0", "0", "0", "0", "0"} << 0
            << 0 << QPoint(0, 0);
        QTest::newRow("port beyond the menu")
            << true << QByteArray(" 7 \r\n 0 \r\n3\r\n10\r\n40\r\n 0 \r\n2\r\n3\r\n4\r\n 1500 \r\n 750 \r\n") << 7 << -1
            << 0 << 0 << QStringList{"3", "10", "40", "2", "3", "4"} << 3 << 2 << QPoint(100, 50);
        QTest::newRow("numbers followed by letters")
            << true << QByteArray("5abc\r\n1x\r\n5abc\r\n 1.50 \r\n007\r\n2\r\n3\r\n-0.50\r\nabc\r\n 45x \r\n 30 \r\n")
            << 5 << -1 << 1 << 2 << QStringList{"5", "1.5", "7", "3", "-0.5", "0"} << 5 << 3 << QPoint(3, 2);
        QTest::newRow("out of range: each line's fallback")
            << true << QByteArray(" 31 \r\n 3 \r\n12\r\n123456\r\n-99999\r\n -1 \r\n9\r\n99999\r\n1.5\r\n 12000 \r\n -100 \r\n")
            << 1 << 0 << 0 << 0 << QStringList{"0", "0", "-99999", "9", "99999", "1.5"} << 0 << 9
            << QPoint(67, 33);
        QTest::newRow("line feeds only, last line unended")
            << true << QByteArray(" 2 \n 2 \n4\n1\n2\n 1 \n3\n1\n0.5\n 0 \n 5000") << 2 << 1 << 2 << 1
            << QStringList{"4", "1", "2", "3", "1", "0.5"} << 4 << 3 << QPoint(0, 333);
    }

    void startUpRestoresWhatTheFileHolds()
    {
        QFETCH(bool, fileExists);
        QFETCH(QByteArray, content);
        QFETCH(int, port);
        QFETCH(int, com);
        QFETCH(int, modeR);
        QFETCH(int, modeV);
        QFETCH(QStringList, boxes);
        QFETCH(int, binsR);
        QFETCH(int, binsV);
        QFETCH(QPoint, position);
        makeDir();
        if (fileExists)
            writeSettingsFile(content);

        makeWindow(m_dir->path());

        QCOMPARE(int(window().comPort()), port);
        QCOMPARE(int(m_h->port.commPort()), port);
        QCOMPARE(checkedCom(ui()), com);
        QCOMPARE(checkedIndex(ui().resistanceModes), modeR);
        QCOMPARE(checkedIndex(ui().voltageModes), modeV);
        QCOMPARE(boxTexts(ui()), boxes);
        QCOMPARE(int(m_h->binTableR.mode), modeR);
        QCOMPARE(int(m_h->binTableV.mode), modeV);
        QCOMPARE(int(m_h->binTableR.numBins), binsR);
        QCOMPARE(int(m_h->binTableV.numBins), binsV);
        if (position.x() >= 0)
            QCOMPARE(window().pos(), position);
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(m_h->dialogs.messages.isEmpty());
        // Reading leaves the file alone; only closing writes it.
        if (fileExists)
            QCOMPARE(fileContent(settingsPath()), content);
        else
            QVERIFY(!QFile::exists(settingsPath()));
    }

    void limitsOfTheRestoredPanelsAreShown()
    {
        makeDir();
        writeSettingsFile(" 1 \r\n 0 \r\n3\r\n10\r\n40\r\n 0 \r\n2\r\n3\r\n4\r\n 0 \r\n 0 \r\n");
        makeWindow(m_dir->path());
        QCOMPARE(ui().lowerLimits[0]->text(), QStringLiteral("10.0"));
        QCOMPARE(ui().upperLimits[2]->text(), QStringLiteral("40.0"));
        QCOMPARE(ui().upperLimits[3]->text(), QString());
        QCOMPARE(ui().lowerLimits[10]->text(), QStringLiteral("3.5"));
        QCOMPARE(m_h->binTableV.upperLimit[1], 4.0f);
    }

    void aSaveThatCannotBeWrittenEndsQuietly_data()
    {
        QTest::addColumn<bool>("removeFolder");
        QTest::newRow("Settings.ini is a folder") << false;
        QTest::newRow("program folder removed") << true;
    }

    void aSaveThatCannotBeWrittenEndsQuietly()
    {
        QFETCH(bool, removeFolder);
        makeDir();
        const QString programDir = m_dir->filePath(QStringLiteral("program"));
        QVERIFY(QDir().mkpath(programDir));
        const QString settings = programDir + QLatin1Char('/') + kSettingsName;
        if (!removeFolder)
            QVERIFY(QDir().mkpath(settings + QStringLiteral("/inside")));
        makeWindow(programDir);
        // A folder in its place is told once, at start-up, naming it.
        if (!removeFolder) {
            QTRY_COMPARE(m_h->dialogs.messages.size(), 1);
            QVERIFY2(m_h->dialogs.messages[0].text.startsWith(settings + QStringLiteral(" is a folder")),
                     qPrintable(m_h->dialogs.messages[0].text));
        }
        const qsizetype told = m_h->dialogs.messages.size();
        retype(ui().resistanceEntries[0], QStringLiteral("4"));
        if (removeFolder)
            QVERIFY(QDir(programDir).removeRecursively());

        window().close();

        QVERIFY(window().isShutDown());
        QVERIFY(!window().isVisible());
        QVERIFY(eventwait::queuedEventsRun());
        QCOMPARE(m_h->dialogs.messages.size(), told);
        if (removeFolder) {
            QVERIFY(!QFileInfo::exists(programDir));
        } else {
            QVERIFY(QFileInfo(settings).isDir());
            QCOMPARE(withoutJournal(QDir(programDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)), QStringList{kSettingsName});
        }
    }

    void closingTwiceSavesOnce()
    {
        makeDir();
        makeWindow(m_dir->path());
        window().close();
        const QByteArray first = fileContent(settingsPath());
        QVERIFY(QFile::remove(settingsPath()));
        window().show();
        window().close();
        QVERIFY(!QFile::exists(settingsPath()));
        QCOMPARE(first.count("\r\n"), 11);
    }

    void helpOpensTheReadmeBesideTheProgram_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("folder") << "";
        QTest::newRow("folder ending in a separator") << "/";
    }

    void helpOpensTheReadmeBesideTheProgram()
    {
        QFETCH(QString, suffix);
        makeDir();
        makeWindow(m_dir->path() + suffix);

        QFile guide(m_dir->filePath(QStringLiteral("readmeE.txt")));
        QVERIFY(guide.open(QIODevice::WriteOnly));
        guide.write("The guide.\n");
        guide.close();

        ui().helpAction->trigger();

        auto *shown = window().findChild<GuideWindow *>();
        QVERIFY(shown);
        QVERIFY2(shown->windowTitle().endsWith(m_dir->path() + QStringLiteral("/readmeE.txt")),
                 qPrintable(shown->windowTitle()));
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    void helpTellsWhenTheGuideIsMissing()
    {
        makeDir();
        makeWindow(m_dir->path());

        ui().helpAction->trigger();

        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY(m_h->dialogs.messages[0].text.startsWith(QLatin1String("cannot open readme.txt: ")));
        QCOMPARE(m_h->dialogs.messages[0].title, FormMain::applicationTitle());
        QCOMPARE(int(m_h->dialogs.messages[0].icon), int(Dialogs::Icon::Warning));
        QVERIFY(window().isVisible());
    }

    void versionShowsTheAboutWindowModally()
    {
        makeDir();
        makeWindow(m_dir->path());

        ui().versionAction->trigger();

        // Open once the menu item has been handled, blocking the main window.
        QPointer<QWidget> seen = QApplication::activeModalWidget();
        QVERIFY(seen);
        QCOMPARE(QString::fromLatin1(seen->metaObject()->className()), QStringLiteral("AboutWindow"));
        QVERIFY(seen->isVisible());
        QCOMPARE(seen->windowModality(), Qt::WindowModal);
        QCOMPARE(seen->parentWidget(), &window());
        // A second Version brings the same window forward.
        ui().versionAction->trigger();
        QCOMPARE(window().findChildren<AboutWindow *>().size(), 1);
        seen->close();
        QTRY_VERIFY(seen.isNull()); // created for this showing only
        QVERIFY(!QApplication::activeModalWidget());
    }

    // Settings > Tester profile offers the built-in profiles and the files in
    // the profiles folder; the choice goes to its own file, is kept across
    // windows and shows in the status bar and the About window.
    void testerProfileMenuListsAndKeepsTheChoice()
    {
        makeDir();
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("profiles")));
        for (const QString &name : {QStringLiteral("b.json"), QStringLiteral("a.json"), QStringLiteral("notes.txt")}) {
            QFile file(QDir(m_dir->path()).filePath(QStringLiteral("profiles/") + name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(builtInProfileJson(QStringLiteral("push"))).replace("\"name\": \"push\"", "\"name\": \"line4\""));
        }
        makeWindow(m_dir->path());
        QMenu *menu = window().findChild<QMenu *>(QStringLiteral("testerProfileMenu"));
        QVERIFY(menu);
        Q_EMIT menu->aboutToShow();
        QStringList items;
        for (const QAction *action : menu->actions()) {
            if (!action->isSeparator())
                items << action->text() + (action->isChecked() ? QStringLiteral(" *") : QString());
        }
        QCOMPARE(items, (QStringList{"default (built-in) *", "query-judging (built-in)", "push (built-in)", "a.json", "b.json"}));
        const QLabel *label = window().findChild<QLabel *>(QStringLiteral("testerProfileLabel"));
        QCOMPARE(label->text(), QStringLiteral("Profile: default (built-in)"));

        menu->actions().at(4)->trigger();
        QCOMPARE(label->text(), QStringLiteral("Profile: line4 (a.json)"));
        QVERIFY(m_h->dialogs.messages.isEmpty());
        ui().versionAction->trigger();
        const QLabel *about = window().findChild<QLabel *>(QStringLiteral("lblTesterProfile"));
        QVERIFY(about && about->isVisible());
        QCOMPARE(about->text(), QStringLiteral("Tester profile:\nline4 (a.json)"));
        window().findChild<AboutWindow *>()->close();

        QVERIFY(window().close());
        QCOMPARE(fileContent(QDir(m_dir->path()).filePath(QStringLiteral("TesterProfile.ini"))),
                 QByteArray("[Profile]\nuse=a.json\n"));
        QCOMPARE(fileContent(settingsPath()).count('\n'), 11);
        m_h.reset();
        makeWindow(m_dir->path());
        QCOMPARE(window().findChild<QLabel *>(QStringLiteral("testerProfileLabel"))->text(),
                 QStringLiteral("Profile: line4 (a.json)"));
    }

    void closingTheWindowTakesItsModalWindowsAlong_data()
    {
        QTest::addColumn<QString>("opener");
        QTest::newRow("counter window") << "DATA";
        QTest::newRow("About window") << "Version";
    }

    void closingTheWindowTakesItsModalWindowsAlong()
    {
        QFETCH(QString, opener);
        makeDir();
        makeWindow(m_dir->path());
        if (opener == QStringLiteral("DATA"))
            QTest::mouseClick(ui().dataButton, Qt::LeftButton);
        else
            ui().versionAction->trigger();
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        QVERIFY(modal);

        window().close();

        QTRY_VERIFY(modal.isNull());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(QFile::exists(settingsPath()));
    }

    void exitClosesTheWindowLikeItsCloseBox()
    {
        makeDir();
        makeWindow(m_dir->path());
        retype(ui().voltageEntries[0], QStringLiteral("2"));

        ui().exitAction->trigger();

        QVERIFY(!window().isVisible());
        QVERIFY(window().isShutDown());
        QCOMPARE(fileContent(settingsPath()).split('\n').value(6), QByteArray("2\r"));
    }
};

BIN4870_TEST(TestSettingsMenus)
#include "tst_settingsmenus.moc"
