#include "testmain.h"
#include "filecontent.h"

#include "formmainharness.h"
#include "specialfiles.h"
#include "simtester.h"

#include "platform/dialogs.h"
#include "settings/settingscodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>

// The main window against its own files turning into something else: the data
// file deleted or replaced mid-session, pipes, devices and links where a file
// belongs, and a set-up that must come back as it was in use.

namespace {

const QDateTime kStamp(QDate(2012, 8, 2), QTime(14, 5, 9));

QStringList entriesOf(const QString &folder)
{
    return withoutJournal(QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot));
}

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FormMainHarness> m_h;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }
    QStringList messages() const { return m_h->dialogs.messageTexts(); }

    void makeWindow(const QString &programDir)
    {
        m_h = std::make_unique<FormMainHarness>(programDir);
        m_h->clock.current = kStamp;
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    QString makeDir()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        return m_dir->path();
    }

    void verifyIdle()
    {
        QVERIFY(!window().session().timerEnabled());
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(!m_h->dataFile.isOpen());
        QVERIFY(ui().startButton->isEnabled());
        QVERIFY(ui().dataFileFrame->isEnabled());
    }

private Q_SLOTS:
    void cleanup()
    {
        m_h.reset();
        m_sim.reset();
        m_dir.reset();
    }

    void dataFileDeletedOrReplacedMidSessionKeepsEveryCell_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("deleted") << false;
        QTest::newRow("another file moved in") << true;
    }
    void dataFileDeletedOrReplacedMidSessionKeepsEveryCell()
    {
        QFETCH(bool, replace);
        const QString reply = QStringLiteral("20.000E-3,3.6000E+0");
        m_sim = std::make_unique<SimTester>();
        QVERIFY2(m_sim->start({QStringLiteral("--reply"), reply}), m_sim->log().constData());
        makeWindow(m_sim->folder());
        const QString path = m_sim->folder() + QStringLiteral("/data.csv");
        const QString other = m_sim->folder() + QStringLiteral("/other.csv");
        const QByteArray otherContent = "2011/01/01,00:00:00,1,2\r\n";
        QVERIFY(writeFile(other, otherContent));
        ui().dataFilePath->setText(path);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().timerEnabled());

        QVERIFY(countOne(window()));
        QVERIFY(countOne(window()));
        if (replace)
            QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
        else
            QVERIFY(QFile::remove(path));
        for (int k = 0; k < 3; ++k)
            QVERIFY(countOne(window()));
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        verifyIdle();

        QCOMPARE(m_h->binTableR.totalCount, qint16(5));
        // Every cell counted after the change is in the file at the path.
        const QByteArray record = "2012/08/02,14:05:09," + reply.toLatin1() + "\r\n";
        QCOMPARE(readAll(path), (replace ? otherContent : QByteArray()) + record.repeated(3));
        // Told once, naming the file.
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].contains(path) && messages()[0].contains(QStringLiteral("deleted or replaced")),
                 qPrintable(messages()[0]));
    }

    void specialDataFileIsRefusedAtOnce_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("named");
        QTest::newRow("named pipe") << int(Special::Pipe) << "a named pipe";
        QTest::newRow("link to a device node") << int(Special::LinkToDeviceNode) << "a device";
    }
    void specialDataFileIsRefusedAtOnce()
    {
        QFETCH(int, kind);
        QFETCH(QString, named);
        const QString dir = makeDir();
        const QString path = dir + QStringLiteral("/data.csv");
        QString why;
        if (!makeSpecial(Special(kind), path, &why))
            QSKIP(qPrintable(why));
        makeWindow(dir);
        ui().dataFilePath->setText(path);

        // START returns (a blocking open would wait here for a reader for good),
        // tells why, and leaves the window as it was.
        for (int press = 1; press <= 2; ++press) {
            QTest::mouseClick(ui().startButton, Qt::LeftButton);
            verifyIdle();
            QCOMPARE(messages().size(), press);
            QCOMPARE(messages().last(), QStringLiteral("%1 is %2, not a regular file").arg(path, named));
        }
        QCOMPARE(typeAt(path), mode_t(kind == int(Special::Pipe) ? S_IFIFO : S_IFLNK));
    }

    void specialSettingsFileIsToldAndLeftAlone_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("named");
        QTest::newRow("named pipe") << int(Special::Pipe) << "a named pipe";
        QTest::newRow("link to a device node") << int(Special::LinkToDeviceNode) << "a device";
        QTest::newRow("device node") << int(Special::DeviceNode) << "a device";
    }
    void specialSettingsFileIsToldAndLeftAlone()
    {
        QFETCH(int, kind);
        QFETCH(QString, named);
        const QString dir = makeDir();
        const QString settings = settingsPath(dir);
        QString why;
        if (!makeSpecial(Special(kind), settings, &why))
            QSKIP(qPrintable(why));
        struct stat nodeBefore {};
        ::stat(QFile::encodeName(settings).constData(), &nodeBefore);
        const QStringList entriesBefore = entriesOf(dir);

        // The window comes up (reading a pipe with no writer would never return)
        // with the first-run set-up, and says why.
        makeWindow(dir);
        QCOMPARE(ui().resistanceEntries[0]->text(), QString());
        QVERIFY(ui().resistanceModes[0]->isChecked());
        QTRY_COMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].startsWith(QStringLiteral("%1 is %2, not a regular file").arg(settings, named)),
                 qPrintable(messages()[0]));
        // It answers the operator as ever.
        retype(ui().resistanceEntries[0], QStringLiteral("4"));
        QCOMPARE(m_h->binTableR.numBins, qint16(4));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is %1, not a regular file").arg(named)));
        window().close();
        QVERIFY(window().isShutDown());
        QCOMPARE(messages().size(), 1);
        // Nothing was replaced: the same node (or link and node) and no other file.
        struct stat nodeAfter {};
        QCOMPARE(::stat(QFile::encodeName(settings).constData(), &nodeAfter), 0);
        QCOMPARE(nodeAfter.st_mode, nodeBefore.st_mode);
        QCOMPARE(nodeAfter.st_rdev, nodeBefore.st_rdev);
        QCOMPARE(nodeAfter.st_ino, nodeBefore.st_ino);
        if (kind == int(Special::LinkToDeviceNode))
            QCOMPARE(typeAt(settings), mode_t(S_IFLNK));
        QCOMPARE(entriesOf(dir), entriesBefore);
    }

    void refusedPanelEntryIsSavedAsTheTableKeptIt_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<QString>("restored");
        QTest::newRow("MAX 1e39 set") << 2 << "1e39" << false << "40";
        // Typed key by key, "1e3" was taken before "1e39" was refused.
        QTest::newRow("MAX 1e39 typed") << 2 << "1e39" << true << "1000";
        QTest::newRow("BIN count below 16 bits") << 0 << "-1e6" << false << "3";
    }
    void refusedPanelEntryIsSavedAsTheTableKeptIt()
    {
        QFETCH(int, box);
        QFETCH(QString, entry);
        QFETCH(bool, typed);
        QFETCH(QString, restored);
        const QString dir = makeDir();
        makeWindow(dir);
        ui().resistanceEntries[0]->setText(QStringLiteral("3"));
        ui().resistanceEntries[1]->setText(QStringLiteral("10"));
        ui().resistanceEntries[2]->setText(QStringLiteral("40"));
        ui().voltageEntries[0]->setText(QStringLiteral("2"));
        if (typed)
            retype(ui().resistanceEntries[size_t(box)], entry);
        else
            ui().resistanceEntries[size_t(box)]->setText(entry);
        QTRY_COMPARE(messages().size(), 1);
        QCOMPARE(ui().resistanceEntries[size_t(box)]->text(), entry);
        const BinTable inUse = m_h->binTableR;
        const QStringList limitsInUse{ui().lowerLimits[0]->text(), ui().upperLimits[2]->text()};
        window().close();

        m_h.reset();
        makeWindow(dir);
        QCOMPARE(ui().resistanceEntries[size_t(box)]->text(), restored);
        QVERIFY(m_h->binTableR == inUse);
        QCOMPARE((QStringList{ui().lowerLimits[0]->text(), ui().upperLimits[2]->text()}), limitsInUse);
        QCOMPARE(m_h->binTableV.numBins, qint16(2));
        QCOMPARE(messages().size(), 0);
    }

    void windowAtTheEdgeOfTheRangeComesBack_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QPoint>("moveTo");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("restored at the right edge") << QByteArray(" 9999.99 \r\n 4999.99 \r\n") << QPoint(-1, -1)
                                                    << QPoint(667, 333);
        QTest::newRow("moved past the right and bottom edge") << QByteArray(" 0 \r\n 0 \r\n") << QPoint(900, 500)
                                                               << QPoint(667, 333);
        QTest::newRow("moved past the left edge") << QByteArray(" 0 \r\n 0 \r\n") << QPoint(-40, 20)
                                                  << QPoint(0, 20);
    }
    void windowAtTheEdgeOfTheRangeComesBack()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QPoint, moveTo);
        QFETCH(QPoint, expected);
        const QString dir = makeDir();
        QVERIFY(writeFile(settingsPath(dir), " 1 \r\n 0 \r\n\r\n\r\n\r\n 0 \r\n\r\n\r\n\r\n" + stored));
        makeWindow(dir);
        if (moveTo != QPoint(-1, -1)) {
            window().move(moveTo);
            QTRY_COMPARE(window().pos(), moveTo);
        }
        const QPoint before = window().pos();
        window().close();
        const QList<QByteArray> lines = readAll(settingsPath(dir)).split('\n');
        QCOMPARE(lines.size(), 12);
        const float left = lines[9].trimmed().toFloat();
        const float top = lines[10].trimmed().toFloat();
        QVERIFY2(left >= 0 && left <= 10000 && top >= 0 && top <= 5000, lines[9] + lines[10]);

        m_h.reset();
        makeWindow(dir);
        QCOMPARE(window().pos(), expected);
        if (moveTo == QPoint(-1, -1))
            QCOMPARE(window().pos(), before);
    }

    void leftoverOfAnInterruptedSaveIsRemovedAtStartUp()
    {
        const QString dir = makeDir();
        const QByteArray settings = " 3 \r\n 1 \r\n9\r\n10\r\n2.5\r\n 2 \r\n5\r\n3.7\r\n1\r\n 1200 \r\n 900 \r\n";
        QVERIFY(writeFile(settingsPath(dir), settings));
        QVERIFY(writeFile(settingsPath(dir) + QStringLiteral(".bin4870-save-kQ3xZ9"), " 4 \r\n 0 \r\n"));
        makeWindow(dir);
        QCOMPARE(entriesOf(dir), QStringList{QStringLiteral("Settings.ini")});
        QCOMPARE(window().comPort(), qint16(3));
        QCOMPARE(readAll(settingsPath(dir)), settings);
    }

    void recordNoticesShareOneBox()
    {
        QWidget parent;
        QtDialogs dialogs(&parent);
        dialogs.showNotice(QStringLiteral("The counted cell was not saved"), QStringLiteral("title"));
        dialogs.showNotice(QStringLiteral("2 counted cells in a row were not saved"), QStringLiteral("title"));
        QList<QMessageBox *> boxes = parent.findChildren<QMessageBox *>();
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes[0]->isVisible());
        QVERIFY(!boxes[0]->isModal());
        QCOMPARE(boxes[0]->text(), QStringLiteral("2 counted cells in a row were not saved"));
        // Once the operator has closed it, the next notice opens it again.
        boxes[0]->button(QMessageBox::Ok)->click();
        QTRY_COMPARE(parent.findChildren<QMessageBox *>().size(), 0);
        dialogs.showNotice(QStringLiteral("again"), QStringLiteral("title"));
        boxes = parent.findChildren<QMessageBox *>();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->text(), QStringLiteral("again"));
    }
};

BIN4870_TEST(TestHostileFiles)
#include "tst_hostilefiles.moc"
