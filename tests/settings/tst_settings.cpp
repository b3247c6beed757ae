#include "testmain.h"
#include "specialfiles.h"

#include "settings/settingscodec.h"
#include "settings/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// The example set-up: port 3, resistance "Min - Step" 9 / 10 / 2.5, voltage
// "Ref - %" 5 / 3.7 / 1, window at 1200, 900 twips.
StoredSettings example()
{
    StoredSettings s;
    s.comPort = 3;
    s.modeR = 1;
    s.boxesR = {"9", "10", "2.5"};
    s.modeV = 2;
    s.boxesV = {"5", "3.7", "1"};
    s.left = 1200;
    s.top = 900;
    return s;
}

const QByteArray kExampleFile(" 3 \r\n 1 \r\n9\r\n10\r\n2.5\r\n 2 \r\n5\r\n3.7\r\n1\r\n 1200 \r\n 900 \r\n");

// All eleven restored values in file order, as one comparable text.
QString fields(const StoredSettings &s)
{
    return QStringList{QString::number(s.comPort), QString::number(s.modeR),
                       s.boxesR[0], s.boxesR[1], s.boxesR[2],
                       QString::number(s.modeV),
                       s.boxesV[0], s.boxesV[1], s.boxesV[2],
                       singleToText(s.left), singleToText(s.top)}
            .join(QLatin1Char('|'));
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exampleWritesElevenExactLinesAndReadsBack()
    {
        QCOMPARE(writeSettings(example()), kExampleFile);
        QCOMPARE(fields(readSettings(kExampleFile)), fields(example()));
    }

    void numbersCarryTheirSignInPlaceOfTheBlank()
    {
        StoredSettings s;
        s.comPort = -2;
        s.modeR = 0;
        s.boxesR = {"", " 1.50 ", "abc"};
        s.boxesV = {"7\r\n 9 ", QString::fromUtf8("5\u03a9"), "-0.50"};
        s.left = -2.25f;
        s.top = 0.1f;
        QCOMPARE(writeSettings(s),
                 QByteArray("-2 \r\n 0 \r\n\r\n 1.50 \r\nabc\r\n 0 \r\n7\r\n5?\r\n-0.50\r\n"
                            "-2.25 \r\n 0.1 \r\n"));
    }

    // Each row puts one line into the example file and names the value that
    // line restores.
    void eachLineIsReadThroughItsRange_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("restored");

        QTest::newRow("box 1.50") << 4 << QByteArray("1.50") << "1.5";
        QTest::newRow("box 007") << 4 << QByteArray("007") << "7";
        QTest::newRow("box -0.50") << 5 << QByteArray("-0.50") << "-0.5";
        QTest::newRow("empty box") << 8 << QByteArray("") << "0";
        QTest::newRow("box abc") << 9 << QByteArray("abc") << "0";
        QTest::newRow("blanks and tabs around") << 4 << QByteArray(" \t 12.5 \t") << "12.5";
        QTest::newRow("leading number of a longer text") << 4 << QByteArray("12.5 mOhm") << "12.5";
        QTest::newRow("point first") << 4 << QByteArray(".25") << "0.25";
        QTest::newRow("exponent") << 4 << QByteArray("2.5E3") << "2500";
        QTest::newRow("exponent without digits ignored") << 4 << QByteArray("2.5e") << "2.5";
        QTest::newRow("comma ends the number") << 4 << QByteArray("1,5") << "1";
        QTest::newRow("underflow past double becomes 0") << 4 << QByteArray("1e-999") << "0";
        QTest::newRow("beyond float falls back") << 10 << QByteArray("1e39") << "1000";
        QTest::newRow("beyond double falls back") << 11 << QByteArray("-1e999") << "500";
        QTest::newRow("parameter 123456") << 4 << QByteArray("123456") << "0";
        QTest::newRow("parameter 99999") << 5 << QByteArray("99999") << "99999";
        QTest::newRow("parameter -99999") << 8 << QByteArray("-99999") << "-99999";
        QTest::newRow("count 12") << 3 << QByteArray("12") << "0";
        QTest::newRow("port 0") << 1 << QByteArray(" 0 ") << "1";
        QTest::newRow("port 31") << 1 << QByteArray(" 31 ") << "1";
        QTest::newRow("port 7") << 1 << QByteArray(" 7 ") << "7";
        QTest::newRow("port 2.5 to even") << 1 << QByteArray("2.5") << "2";
        QTest::newRow("port 3.5 to even") << 1 << QByteArray("3.5") << "4";
        QTest::newRow("mode 3") << 2 << QByteArray(" 3 ") << "0";
        QTest::newRow("mode -1") << 6 << QByteArray("-1 ") << "0";
        QTest::newRow("mode 1.5 to even") << 2 << QByteArray("1.5") << "2";
        QTest::newRow("left 12000") << 10 << QByteArray(" 12000 ") << "1000";
        QTest::newRow("left 0") << 10 << QByteArray(" 0 ") << "0";
        QTest::newRow("left fraction kept") << 10 << QByteArray(" 1234.5 ") << "1234.5";
        QTest::newRow("top -100") << 11 << QByteArray("-100 ") << "500";
        QTest::newRow("top 5000") << 11 << QByteArray(" 5000 ") << "5000";
    }
    void eachLineIsReadThroughItsRange()
    {
        QFETCH(int, line);
        QFETCH(QByteArray, text);
        QFETCH(QString, restored);

        QList<QByteArray> lines = kExampleFile.split('\n');
        lines[line - 1] = text + '\r';
        QStringList expected = fields(example()).split(QLatin1Char('|'));
        expected[line - 1] = restored;
        QCOMPARE(fields(readSettings(lines.join('\n'))), expected.join(QLatin1Char('|')));
    }

    // Lines that are missing keep the holder's value, each still range-checked.
    void shortFilesCarryTheHolderForward_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("restored");

        QTest::newRow("empty file") << QByteArray() << "1|1|1|1|1|1|1|1|1|1|1";
        QTest::newRow("port only") << QByteArray(" 4 \r\n") << "4|0|0|0|0|0|0|0|0|0|0";
        QTest::newRow("empty second line reads 0")
                << QByteArray(" 5 \r\n\r\n") << "5|0|0|0|0|0|0|0|0|0|0";
        QTest::newRow("stops after a parameter")
                << QByteArray(" 2 \r\n 1 \r\n8\r\n250\r\n") << "2|1|8|250|250|0|0|0|0|0|0";
        QTest::newRow("left carried to top")
                << QByteArray(" 2 \r\n 1 \r\n8\r\n1\r\n2\r\n 0 \r\n3\r\n4\r\n5\r\n 1200 \r\n")
                << "2|1|8|1|2|0|3|4|5|1200|1200";
        QTest::newRow("LF only") << QByteArray(" 3\n 1\n9\n10\n2.5\n 2\n5\n3.7\n1\n 1200\n 900\n")
                                 << "3|1|9|10|2.5|2|5|3.7|1|1200|900";
        QTest::newRow("lone CR ends a line")
                << QByteArray(" 3\r 1\r9\r10\r2.5\r 2\r5\r3.7\r1\r 1200\r 900\r")
                << "3|1|9|10|2.5|2|5|3.7|1|1200|900";
        QTest::newRow("CR CR LF is two lines")
                << QByteArray(" 3 \r\r\n 1 \r\n") << "3|0|1|1|1|1|1|1|1|1|1";
        QTest::newRow("lines past the eleventh ignored") << kExampleFile + "7\r\n8\r\n"
                                                         << "3|1|9|10|2.5|2|5|3.7|1|1200|900";
    }
    void shortFilesCarryTheHolderForward()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, restored);
        QCOMPARE(fields(readSettings(content)), restored);
    }

    void garbageNeverLeavesTheRanges()
    {
        QRandomGenerator random(4870);
        for (int round = 0; round < 2000; ++round) {
            QByteArray content(int(random.bounded(200)), Qt::Uninitialized);
            for (char &c : content) {
                // Mostly number-like bytes, so that values do land in and out of range.
                static const char kNumberish[] = "0123456789.-+eE \r\n";
                c = random.bounded(3) == 0 ? char(random.bounded(256))
                                           : kNumberish[random.bounded(int(sizeof kNumberish) - 1)];
            }
            const StoredSettings s = readSettings(content);
            QVERIFY2(s.comPort >= 1 && s.comPort <= 30, content.toHex().constData());
            QVERIFY(s.modeR >= 0 && s.modeR <= 2);
            QVERIFY(s.modeV >= 0 && s.modeV <= 2);
            QVERIFY(s.left >= 0 && s.left <= 10000);
            QVERIFY(s.top >= 0 && s.top <= 5000);
            for (const auto *boxes : {&s.boxesR, &s.boxesV}) {
                const float count = (*boxes)[0].toFloat();
                QVERIFY(count >= 0 && count <= 9);
                for (int i = 1; i < 3; ++i) {
                    bool ok = false;
                    const float parameter = (*boxes)[i].toFloat(&ok);
                    QVERIFY2(ok && parameter >= -99999 && parameter <= 99999,
                             qPrintable((*boxes)[i]));
                }
            }
        }
    }

    void floatText_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.5") << 1.5f << "1.5";
        QTest::newRow("10") << 10.0f << "10";
        QTest::newRow("0") << 0.0f << "0";
        QTest::newRow("-0") << -0.0f << "0";
        QTest::newRow("-2.25") << -2.25f << "-2.25";
        QTest::newRow("3.7") << 3.7f << "3.7";
        QTest::newRow("1e-7") << 1e-7f << "0.0000001";
        QTest::newRow("seven digits") << 1234.567f << "1234.567";
        QTest::newRow("rounded to seven digits") << 1.23456789f << "1.234568";
        QTest::newRow("large whole") << 16777216.0f << "16777220";
        QTest::newRow("1e30") << 1e30f << "1000000000000000000000000000000";
    }
    void floatText()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(singleToText(value), text);
    }

    void fileRoundTrip()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const Result<std::optional<QByteArray>> missing = readSettingsFile(dir.path());
        QVERIFY(missing && !missing->has_value());

        QVERIFY(writeSettingsFile(dir.path(), "old\r\n"));
        QVERIFY(writeSettingsFile(dir.path(), kExampleFile));
        QCOMPARE(contentOf(dir.filePath("Settings.ini")), kExampleFile);
        const Result<std::optional<QByteArray>> content = readSettingsFile(dir.path());
        QVERIFY(content && content->has_value());
        QCOMPARE(**content, kExampleFile);
        // Only the settings file is left in the folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Settings.ini"});
    }

    void unusableFolderFailsQuietly_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("missing folder") << "gone/away";
        QTest::newRow("folder is a file") << "plain";
    }
    void unusableFolderFailsQuietly()
    {
        QFETCH(QString, relative);
        QTemporaryDir dir;
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(!writeSettingsFile(dir.filePath(relative), kExampleFile));
        const Result<std::optional<QByteArray>> read = readSettingsFile(dir.filePath(relative));
        QVERIFY(read && !read->has_value());
        QCOMPARE(contentOf(dir.filePath("plain")), QByteArray());
    }

    void specialFileIsNeitherReadNorReplaced_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("named");
        // The kinds themselves are told apart with the data file; here what
        // matters is a name, a link, and a folder the save must not replace.
        QTest::newRow("named pipe") << int(Special::Pipe) << "a named pipe";
        QTest::newRow("link to a device node") << int(Special::LinkToDeviceNode) << "a device";
        QTest::newRow("folder") << int(Special::Folder) << "a folder";
    }
    void specialFileIsNeitherReadNorReplaced()
    {
        QFETCH(int, kind);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString path = settingsPath(dir.path());
        QString why;
        if (!makeSpecial(Special(kind), path, &why))
            QSKIP(qPrintable(why.isEmpty() ? QStringLiteral("cannot make it") : why));
        const QString linkTarget = path + "-target";
        const mode_t before = typeAt(path);
        const mode_t targetBefore = typeAt(linkTarget);

        // Returning at all is the point for a pipe: a blocking open would wait
        // for a writer for good.
        const QString refusal = QStringLiteral("%1 is %2, not a regular file").arg(path, named);
        const Result<std::optional<QByteArray>> read = readSettingsFile(dir.path());
        QVERIFY(!read);
        QCOMPARE(read.errorString(), refusal);
        const Status written = writeSettingsFile(dir.path(), kExampleFile);
        QVERIFY(!written);
        QCOMPARE(written.errorString(), refusal);
        // Neither the name nor what a link leads to was replaced, and no
        // temporary file was left.
        QCOMPARE(typeAt(path), before);
        QCOMPARE(typeAt(linkTarget), targetBefore);
        QStringList expected{"Settings.ini"};
        if (targetBefore)
            expected << "Settings.ini-target";
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 expected);
    }

    void linkToARegularFileIsWrittenThrough_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("to an existing file") << true;
        QTest::newRow("to a file not made yet") << false;
    }
    void linkToARegularFileIsWrittenThrough()
    {
        QFETCH(bool, targetExists);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("kept"));
        const QString target = dir.filePath("kept/bench.ini");
        if (targetExists) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old\r\n") == 5);
        }
        QVERIFY(QFile::link(target, settingsPath(dir.path())));

        QVERIFY(writeSettingsFile(dir.path(), kExampleFile));
        QCOMPARE(typeAt(settingsPath(dir.path())), mode_t(S_IFLNK));
        QCOMPARE(contentOf(target), kExampleFile);
        const Result<std::optional<QByteArray>> read = readSettingsFile(dir.path());
        QVERIFY2(read && read->has_value(), qPrintable(read.errorString()));
        QCOMPARE(**read, kExampleFile);
    }

    void interruptedSavesAreRemoved()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("kept"));
        auto touch = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(" 3 \r\n") == 5;
        };
        // What a save cut short leaves: the name, the save's marker and six letters or digits.
        for (const QString name : {"Settings.ini.bin4870-save-sYTZJX", "Settings.ini.bin4870-save-0a9Z1b",
                                   "kept/bench.ini.bin4870-save-hocNID"})
            QVERIFY(touch(dir.filePath(name)));
        QVERIFY(touch(dir.filePath("kept/bench.ini")));
        QVERIFY(QFile::link(dir.filePath("kept/bench.ini"), settingsPath(dir.path())));
        // The operator's own copies, look-alikes and things that are no file.
        const QStringList others{"Settings.ini.backup", "Settings.ini.before", "Settings.ini.sYTZJX",
                                 "Settings.ini.bin4870-save-abcde", "Settings.ini.bin4870-save-abc-de",
                                 "Other.ini.bin4870-save-abcdef", "kept/Settings.ini.bin4870-save-abcdef",
                                 "kept/bench.ini.backup"};
        for (const QString &name : others)
            QVERIFY(touch(dir.filePath(name)));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("Settings.ini.bin4870-save-fifo01")).constData(), 0666) == 0);
        QVERIFY(QFile::link(dir.filePath("kept/bench.ini"), dir.filePath("Settings.ini.bin4870-save-link01")));
        // One that only another user could have left.
        const bool asRoot = ::geteuid() == 0;
        if (asRoot) {
            const QString foreign = dir.filePath("Settings.ini.bin4870-save-nobody");
            QVERIFY(touch(foreign));
            QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);
        }

        QCOMPARE(removeInterruptedSaves(dir.path()), 3);
        QStringList kept{"kept", "Other.ini.bin4870-save-abcdef", "Settings.ini", "Settings.ini.backup",
                         "Settings.ini.before", "Settings.ini.bin4870-save-abc-de",
                         "Settings.ini.bin4870-save-abcde", "Settings.ini.bin4870-save-fifo01",
                         "Settings.ini.bin4870-save-link01", "Settings.ini.sYTZJX"};
        if (asRoot)
            kept << "Settings.ini.bin4870-save-nobody";
        kept.sort(Qt::CaseInsensitive);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 kept);
        QCOMPARE(QDir(dir.filePath("kept")).entryList(QDir::Files),
                 (QStringList{"bench.ini", "bench.ini.backup", "Settings.ini.bin4870-save-abcdef"}));
        QCOMPARE(removeInterruptedSaves(dir.filePath("no such folder")), 0);
    }

    void failedSaveKeepsThePreviousFileWhole()
    {
        QTemporaryDir dir;
        QVERIFY(writeSettingsFile(dir.path(), kExampleFile));

        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit capped = saved;
        capped.rlim_cur = 16; // the disk "fills up" after 16 bytes
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const bool capSet = setrlimit(RLIMIT_FSIZE, &capped) == 0;
        const Status written = writeSettingsFile(dir.path(), QByteArray(200, '7'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        if (!capSet)
            QSKIP("file size limit cannot be set");

        QVERIFY(!written);
        // The log line of a failed save names the file.
        QVERIFY2(written.errorString().contains(settingsPath(dir.path())), qPrintable(written.errorString()));
        QCOMPARE(contentOf(dir.filePath("Settings.ini")), kExampleFile);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Settings.ini"});
    }
};

BIN4870_TEST(TestSettings)
#include "tst_settings.moc"
