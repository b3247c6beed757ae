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

    // The PDF's text (one page, or all from page 0), its rows as laid out,
    // blanks collapsed and ligatures ("ﬁ") spelt out, so that the checks do
    // not depend on the spacing or the font.
    static QString pdfText(const QString &pdf, int page = 0)
    {
        QStringList arguments{QStringLiteral("-layout")};
        if (page > 0)
            arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
        return QString::fromUtf8(tool(QStringLiteral("pdftotext"), arguments << pdf << QStringLiteral("-")))
                .normalized(QString::NormalizationForm_KC)
                .replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
    }

    static int pageCount(const QString &pdf)
    {
        const QByteArray info = tool(QStringLiteral("pdfinfo"), {pdf});
        const QRegularExpressionMatch pages =
                QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromLatin1(info));
        return pages.hasMatch() ? pages.captured(1).toInt() : -1;
    }

    // Every page: the running header, and "Page k of N" with N the pages
    // the PDF has.
    void checkEveryPage(const QString &pdf, const QString &header)
    {
        const int pages = pageCount(pdf);
        QVERIFY(pages > 0);
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(pdf, page);
            QVERIFY2(text.contains(QStringLiteral("Page %1 of %2").arg(page).arg(pages)), qPrintable(text));
            QVERIFY2(text.startsWith(QStringLiteral(" ") + header) || text.startsWith(header), qPrintable(text));
        }
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
        QVERIFY2(tool(QStringLiteral("pdfinfo"), {pdf}).contains("(A4)"), "not A4");

        // The version as --version prints it, nowhere "Version 1.02".
        QByteArray version;
        QCOMPARE(run({QStringLiteral("--version")}, &version, &err), 0);
        const QString number = QString::fromLatin1(version).trimmed().section(QLatin1Char(' '), 1);
        QVERIFY(!number.isEmpty());
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("with BIN4870 %1").arg(number)), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("BIN4870 %1 - made ").arg(number)), qPrintable(text));
        QVERIFY(!text.contains(QLatin1String("Version 1.")));
        checkEveryPage(pdf, QStringLiteral("BIN4870 shift report - Data file %1 - 2026-12-07 07:00 to 2026-12-07 09:00 "
                                           "- Bench: bench7")
                                    .arg(m_dir.filePath(QStringLiteral("bench7.csv"))));

        // 07:00..09:00: 5 7 6 8 4 mOhm, mean 6, mean moving range 2.25, within
        // sigma 2.25 / 1.128; five cells are too few for the indices.
        for (const char *expected :
             {"BIN4870 shift report", "Bench bench7", "Cells 5 Damaged lines not read 1", "Tester profile default (built-in)",
              "From 2026-12-07 07:00:00 to 2026-12-07 09:00:00", "LSL / USL 0.0 / 15.0 3.0 / 4.0",
              "Limits from the outer BIN limits the outer BIN limits", "n (cells) 5 5", "Mean 6.0",
              "Within sigma (mean MR / 1.128) 1.9947", "Cpk (within), 95 % bounds - -",
              "Resistance: n = 5: too few cells for capability indices (30 needed). Normality not tested: fewer "
              "than 8 cells.", "Whole range: 80.00 % of 5 cells", "2026-12-07 07:00 3 3 100.00",
              "2026-12-07 08:00 2 1 50.00", "bench7 5 4 80.00 6.0 - 3.65 - ",
              "Stability: I-MR charts per bench", "\"Max - Min\": max 15.0, min 0.0",
              // The charts are drawn as text and lines: their titles and whole axis titles.
              "bench7: Resistance individuals", "bench7: Voltage moving range", "MR (mOhm)", "MR (V)",
              "cell of bench7 in time order", "bench7, Resistance: mean 6.0, LCL 0.015"}) {
            QVERIFY2(text.contains(QLatin1String(expected)), expected);
        }
        // Who made it: the login name the system gives.
        const QString user = QString::fromLocal8Bit(tool(QStringLiteral("id"), {QStringLiteral("-un")})).trimmed();
        QVERIFY(!user.isEmpty());
        QVERIFY2(text.contains(QStringLiteral(" by %1 with BIN4870 ").arg(user)), qPrintable(user));
        QVERIFY2(!text.contains(QLatin1String("99.0")), "a cell before --from was taken");
    }

    // A range without cells: one page that says so, and exit status 3 for a
    // job to see; no charts, no tables of nothing.
    void anEmptyRangeGivesOnePageAndStatus3()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("empty.pdf"));
        QByteArray out;
        QByteArray err;
        QCOMPARE(run({QStringLiteral("--report"), pdf, QStringLiteral("--source"),
                      QStringLiteral("file:") + m_dir.filePath(QStringLiteral("bench7.csv")), QStringLiteral("--from"),
                      QStringLiteral("2026-12-08 06:00"), QStringLiteral("--to"), QStringLiteral("2026-12-08 14:00")},
                     &out, &err),
                 3);
        QVERIFY2(out.contains("no cells in the range"), out.constData());
        QCOMPARE(pageCount(pdf), 1);
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains(QLatin1String("No cells in this range")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("Page 1 of 1")), qPrintable(text));
        for (const char *absent : {"Capability", "individuals", "Per BIN", "Marked cells"})
            QVERIFY2(!text.contains(QLatin1String(absent)), absent);
    }

    // The specification: from the command line per quantity, else from
    // Specification.ini beside the program, else the BIN limits; the report
    // says which. A specification that makes no sense is refused.
    void theSpecificationTheReportJudgesAgainst()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("bin4870"));
        QVERIFY(copyProgram(m_dir.path(), dir.path()));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Settings.ini")), kSettings));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Specification.ini")), "[Voltage]\nLSL=3.3\nUSL=3.9\nTarget=3.6\n"));
        const QString data = QStringLiteral("file:") + m_dir.filePath(QStringLiteral("bench7.csv"));
        const QString pdf = dir.filePath(QStringLiteral("spec.pdf"));
        QByteArray out;
        QByteArray err;
        QVERIFY2(run({QStringLiteral("--report"), pdf, QStringLiteral("--source"), data, QStringLiteral("--lsl-r"),
                      QStringLiteral("2"), QStringLiteral("--usl-r"), QStringLiteral("12.5"), QStringLiteral("--target-r"),
                      QStringLiteral("6")},
                     &out, &err, program)
                         == 0,
                 err.constData());
        const QString text = pdfText(pdf);
        for (const char *expected : {"Limits from the specification the specification", "LSL / USL 2.0 / 12.5 3.3 / 3.9",
                                     "Target 6.0 3.6"})
            QVERIFY2(text.contains(QLatin1String(expected)), qPrintable(text));

        struct Case
        {
            QStringList arguments;
            const char *message;
        };
        const Case refused[] = {
            {{QStringLiteral("--lsl-r"), QStringLiteral("2,5")}, "--lsl-r: \"2,5\" is no number"},
            {{QStringLiteral("--lsl-v"), QStringLiteral("4"), QStringLiteral("--usl-v"), QStringLiteral("3")},
             "the lower limit must be below the upper limit"},
            {{QStringLiteral("--usl-r"), QStringLiteral("10"), QStringLiteral("--target-r"), QStringLiteral("11")},
             "the target must lie within the limits"},
        };
        for (const Case &c : refused) {
            QCOMPARE(run(QStringList{QStringLiteral("--report"), pdf, QStringLiteral("--source"), data} + c.arguments,
                         &out, &err, program),
                     2);
            QVERIFY2(err.contains(c.message), err.constData());
        }
        // A Specification.ini that cannot be used is no reason to judge against
        // other limits in silence.
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Specification.ini")), "[Voltage]\nLSL=low\n"));
        QCOMPARE(run({QStringLiteral("--report"), pdf, QStringLiteral("--source"), data}, &out, &err, program), 1);
        QVERIFY2(err.contains("the specification cannot be read") && err.contains("Voltage/LSL"), err.constData());
    }

    // A shift of two benches whose cells arrive interleaved: a chart pair per
    // bench, each bench's moving ranges its own and pooled for the within
    // sigma, and the cell that breaks a rule named by bench, time and ID.
    void aTwoBenchShiftChartsEachBenchAndNamesItsMarkedCells()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("bin4870"));
        QVERIFY(copyProgram(m_dir.path(), dir.path()));
        const BinSetup setup = cellfixtures::setup();
        {
            Journal journal(QStringLiteral("two-benches"));
            QVERIFY(journal.open(dir.filePath(QStringLiteral("journal.sqlite"))));
            // bench-A about 30 mOhm, bench-B about 45, alternating;
            // bench-A's 31st cell (08:02:30), A-OUT, reads 60.
            QVERIFY(journal.appendAll(cellfixtures::twoBenchShift(setup), setup));
        }
        const QString pdf = dir.filePath(QStringLiteral("two.pdf"));
        QByteArray out;
        QByteArray err;
        QVERIFY2(run({QStringLiteral("--report"), pdf, QStringLiteral("--source"), QStringLiteral("journal")}, &out, &err,
                     program)
                         == 0,
                 err.constData());
        const QString text = pdfText(pdf);
        for (const char *expected :
             {"Bench all: bench-A, bench-B", "bench-A: 60 cells", "bench-B: 60 cells", "bench-A: Resistance individuals",
              "bench-B: Voltage moving range", "(118 moving ranges of 2 benches; none spans two benches)"}) {
            QVERIFY2(text.contains(QLatin1String(expected)), expected);
        }
        const QRegularExpression marked(QStringLiteral(
                "2026-12-07 08:02:30 bench-A A-OUT 31 Resistance 60\\.0 mOhm beyond a control limit"));
        QVERIFY2(text.contains(marked), qPrintable(text));
        // bench-B's cells are steady: none of them is marked, though its level
        // is far from bench-A's.
        QVERIFY2(!text.contains(QRegularExpression(QStringLiteral("\\d bench-B B-\\d{3} "))), qPrintable(text));
        // The marked cells' heading stays with its table.
        for (int page = 1; page <= pageCount(pdf); ++page) {
            const QString onPage = pdfText(pdf, page);
            if (onPage.contains(QLatin1String("Marked cells")))
                QVERIFY2(onPage.contains(QLatin1String("Time Bench Cell ID Cell Value Rule broken")), qPrintable(onPage));
        }
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
            // 3: written, but the range holds no cell (the usual shifts below
            // may miss the cells, whatever the time of day).
            return code == 0 || code == 3 ? pdfText(pdf) : QString::fromUtf8(*err);
        };
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
        QByteArray err;
        QString text = report("current", &err);
        QVERIFY2(text.contains(QStringLiteral("Cells 2 ")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("From %1 to %2").arg(start.toString(format), end.toString(format))),
                 qPrintable(text));
        QVERIFY2(!err.contains("Shifts.ini"), err.constData());
        text = report("previous", &err);
        QVERIFY2(text.contains(QStringLiteral("Cells 1 ")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("From %1 to %2")
                                   .arg(end.addDays(-1).toString(format), start.toString(format))),
                 qPrintable(text));

        // A Shifts.ini that cannot be used is told; the usual shifts serve.
        QVERIFY(writeFile(QDir(dir.path()).filePath(QStringLiteral("Shifts.ini")), "[Shifts]\nStarts=6:00, 25:00\n"));
        text = report("current", &err);
        QVERIFY2(text.contains(QStringLiteral("Cells ")) || text.contains(QStringLiteral("No cells in this range")),
                 qPrintable(text));
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
        const QString text = pdfText(pdf);
        for (const QString &expected :
             {QStringLiteral("Source Record journal"), QStringLiteral("Bench all: line-2, line-3"), QStringLiteral("Cells 68"),
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
