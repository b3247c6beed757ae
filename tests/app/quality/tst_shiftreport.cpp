#include "testmain.h"

#include "devdb.h"
#include "filecontent.h"

#include "record/journal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Resistance "Max - Min" 3 BINs over 0..15 mOhm, voltage 2 BINs over 3..4 V.
const QByteArray kSettings = " 1 \r\n 0 \r\n3\r\n0\r\n15\r\n 0 \r\n2\r\n3\r\n4\r\n 1000 \r\n 500 \r\n";

// Inside 07:00..09:00 the resistances are 5 7 6 8 4 mOhm: mean 6, mean moving
// range 2.25, sigma 2.25 / 1.128, so Cp = 15 / (6 sigma) = 1.25 and
// Cpk = (6 - 0) / (3 sigma) = 1.00. One voltage (4.2 V) is above the BINs:
// 07:00 hour 3 of 3 in BIN, 08:00 hour 1 of 2, the range 4 of 5 (80 %).
const QByteArray kData = "2026/12/07,06:59:59,99.0E-3,3.60E+0\r\n"
                         "2026/12/07,07:00:00,5.0E-3,3.50E+0\r\n"
                         "2026/12/07,07:10:00,7.0E-3,3.60E+0\r\n"
                         "2026/12/07,07:15,damaged\r\n"
                         "2026/12/07,07:20:00,6.0E-3,3.40E+0\r\n"
                         "2026/12/07,08:00:00,8.0E-3,4.20E+0\r\n"
                         "2026/12/07,08:30:00,4.0E-3,3.55E+0\r\n"
                         "2026/12/07,09:00:00,50.0E-3,3.50E+0\r\n";

} // namespace

class TestShiftReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_program;

    // The program as a portable copy in its own folder, so that it reads the
    // test's Settings.ini; no display at all.
    int run(const QStringList &arguments, QByteArray *out, QByteArray *err, const QString &program = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.start(program.isEmpty() ? m_program : program, arguments);
        if (!process.waitForFinished(60000))
            return -1;
        *out = process.readAllStandardOutput();
        *err = process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The program and its translations (the counts' English forms) from one
    // folder into another.
    static bool copyProgram(const QString &from, const QString &to)
    {
        const QString translations = QStringLiteral("/translations/bin4870_en.qm");
        return QFile::copy(from + QStringLiteral("/bin4870"), to + QStringLiteral("/bin4870"))
               && QDir(to).mkpath(QStringLiteral("translations"))
               && QFile::copy(from + translations, to + translations);
    }

    static QByteArray tool(const QString &name, const QStringList &arguments)
    {
        QProcess process;
        process.start(name, arguments);
        process.waitForFinished(30000);
        return process.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString binDir = QProcessEnvironment::systemEnvironment().value(QStringLiteral("BIN4870_BIN_DIR"));
        m_program = m_dir.filePath(QStringLiteral("bin4870"));
        QVERIFY(copyProgram(binDir, m_dir.path()));
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("Settings.ini")), kSettings));
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("bench7.csv")), kData));
    }

    void reportFromTheCommandLine()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("shift.pdf"));
        QByteArray out;
        QByteArray err;
        const int code = run({QStringLiteral("--report"), pdf, QStringLiteral("--source"),
                              QStringLiteral("file:") + m_dir.filePath(QStringLiteral("bench7.csv")),
                              QStringLiteral("--bench"), QStringLiteral("bench7"), QStringLiteral("--from"),
                              QStringLiteral("2026-12-07 07:00"), QStringLiteral("--to"),
                              QStringLiteral("2026-12-07T09:00:00")},
                             &out, &err);
        QVERIFY2(code == 0, err.constData());
        QVERIFY(out.contains("5 cells"));

        const QByteArray info = tool(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains("(A4)"), info.constData());
        const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromLatin1(info));
        QVERIFY(pages.hasMatch());
        QCOMPARE(pages.captured(1).toInt(), 3);

        // Blanks collapsed, so that the checks do not depend on the layout.
        const QString text = QString::fromUtf8(tool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}))
                                 .replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
        for (const char *expected :
             {"BIN4870 shift report", "Bench: bench7", "Cells: 5", "Damaged lines not read: 1",
              "From 2026-12-07 07:00:00 to 2026-12-07 09:00:00", "Resistance: Cp = 1.25, Cpk = 1.00",
              "= 2.25 / 1.128 = 1.9947 mOhm", "LSL = 0.0, USL = 15.0 mOhm", "Whole range: 80.00 % of 5 cells",
              "2026-12-07 07:00 3 3 100.00", "2026-12-07 08:00 2 1 50.00", "bench7 5 4 80.00 1.00",
              "Stability (I-MR charts)", "\"Max - Min\": max 15.0, min 0.0"}) {
            QVERIFY2(text.contains(QLatin1String(expected)), expected);
        }
        QVERIFY2(!text.contains(QLatin1String("99.0")), "a cell before --from was taken");
        // The four I-MR charts are pictures in the PDF.
        const QList<QByteArray> images = tool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split('\n');
        QCOMPARE(std::count_if(images.begin(), images.end(), [](const QByteArray &line) { return line.contains(" image "); }),
                 4);
    }

    // Every failure: a non-zero exit, one clear line, no PDF.
    void failuresExitNonZeroWithAMessage()
    {
        const QString data = QStringLiteral("file:") + m_dir.filePath(QStringLiteral("bench7.csv"));
        const QString pdf = m_dir.filePath(QStringLiteral("failed.pdf"));
        struct Case
        {
            QStringList arguments;
            int code;
            const char *message;
        };
        const Case cases[] = {
            {{QStringLiteral("--source"), QStringLiteral("file:") + m_dir.filePath(QStringLiteral("none.csv"))}, 1,
             "no such data file"},
            {{QStringLiteral("--source"), data, QStringLiteral("--from"), QStringLiteral("yesterday")}, 2,
             "--from: 'yesterday' is no time"},
            {{QStringLiteral("--source"), data, QStringLiteral("--from"), QStringLiteral("2026-12-08"),
              QStringLiteral("--to"), QStringLiteral("2026-12-07")}, 2, "--from must come before --to"},
            {{QStringLiteral("--source"), data, QStringLiteral("--bench"), QStringLiteral("bench9")}, 2,
             "'bench9' is not in"},
            {{QStringLiteral("--source"), QStringLiteral("central")}, 1, "no central database is set up"},
            {{QStringLiteral("--source"), QStringLiteral("ftp:x")}, 2, "none of file:PATH, journal, central"},
            {{QStringLiteral("--source"), data, QStringLiteral("--colour")}, 2, "Unknown option 'colour'"},
            {{QStringLiteral("--source"), data, QStringLiteral("--shift"), QStringLiteral("last")}, 2,
             "--shift: 'last' is neither current nor previous"},
            {{QStringLiteral("--source"), data, QStringLiteral("--shift"), QStringLiteral("current"),
              QStringLiteral("--to"), QStringLiteral("14:00")}, 2, "--shift goes without --from and --to"},
        };
        for (const Case &c : cases) {
            QByteArray out;
            QByteArray err;
            QCOMPARE(run(QStringList{QStringLiteral("--report"), pdf} + c.arguments, &out, &err), c.code);
            QVERIFY2(err.contains(c.message), err.constData());
            QVERIFY(!QFile::exists(pdf));
        }
        // A folder that is not there.
        QByteArray out;
        QByteArray err;
        QCOMPARE(run({QStringLiteral("--report"), m_dir.filePath(QStringLiteral("missing/shift.pdf")),
                      QStringLiteral("--source"), data},
                     &out, &err),
                 1);
        QVERIFY2(err.contains("the report cannot be written"), err.constData());
    }

    // The report replaces only a regular file: a named pipe, a device or a
    // folder at the name (or at the end of a link) is refused with what it is
    // and left as it was, and no temporary file stays behind.
    void aReportReplacesOnlyARegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("told");
        QTest::newRow("named pipe") << "pipe" << "a named pipe";
        QTest::newRow("device") << "device" << "a device";
        QTest::newRow("folder") << "folder" << "a folder";
        QTest::newRow("link to a device") << "link to device" << "a device";
        QTest::newRow("link to a named pipe") << "link to pipe" << "a named pipe";
    }
    void aReportReplacesOnlyARegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, told);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("out.pdf"));
        QString node = target;
        if (kind.startsWith(QLatin1String("link to "))) {
            node = dir.filePath(QStringLiteral("node"));
            QVERIFY(QFile::link(node, target));
        }
        const QByteArray nodeName = QFile::encodeName(node);
        if (kind.endsWith(QLatin1String("pipe"))) {
            QCOMPARE(::mkfifo(nodeName.constData(), 0600), 0);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(node));
        } else {
            if (::geteuid() != 0)
                QSKIP("making a device node (mknod) needs root");
            // The same device as /dev/full, in the test's own folder.
            QCOMPARE(::mknod(nodeName.constData(), S_IFCHR | 0600, makedev(1, 7)), 0);
        }
        struct stat before {};
        QCOMPARE(::lstat(nodeName.constData(), &before), 0);
        const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden
                                                               | QDir::NoDotAndDotDot);

        QByteArray out;
        QByteArray err;
        QCOMPARE(run({QStringLiteral("--report"), target, QStringLiteral("--source"),
                      QStringLiteral("file:") + m_dir.filePath(QStringLiteral("bench7.csv"))},
                     &out, &err),
                 1);
        const QString message =
                QStringLiteral("bin4870: the report cannot be written: %1: it is %2, not a regular file\n").arg(target, told);
        QVERIFY2(QString::fromUtf8(err).contains(message), err.constData());
        struct stat after {};
        QCOMPARE(::lstat(nodeName.constData(), &after), 0);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_rdev, before.st_rdev);
        QCOMPARE(QFileInfo(target).isSymLink(), node != target);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 entries);
    }

    // A regular file is replaced whole; through a link, the file the link
    // leads to is, and the link stays.
    void aReportReplacesAFileAndWritesThroughALink()
    {
        QTemporaryDir dir;
        const QString data = QStringLiteral("file:") + m_dir.filePath(QStringLiteral("bench7.csv"));
        const QString file = dir.filePath(QStringLiteral("old.pdf"));
        const QString link = dir.filePath(QStringLiteral("latest.pdf"));
        QVERIFY(writeFile(file, "an older report"));
        QVERIFY(QFile::link(file, link));
        QByteArray out;
        QByteArray err;
        for (const QString &target : {file, link}) {
            QVERIFY(writeFile(file, "an older report"));
            QVERIFY2(run({QStringLiteral("--report"), target, QStringLiteral("--source"), data}, &out, &err) == 0,
                     err.constData());
            QFile written(file);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QVERIFY(written.read(5) == "%PDF-");
            QVERIFY(QFileInfo(link).isSymLink());
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("latest.pdf"), QStringLiteral("old.pdf")}));
    }

    // --shift takes the shift around the time the report is made, by the
    // start times of Shifts.ini beside the program: the shift now under way
    // started an hour ago and ends in an hour; the one before it is 22 hours
    // long and ran past midnight.
    void reportOfTheCurrentAndThePreviousShift()
    {
        QTemporaryDir dir;
        const QString program = QDir(dir.path()).filePath(QStringLiteral("bin4870"));
        QVERIFY(copyProgram(m_dir.path(), dir.path()));
        QVERIFY(writeFile(QDir(dir.path()).filePath(QStringLiteral("Settings.ini")), kSettings));
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime start = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute())).addSecs(-3600);
        const QDateTime end = start.addSecs(2 * 3600);
        QVERIFY(writeFile(QDir(dir.path()).filePath(QStringLiteral("Shifts.ini")),
                          QStringLiteral("[Shifts]\nStarts=%1, %2\n")
                              .arg(end.toString(QStringLiteral("HH:mm")), start.toString(QStringLiteral("HH:mm")))
                              .toLatin1()));
        auto line = [](const QDateTime &t, const char *values) {
            return t.toString(QStringLiteral("yyyy/MM/dd,HH:mm:ss,")).toLatin1() + values + "\r\n";
        };
        const QString data = QDir(dir.path()).filePath(QStringLiteral("line.csv"));
        QVERIFY(writeFile(data, line(start.addSecs(-60), "9.0E-3,3.50E+0") + line(start, "5.0E-3,3.50E+0")
                                    + line(start.addSecs(1800), "7.0E-3,3.60E+0")));
        const QString pdf = QDir(dir.path()).filePath(QStringLiteral("shift.pdf"));
        auto report = [&](const char *which, QByteArray *err) {
            QByteArray out;
            const int code = run({QStringLiteral("--report"), pdf, QStringLiteral("--source"),
                                  QStringLiteral("file:") + data, QStringLiteral("--shift"), QLatin1String(which)},
                                 &out, err, program);
            return code == 0 ? QString::fromUtf8(tool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}))
                                   .replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "))
                             : QString::fromUtf8(*err);
        };
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
        QByteArray err;
        QString text = report("current", &err);
        QVERIFY2(text.contains(QStringLiteral("Cells: 2 ")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("From %1 to %2").arg(start.toString(format), end.toString(format))),
                 qPrintable(text));
        QVERIFY2(!err.contains("Shifts.ini"), err.constData());
        text = report("previous", &err);
        QVERIFY2(text.contains(QStringLiteral("Cells: 1 ")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("From %1 to %2")
                                   .arg(end.addDays(-1).toString(format), start.toString(format))),
                 qPrintable(text));

        // A Shifts.ini that cannot be used is told; the usual shifts serve.
        QVERIFY(writeFile(QDir(dir.path()).filePath(QStringLiteral("Shifts.ini")), "[Shifts]\nStarts=6:00, 25:00\n"));
        text = report("current", &err);
        QVERIFY2(text.contains(QStringLiteral("Cells: ")), qPrintable(text));
        QVERIFY2(err.contains("Shifts.ini: '25:00' is no time of day (HH:MM); the shifts start at 06:00, 14:00, 22:00."),
                 err.constData());
    }

    // The bench's journal as the source: its benches and times filtered, each
    // set-up that judged a cell named by its hash, the latest judging them all.
    void reportFromTheJournal()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("bin4870"));
        QVERIFY(copyProgram(m_dir.path(), dir.path()));
        QByteArray out;
        QByteArray err;
        QCOMPARE(run({QStringLiteral("--report"), dir.filePath(QStringLiteral("none.pdf")), QStringLiteral("--source"),
                      QStringLiteral("journal")},
                     &out, &err, program),
                 1);
        QVERIFY2(err.contains("no such journal"), err.constData());

        const BinSetup older = cellfixtures::setup(15.0f);
        const BinSetup latest = cellfixtures::setup(20.0f);
        {
            Journal journal(QStringLiteral("report-test"));
            QVERIFY(journal.open(dir.filePath(QStringLiteral("journal.sqlite"))));
            // cellfixtures: 08:00+01:00 on, 2.5 s apart; 40 cells of line-2 by
            // the older set-up, then 20 of line-2 and 20 of line-3 by the latest.
            std::vector<CellRecord> first;
            std::vector<CellRecord> second;
            for (int n = 0; n < 40; ++n)
                first.push_back(cellfixtures::record(QStringLiteral("line-2"), n, older));
            for (int n = 40; n < 80; ++n)
                second.push_back(cellfixtures::record(n % 2 ? QStringLiteral("line-3") : QStringLiteral("line-2"), n, latest));
            QVERIFY(journal.appendAll(first, older));
            QVERIFY(journal.appendAll(second, latest));
        }
        const QString pdf = dir.filePath(QStringLiteral("journal.pdf"));
        // 08:00:10 .. 08:03:00 takes cells 4..71.
        QCOMPARE(run({QStringLiteral("--report"), pdf, QStringLiteral("--source"), QStringLiteral("journal"),
                      QStringLiteral("--from"), QStringLiteral("2026-12-07 08:00:10"), QStringLiteral("--to"),
                      QStringLiteral("2026-12-07 08:03")},
                     &out, &err, program),
                 0);
        QVERIFY2(out.contains("68 cells"), out.constData());
        const QString text = QString::fromUtf8(tool(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}))
                                 .replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
        for (const QString &expected :
             {QStringLiteral("Source: Record journal"), QStringLiteral("Bench: all"), QStringLiteral("Cells: 68"),
              QStringLiteral("line-2 52 "), QStringLiteral("line-3 16 "),
              QStringLiteral("Set-up %1: 36 cells, the last at 2026-12-07 08:01:37").arg(older.hash.left(16)),
              QStringLiteral("Set-up %1: 32 cells, the last at 2026-12-07 08:02:57").arg(latest.hash.left(16)),
              QStringLiteral("\"Max - Min\": max 60.0, min 20.0")}) {
            QVERIFY2(text.contains(expected), qPrintable(expected));
        }

        // One bench.
        QCOMPARE(run({QStringLiteral("--report"), pdf, QStringLiteral("--source"), QStringLiteral("journal"),
                      QStringLiteral("--bench"), QStringLiteral("line-3")},
                     &out, &err, program),
                 0);
        QVERIFY2(out.contains("20 cells"), out.constData());
        QCOMPARE(run({QStringLiteral("--report"), pdf, QStringLiteral("--source"), QStringLiteral("journal"),
                      QStringLiteral("--bench"), QStringLiteral("line-9")},
                     &out, &err, program),
                 2);
        QVERIFY2(err.contains("'line-9' is not in"), err.constData());
    }
};

BIN4870_TEST(TestShiftReport)
#include "tst_shiftreport.moc"
