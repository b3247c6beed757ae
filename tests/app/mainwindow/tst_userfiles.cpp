#include "testmain.h"

#include "formmainharness.h"

#include "app/mainwindow/portchooser.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The window of an installed program: the set-up and the port links in the
// user's configuration folder, data files proposed in the documents folder,
// the guide from the documentation folder, nothing beside the program.

namespace {

QStringList everythingUnder(const QString &dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    return entries;
}

} // namespace

class TestUserFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void anInstalledWindowKeepsItsFilesInTheUsersFolders()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        FileLocations where;
        where.perUser = true;
        where.programDir = root.filePath(QStringLiteral("prefix/bin"));
        where.docDir = root.filePath(QStringLiteral("prefix/share/doc/bin4870"));
        where.settingsDir = root.filePath(QStringLiteral("home/.config/bin4870")); // not there yet
        where.dataDir = root.filePath(QStringLiteral("home/Documents"));
        QVERIFY(QDir().mkpath(where.programDir));
        QVERIFY(QDir().mkpath(where.docDir));
        QVERIFY(QDir().mkpath(where.dataDir));
        const QStringList prefixBefore = everythingUnder(root.filePath(QStringLiteral("prefix")));

        auto h = std::make_unique<FormMainHarness>(where);
        FormMain &window = *h->window;
        QCOMPARE(window.ui().dataFilePath->text(), where.dataDir + QStringLiteral("/2012-08-02.csv"));
        QTest::mouseClick(window.ui().browseButton, Qt::LeftButton);
        QCOMPARE(h->dialogs.saveSetups.size(), 1);
        QCOMPARE(h->dialogs.saveSetups.at(0).initialPath, where.dataDir + QStringLiteral("/2012-08-02.csv"));
        window.ui().helpAction->trigger();
        // No guide in the test's folders: the message names where it was looked for.
        QVERIFY(h->dialogs.messageTexts().join(QString()).contains(where.docDir + QStringLiteral("/readmeE.txt")));

        window.setSerialDeviceList([] {
            return QList<SerialDevice>{{QStringLiteral("/dev/null"), QString(), QString(), QString(), QString()}};
        });
        QMenu *connectCom3 = window.portChooser().connectMenu(2);
        Q_EMIT connectCom3->aboutToShow();
        connectCom3->actions().at(0)->trigger();
        QCOMPARE(QFileInfo(where.settingsDir + QStringLiteral("/COM3")).symLinkTarget(), QStringLiteral("/dev/null"));
        window.ui().resistanceEntries[0]->setText(QStringLiteral("7"));
        window.close();
        h.reset();

        QCOMPARE(fileLines(where.settingsDir + QStringLiteral("/Settings.ini")).size(), 11);
        QCOMPARE(everythingUnder(root.filePath(QStringLiteral("prefix"))), prefixBefore);

        h = std::make_unique<FormMainHarness>(where);
        QCOMPARE(h->window->comPort(), qint16(3));
        QVERIFY(h->window->ui().comPortActions[2]->isChecked());
        QCOMPARE(h->window->ui().resistanceEntries[0]->text(), QStringLiteral("7"));
        QCOMPARE(h->port.commPort(), qint16(3));
        h.reset();
        QCOMPARE(everythingUnder(root.filePath(QStringLiteral("prefix"))), prefixBefore);
    }
};

BIN4870_TEST(TestUserFiles)
#include "tst_userfiles.moc"
