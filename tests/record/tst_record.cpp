#include "testmain.h"

#include "common/apperror.h"
#include "record/datafile.h"
#include "record/recordline.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

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

        QTest::newRow("typical") << kStamp << "+1.2345E-03" << "+3.6789E+00"
                                 << QByteArray("2012/08/02,14:05:09,+1.2345E-03,+3.6789E+00\r\n");
        QTest::newRow("last second of the year")
                << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) << "1" << "2"
                << QByteArray("1999/12/31,23:59:59,1,2\r\n");
        QTest::newRow("overflow texts kept, nothing trimmed")
                << kStamp << " 9.9E+37 " << "" << QByteArray("2012/08/02,14:05:09, 9.9E+37 ,\r\n");
        QTest::newRow("text beyond Latin-1 written as ?")
                << kStamp << QString::fromUtf8("1\u03a9") << QString::fromUtf8("\u00b5V")
                << QByteArray("2012/08/02,14:05:09,1?,\xb5V\r\n");
        QTest::newRow("line ends inside a text do not split the record")
                << kStamp << "1.0\r\n2.0" << "3\n" << QByteArray("2012/08/02,14:05:09,1.02.0,3\r\n");
    }
    void lineHoldsDateTimeAndRawTexts()
    {
        QFETCH(QDateTime, stamp);
        QFETCH(QString, resistance);
        QFETCH(QString, voltage);
        QFETCH(QByteArray, line);
        QCOMPARE(recordLine(stamp, resistance, voltage), line);
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

    void recordsAreAppendedToAnExistingFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("2012-08-02.csv");
        writeFile(path, "2012/08/01,09:00:00,1,2\r\n");

        DataFile file;
        file.open(path);
        QVERIFY(file.isOpen());
        QVERIFY(file.writeRecord(kStamp, "0.5", "3.7"));
        // Written through at once: another reader sees it before close.
        QCOMPARE(contentOf(path), QByteArray("2012/08/01,09:00:00,1,2\r\n2012/08/02,14:05:09,0.5,3.7\r\n"));
        QVERIFY(file.writeRecord(kStamp, "0.5", "3.7"));
        file.close();
        QVERIFY(!file.isOpen());

        // A later session appends again; nothing before is touched.
        file.open(path);
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
        file.open(dir.filePath("a.csv"));
        file.open(dir.filePath("b.csv"));
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
        try {
            file.open(path);
            QFAIL("open succeeded");
        } catch (const AppError &error) {
            QCOMPARE(error.number(), errors::kFileIo);
            QVERIFY2(error.description().contains(QDir::toNativeSeparators(path)),
                     qPrintable(error.description()));
        }
        QVERIFY(!file.isOpen());
        QVERIFY(!file.writeRecord(kStamp, "1", "2"));
        QVERIFY(!file.errorString().isEmpty());
    }

    void fullDiskIsReportedNotSwallowed()
    {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full here");
        DataFile file;
        file.open("/dev/full");
        QVERIFY(!file.writeRecord(kStamp, "1", "2"));
        QVERIFY2(file.errorString().contains("No space left on device"),
                 qPrintable(file.errorString()));
        // Nothing is held back to come out with a later record.
        QVERIFY(!file.writeRecord(kStamp, "3", "4"));
    }

    void partlyWrittenRecordIsCutBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("d.csv");
        const QByteArray earlier("2012/08/01,09:00:00,1,2\r\n");
        writeFile(path, earlier);

        DataFile file;
        file.open(path);
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
