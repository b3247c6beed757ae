#include "testmain.h"
#include "specialfiles.h"

#include "common/apperror.h"
#include "record/datafile.h"
#include "record/recordline.h"
#include "record/recordnotices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

// Caps the size of any file this process writes, so that a write stops part-way
// the way it does on a nearly full disk. Restores the limit when it goes.
class FileSizeCap
{
public:
    explicit FileSizeCap(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit capped = m_saved;
        capped.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &capped) == 0;
    }
    ~FileSizeCap()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};

const QDateTime kStamp(QDate(2012, 8, 2), QTime(14, 5, 9));

QByteArray recordAt(int second)
{
    return recordLine(kStamp.addSecs(second), QString::number(second), QStringLiteral("3.7"));
}

} // namespace

class TestRecord : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lineHoldsDateTimeAndRawTexts_data()
    {
        QTest::addColumn<QDateTime>("stamp");
        QTest::addColumn<QString>("resistance");
        QTest::addColumn<QString>("voltage");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("cellId");

        QTest::newRow("typical") << kStamp << "+1.2345E-03" << "+3.6789E+00"
                                 << QByteArray("2012/08/02,14:05:09,+1.2345E-03,+3.6789E+00\r\n") << QString();
        QTest::newRow("with a cell ID: a fifth field")
                << kStamp << "+1.2345E-03" << "+3.6789E+00"
                << QByteArray("2012/08/02,14:05:09,+1.2345E-03,+3.6789E+00,C18650 #0042\r\n")
                << "C18650 #0042";
        QTest::newRow("an ID cannot add a field or a line")
                << kStamp << "1" << "2" << QByteArray("2012/08/02,14:05:09,1,2,AB\r\n") << "A,\r\nB";
        QTest::newRow("last second of the year")
                << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) << "1" << "2"
                << QByteArray("1999/12/31,23:59:59,1,2\r\n") << QString();
        QTest::newRow("overflow texts kept, nothing trimmed")
                << kStamp << " 9.9E+37 " << "" << QByteArray("2012/08/02,14:05:09, 9.9E+37 ,\r\n") << QString();
        QTest::newRow("text beyond Latin-1 written as ?")
                << kStamp << QString::fromUtf8("1\u03a9") << QString::fromUtf8("\u00b5V")
                << QByteArray("2012/08/02,14:05:09,1?,\xb5V\r\n") << QString();
        QTest::newRow("line ends inside a text do not split the record")
                << kStamp << "1.0\r\n2.0" << "3\n" << QByteArray("2012/08/02,14:05:09,1.02.0,3\r\n") << QString();
    }
    void lineHoldsDateTimeAndRawTexts()
    {
        QFETCH(QDateTime, stamp);
        QFETCH(QString, resistance);
        QFETCH(QString, voltage);
        QFETCH(QByteArray, line);
        QFETCH(QString, cellId);
        QCOMPARE(recordLine(stamp, resistance, voltage, cellId), line);
        // Neither an ID nor a word from the tester: the same four fields.
        if (cellId.isEmpty())
            QCOMPARE(recordLine(stamp, resistance, voltage, QString(), QString()), line);
    }

    // The tester's own word is a field of its own, after the cell's ID when
    // there is one: no comma or line end in it can add a field or split the
    // record.
    void testersWordFollowsTheCellId()
    {
        QCOMPARE(recordLine(kStamp, "23.456E-3", "3.9876", {}, "PASS"),
                 QByteArray("2012/08/02,14:05:09,23.456E-3,3.9876,PASS\r\n"));
        QCOMPARE(recordLine(kStamp, "23.456E-3", "3.9876", "C-7", "PASS"),
                 QByteArray("2012/08/02,14:05:09,23.456E-3,3.9876,C-7,PASS\r\n"));
        QCOMPARE(recordLine(kStamp, "1", "2", {}, "NO,GO\r\n"), QByteArray("2012/08/02,14:05:09,1,2,NOGO\r\n"));
        QCOMPARE(recordLine(kStamp, "1", "2", {}, ",\r\n"), QByteArray("2012/08/02,14:05:09,1,2\r\n"));
    }

    void defaultPathIsTodayInTheProgramFolder_data()
    {
        const QString sep = QDir::separator();
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("path");

        QTest::newRow("plain folder") << "/opt/bench" << QDate(2012, 8, 2)
                                      << "/opt/bench" + sep + "2012-08-02.csv";
        QTest::newRow("folder ending in a separator") << "/opt/bench/" << QDate(2012, 12, 31)
                                                      << "/opt/bench/2012-12-31.csv";
        QTest::newRow("no folder gives a bare name") << "" << QDate(2012, 8, 2) << "2012-08-02.csv";
    }
    void defaultPathIsTodayInTheProgramFolder()
    {
        QFETCH(QString, dir);
        QFETCH(QDate, today);
        QFETCH(QString, path);
        QCOMPARE(defaultDataPath(dir, today), path);
    }

    void csvAddedOnlyWhenNoDotAnywhere_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no dot") << "/data/run1" << "/data/run1.csv";
        QTest::newRow("empty") << "" << ".csv";
        QTest::newRow("own extension") << "/data/run1.txt" << "/data/run1.txt";
        QTest::newRow("dot only in a folder") << "/data/v1.2/run1" << "/data/v1.2/run1";
    }
    void csvAddedOnlyWhenNoDotAnywhere()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(withDefaultExtension(path), expected);
    }

    void channelDataFileIsNamedAfterChannelOnes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("expected");
        QTest::newRow("channel 1 keeps the path") << "/data/2026-12-07.csv" << 1 << "/data/2026-12-07.csv";
        QTest::newRow("before the extension") << "/data/2026-12-07.csv" << 2 << "/data/2026-12-07-ch2.csv";
        QTest::newRow("the last dot of the name") << "/data/lot.7.txt" << 4 << "/data/lot.7-ch4.txt";
        QTest::newRow("no dot: .csv as START adds it") << "/data/shift" << 3 << "/data/shift-ch3.csv";
        QTest::newRow("dot only in a folder") << "/data.d/shift" << 2 << "/data.d/shift-ch2";
        QTest::newRow("hidden file") << "/data/.cells" << 2 << "/data/.cells-ch2";
    }

    void channelDataFileIsNamedAfterChannelOnes()
    {
        QFETCH(QString, path);
        QFETCH(int, channel);
        QFETCH(QString, expected);
        QCOMPARE(channelDataPath(path, channel), expected);
    }

    void recordsAreAppendedToAnExistingFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("2012-08-02.csv");
        writeFile(path, "2012/08/01,09:00:00,1,2\r\n");

        DataFile file;
        QVERIFY(file.open(path));
        QVERIFY(file.isOpen());
        QVERIFY(file.writeRecord(kStamp, "0.5", "3.7"));
        // Written through at once: another reader sees it before close.
        QCOMPARE(contentOf(path), QByteArray("2012/08/01,09:00:00,1,2\r\n2012/08/02,14:05:09,0.5,3.7\r\n"));
        QVERIFY(file.writeRecord(kStamp, "0.5", "3.7"));
        file.close();
        QVERIFY(!file.isOpen());

        // A later session appends again; nothing before is touched.
        QVERIFY(file.open(path));
        QVERIFY(file.writeRecord(kStamp.addSecs(60), "x", "y"));
        file.close();
        QCOMPARE(contentOf(path),
                 QByteArray("2012/08/01,09:00:00,1,2\r\n"
                            "2012/08/02,14:05:09,0.5,3.7\r\n"
                            "2012/08/02,14:05:09,0.5,3.7\r\n"
                            "2012/08/02,14:06:09,x,y\r\n"));
    }

    void openingAnotherFileClosesTheFirst()
    {
        QTemporaryDir dir;
        DataFile file;
        QVERIFY(file.open(dir.filePath("a.csv")));
        QVERIFY(file.open(dir.filePath("b.csv")));
        QVERIFY(file.writeRecord(kStamp, "1", "2"));
        file.close();
        file.close();
        QCOMPARE(contentOf(dir.filePath("a.csv")), QByteArray());
        QCOMPARE(contentOf(dir.filePath("b.csv")), QByteArray("2012/08/02,14:05:09,1,2\r\n"));
    }

    void openFailureThrowsWithThePath_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("missing folder") << "no/such/folder/x.csv";
        QTest::newRow("path is a folder") << "folder";
    }
    void openFailureThrowsWithThePath()
    {
        QFETCH(QString, relative);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        const QString path = dir.filePath(relative);
        DataFile file;
        const Status opened = file.open(path);
        QVERIFY2(!opened, "open succeeded");
        QCOMPARE(opened.kind(), ErrorKind::FileIo);
        QVERIFY2(opened.errorString().contains(QDir::toNativeSeparators(path)), qPrintable(opened.errorString()));
        QVERIFY(!file.isOpen());
        QVERIFY(!file.writeRecord(kStamp, "1", "2"));
        QVERIFY(!file.errorString().isEmpty());
    }

    void fullDeviceIsReportedWithFileAndReason()
    {
        QTemporaryDir dir;
        const QString mountPoint = dir.filePath("tiny");
        QVERIFY(QDir().mkdir(mountPoint));
        TinyFileSystem tiny(mountPoint);
        if (!tiny.isMounted())
            QSKIP("cannot mount a small file system here (needs root)");
        QVERIFY(tiny.fill());
        const QString path = mountPoint + "/d.csv";
        DataFile file;
        QVERIFY(file.open(path));
        const Result<RecordWritten> outcome = file.writeRecord(kStamp, "1", "2");
        QVERIFY(!outcome);
        QCOMPARE(outcome.errorString(), QString::fromLocal8Bit(std::strerror(ENOSPC)));
        QCOMPARE(file.path(), path);
        // Nothing is held back to come out with a later record.
        QVERIFY(!file.writeRecord(kStamp, "3", "4"));
        QVERIFY(QFile::remove(mountPoint + "/filler"));
        QVERIFY(file.writeRecord(kStamp, "5", "6"));
        file.close();
        QCOMPARE(contentOf(path), QByteArray("2012/08/02,14:05:09,5,6\r\n"));

        RecordNotices notices;
        StoreOutcome lost;
        lost.store = QStringLiteral("the data file %1").arg(path);
        lost.kept = false;
        lost.reason = outcome.errorString();
        const std::optional<QString> text = notices.after({lost});
        QVERIFY(text);
        QCOMPARE(*text, QStringLiteral("The counted cell was saved nowhere: the data file %1 could not be "
                                       "written (No space left on device). It is in the BIN counters only.")
                                .arg(path));
    }

    void deletedOrReplacedFileIsOpenedAgainAtItsPath_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("deleted") << "rm";
        QTest::newRow("another file moved in") << "mv other";
        QTest::newRow("moved away") << "mv away";
        QTest::newRow("truncated in place") << "truncate";
    }
    void deletedOrReplacedFileIsOpenedAgainAtItsPath()
    {
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString path = dir.filePath("d.csv");
        const QByteArray other = "2011/01/01,00:00:00,other,file\r\n";
        writeFile(dir.filePath("other.csv"), other);

        DataFile file;
        QVERIFY(file.open(path));
        QByteArray expected;
        for (int k = 0; k < 2; ++k) {
            const Result<RecordWritten> outcome = file.writeRecord(kStamp.addSecs(k), QString::number(k), "3.7");
            QVERIFY(outcome && !outcome->reopened);
            expected += recordAt(k);
        }
        QCOMPARE(contentOf(path), expected);

        bool replaced = true;
        if (change == "rm") {
            QVERIFY(QFile::remove(path));
            expected.clear();
        } else if (change == "mv other") {
            QVERIFY(::rename(QFile::encodeName(dir.filePath("other.csv")), QFile::encodeName(path)) == 0);
            expected = other;
        } else if (change == "mv away") {
            QVERIFY(QFile::rename(path, dir.filePath("kept.csv")));
            expected.clear();
        } else {
            QVERIFY(QFile::resize(path, 0));
            expected.clear();
            replaced = false;
        }

        for (int k = 2; k < 5; ++k) {
            const Result<RecordWritten> outcome = file.writeRecord(kStamp.addSecs(k), QString::number(k), "3.7");
            QVERIFY(outcome);
            // Told with the first record after the change, not again.
            QCOMPARE(outcome->reopened, replaced && k == 2);
            QCOMPARE(file.path(), path);
            expected += recordAt(k);
        }
        QCOMPARE(contentOf(path), expected);
        if (change == "mv away")
            QCOMPARE(contentOf(dir.filePath("kept.csv")), recordAt(0) + recordAt(1));
    }

    // The folder turned into a plain file: the open file is no longer the one
    // at the path, and writing into it would lose the record unseen.
    void folderReplacedByAPlainFileIsNotWrittenInto()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("cells");
        QVERIFY(QDir().mkdir(folder));
        DataFile file;
        QVERIFY(file.open(folder + "/d.csv"));
        QVERIFY(file.writeRecord(kStamp, "0", "3.7"));

        QVERIFY(QFile::rename(folder, dir.filePath("kept")));
        writeFile(folder, "a plain file\n");
        const Result<RecordWritten> outcome = file.writeRecord(kStamp.addSecs(1), "1", "3.7");
        QVERIFY(!outcome);
        QVERIFY(!outcome.errorString().isEmpty());
        QCOMPARE(contentOf(dir.filePath("kept/d.csv")), recordAt(0));
    }

    void specialFilesAreRefusedWithoutWaiting_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("named");
        QTest::newRow("named pipe") << int(Special::Pipe) << "a named pipe";
        QTest::newRow("link to a named pipe") << int(Special::LinkToPipe) << "a named pipe";
        QTest::newRow("device node") << int(Special::DeviceNode) << "a device";
        QTest::newRow("link to a device node") << int(Special::LinkToDeviceNode) << "a device";
        QTest::newRow("socket") << int(Special::Socket) << "a socket";
        QTest::newRow("folder") << int(Special::Folder) << "a folder";
    }
    void specialFilesAreRefusedWithoutWaiting()
    {
        QFETCH(int, kind);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString path = dir.filePath("d.csv");
        QString why;
        if (!makeSpecial(Special(kind), path, &why))
            QSKIP(qPrintable(why.isEmpty() ? QStringLiteral("cannot make it") : why));

        // A pipe without a reader would hold a blocking open for good: getting
        // past open() at all is the point.
        DataFile file;
        const Status opened = file.open(path);
        QVERIFY2(!opened, "a special file was opened for records");
        QCOMPARE(opened.kind(), ErrorKind::FileIo);
        QCOMPARE(opened.errorString(), QStringLiteral("%1 is %2, not a regular file").arg(path, named));
        QVERIFY(!file.isOpen());
    }

    void pipeReplacingTheFileIsNotWrittenAndTheFileComesBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("d.csv");
        DataFile file;
        QVERIFY(file.open(path));
        QVERIFY(file.writeRecord(kStamp, "0", "3.7"));
        QVERIFY(QFile::remove(path));
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0666) == 0);

        // Refused at once, for every record while the pipe is there.
        for (int k = 1; k <= 2; ++k) {
            const Result<RecordWritten> outcome = file.writeRecord(kStamp.addSecs(k), "1", "3.7");
            QVERIFY(!outcome);
            QCOMPARE(outcome.errorString(), QStringLiteral("%1 is a named pipe, not a regular file").arg(path));
        }
        // Once a file can be made there again, records go to it.
        QVERIFY(QFile::remove(path));
        const Result<RecordWritten> outcome = file.writeRecord(kStamp.addSecs(3), "3", "3.7");
        QVERIFY(outcome && outcome->reopened);
        QCOMPARE(contentOf(path), recordAt(3));
    }

    void noticesTellEachLossAndSummariseRepeats()
    {
        StoreOutcome written;
        written.store = QStringLiteral("the data file /data/d.csv");
        StoreOutcome reopened = written;
        reopened.news = dataFileReplacedText(QStringLiteral("/data/d.csv"));
        const auto failed = [&written](const QString &reason) {
            StoreOutcome outcome = written;
            outcome.kept = false;
            outcome.reason = reason;
            return std::vector<StoreOutcome>{outcome};
        };

        RecordNotices notices;
        QVERIFY(!notices.after({written}));
        // A run of the same failure is one growing count, each notice naming
        // the file and the reason.
        const QString full = "No space left on device";
        for (int k = 1; k <= 3; ++k) {
            const std::optional<QString> text = notices.after(failed(full));
            QVERIFY(text);
            QCOMPARE(notices.failuresInRow(), k);
            QVERIFY2(text->contains("/data/d.csv") && text->contains(full) && text->contains("saved nowhere"),
                     qPrintable(*text));
            QCOMPARE(text->startsWith(QStringLiteral("%1 counted cells in a row").arg(k)), k > 1);
        }
        // Another reason starts a count of its own.
        std::optional<QString> text = notices.after(failed("Input/output error"));
        QCOMPARE(notices.failuresInRow(), 1);
        QVERIFY(text->startsWith("The counted cell was saved nowhere") && text->contains("Input/output error"));
        // A record written ends the run; a file opened afresh is told once.
        text = notices.after({reopened});
        QVERIFY(text);
        QCOMPARE(*text, dataFileReplacedText("/data/d.csv"));
        QCOMPARE(notices.failuresInRow(), 0);
        QVERIFY(!notices.after({written}));
        text = notices.after(failed(full));
        QCOMPARE(notices.failuresInRow(), 1);
        notices.reset();
        QVERIFY(notices.after(failed(full))->startsWith("The counted cell"));
    }

    // One notice per cell says where the cell is and where it is not; never
    // "not in the file" beside "it is in the data file".
    void noticeTellsWhichStoresHaveTheCell_data()
    {
        QTest::addColumn<bool>("fileKept");
        QTest::addColumn<bool>("journalKept");
        QTest::addColumn<QString>("told");
        QTest::newRow("both kept") << true << true << QString();
        QTest::newRow("data file failed")
                << false << true
                << "The counted cell was not saved: the data file /d.csv could not be written (No space left on "
                   "device). It is in the BIN counters and in the record journal /j.sqlite.";
        QTest::newRow("journal failed")
                << true << false
                << "The counted cell was not saved: the record journal /j.sqlite could not be written (database or "
                   "disk is full). It is in the BIN counters and in the data file /d.csv, but not in the central "
                   "record.";
        QTest::newRow("both failed")
                << false << false
                << "The counted cell was saved nowhere: the data file /d.csv could not be written (No space left on "
                   "device), and the record journal /j.sqlite could not be written (database or disk is full). It "
                   "is in the BIN counters only.";
    }
    void noticeTellsWhichStoresHaveTheCell()
    {
        QFETCH(bool, fileKept);
        QFETCH(bool, journalKept);
        QFETCH(QString, told);
        StoreOutcome file;
        file.store = QStringLiteral("the data file /d.csv");
        file.kept = fileKept;
        if (!fileKept)
            file.reason = QStringLiteral("No space left on device");
        StoreOutcome journal;
        journal.store = QStringLiteral("the record journal /j.sqlite");
        journal.kept = journalKept;
        journal.alsoMissingFrom = QStringLiteral("the central record");
        if (!journalKept)
            journal.reason = QStringLiteral("database or disk is full");
        RecordNotices notices;
        QCOMPARE(notices.after({file, journal}).value_or(QString()), told);
        QCOMPARE(RecordNotices::keptNowhere({file, journal}), !fileKept && !journalKept);
    }

    void partlyWrittenRecordIsCutBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("d.csv");
        const QByteArray earlier("2012/08/01,09:00:00,1,2\r\n");
        writeFile(path, earlier);

        DataFile file;
        QVERIFY(file.open(path));
        {
            FileSizeCap cap(earlier.size() + 10);
            if (!cap.active())
                QSKIP("file size limit cannot be set");
            QVERIFY(!file.writeRecord(kStamp, "0.5", "3.7"));
            QVERIFY(!file.errorString().isEmpty());
        }
        QCOMPARE(contentOf(path), earlier);
        QVERIFY(file.writeRecord(kStamp, "9", "8"));
        QCOMPARE(contentOf(path), earlier + "2012/08/02,14:05:09,9,8\r\n");
    }
};

BIN4870_TEST(TestRecord)
#include "tst_record.moc"
