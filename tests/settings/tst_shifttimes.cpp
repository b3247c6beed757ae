#include "testmain.h"
#include "filecontent.h"

#include "record/recordfilereader.h"
#include "settings/shifttimes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The shifts of Shifts.ini and the bounds of the shift around a time.

namespace {

qint64 at(int year, int month, int day, int hour, int minute)
{
    return wallClockSeconds(year, month, day, hour, minute, 0);
}

ShiftTimes times(std::vector<int> starts)
{
    ShiftTimes t;
    t.starts = std::move(starts);
    return t;
}

} // namespace

class TestShiftTimes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shiftBoundsMatchHandWorkedTimes_data()
    {
        QTest::addColumn<std::vector<int>>("starts"); // seconds after midnight
        QTest::addColumn<qint64>("now");
        QTest::addColumn<int>("back");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");

        const std::vector<int> three{6 * 3600, 14 * 3600, 22 * 3600};
        QTest::newRow("morning") << three << at(2026, 12, 7, 10, 30) << 0 << at(2026, 12, 7, 6, 0)
                                 << at(2026, 12, 7, 14, 0);
        QTest::newRow("a shift's first second is its own") << three << at(2026, 12, 7, 14, 0) << 0
                                                           << at(2026, 12, 7, 14, 0) << at(2026, 12, 7, 22, 0);
        QTest::newRow("night, before midnight") << three << at(2026, 12, 7, 23, 15) << 0 << at(2026, 12, 7, 22, 0)
                                                << at(2026, 12, 8, 6, 0);
        QTest::newRow("night, after midnight") << three << at(2026, 12, 8, 2, 0) << 0 << at(2026, 12, 7, 22, 0)
                                               << at(2026, 12, 8, 6, 0);
        QTest::newRow("previous of the night") << three << at(2026, 12, 8, 2, 0) << 1 << at(2026, 12, 7, 14, 0)
                                               << at(2026, 12, 7, 22, 0);
        QTest::newRow("previous of the morning is the night") << three << at(2026, 12, 8, 7, 0) << 1
                                                              << at(2026, 12, 7, 22, 0) << at(2026, 12, 8, 6, 0);
        QTest::newRow("three back, over a month's end") << three << at(2026, 12, 1, 7, 0) << 3
                                                       << at(2026, 11, 30, 6, 0) << at(2026, 11, 30, 14, 0);
        const std::vector<int> twelveHours{7 * 3600 + 1800, 19 * 3600 + 1800};
        QTest::newRow("12 h shifts over new year") << twelveHours << at(2027, 1, 1, 3, 0) << 0
                                                   << at(2026, 12, 31, 19, 30) << at(2027, 1, 1, 7, 30);
        QTest::newRow("one shift a day") << std::vector<int>{6 * 3600} << at(2026, 12, 7, 5, 59) << 0
                                         << at(2026, 12, 6, 6, 0) << at(2026, 12, 7, 6, 0);
    }
    void shiftBoundsMatchHandWorkedTimes()
    {
        QFETCH(std::vector<int>, starts);
        QFETCH(qint64, now);
        QFETCH(int, back);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        const ShiftSpan span = shiftSpan(times(starts), now, back);
        QCOMPARE(span.from, from);
        QCOMPARE(span.to, to);
    }

    void fileGivesItsShiftsAndDefaultsWhenMissing()
    {
        QTemporaryDir dir;
        const auto loadedText = [&dir] {
            const Result<ShiftTimes> loaded = loadShiftTimes(dir.path());
            return loaded ? loaded->text() : loaded.errorString();
        };
        QCOMPARE(loadedText(), QStringLiteral("06:00, 14:00, 22:00"));

        // In any order, with or without a leading zero.
        QVERIFY(writeFile(shiftTimesPath(dir.path()), "[Shifts]\nStarts=19:30, 7:30\n"));
        QCOMPARE(loadedText(), QStringLiteral("07:30, 19:30"));
        QVERIFY(writeFile(shiftTimesPath(dir.path()), "[Shifts]\nStarts=\"05:00,13:00,21:00\"\n"));
        QCOMPARE(loadedText(), QStringLiteral("05:00, 13:00, 21:00"));
    }

    // ";" is the INI files' comment sign, and also what operators put between
    // times: either separator gives every shift.
    void startTimesSeparatedBySemicolonsOrCommas_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("semicolons") << QByteArray("[Shifts]\nStarts=6:00;14:00;22:00\n");
        QTest::newRow("semicolons and blanks") << QByteArray("[Shifts]\r\nStarts = 6:00 ; 14:00 ; 22:00\r\n");
        QTest::newRow("commas") << QByteArray("[Shifts]\nStarts=6:00,14:00,22:00\n");
        QTest::newRow("both, quoted") << QByteArray("[Shifts]\nStarts=\"6:00, 14:00; 22:00\"\n");
        QTest::newRow("among other keys and sections")
                << QByteArray("; the line's shifts\n[Other]\nStarts=01:00\n[Shifts]\nNote=x\nStarts=6:00;14:00;22:00\n"
                              "[More]\nStarts=02:00\n");
    }
    void startTimesSeparatedBySemicolonsOrCommas()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(writeFile(shiftTimesPath(dir.path()), content));
        const Result<ShiftTimes> times = loadShiftTimes(dir.path());
        QVERIFY2(times, qPrintable(times.errorString()));
        QCOMPARE(times->text(), QStringLiteral("06:00, 14:00, 22:00"));
    }

    void damagedOrAbsurdFileGivesTheDefaultsAndSaysWhy_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");

        QTest::newRow("hour 25") << QByteArray("[Shifts]\nStarts=06:00, 25:00\n")
                                 << "'25:00' is no time of day (HH:MM)";
        QTest::newRow("words") << QByteArray("[Shifts]\nStarts=early, late\n") << "'early' is no time of day (HH:MM)";
        QTest::newRow("no key") << QByteArray("[Shifts]\nstart=06:00\n")
                                << "it names no shift start (Starts=06:00, 14:00, 22:00)";
        QTest::newRow("twice the same") << QByteArray("[Shifts]\nStarts=06:00, 14:00, 06:00\n")
                                        << "the shift from 06:00 to 06:00 is shorter than an hour";
        QTest::newRow("too short over midnight") << QByteArray("[Shifts]\nStarts=12:00, 23:30, 00:10\n")
                                                 << "the shift from 23:30 to 00:10 is shorter than an hour";
        QTest::newRow("garbled separator") << QByteArray("[Shifts]\nStarts=6:00;14:00|22:00\n")
                                           << "'14:00|22:00' is no time of day (HH:MM)";
    }
    void damagedOrAbsurdFileGivesTheDefaultsAndSaysWhy()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = shiftTimesPath(dir.path());
        QVERIFY(writeFile(path, content));
        const Result<ShiftTimes> loaded = loadShiftTimes(dir.path());
        QVERIFY(!loaded);
        QCOMPARE(loaded.errorString(), QStringLiteral("%1: %2; the shifts start at 06:00, 14:00, 22:00.")
                                           .arg(QDir::toNativeSeparators(path), reason));
    }

    // Refused unread, as the other options files are.
    void folderHugeOrBinaryFileAtTheFilesNameGivesTheDefaults()
    {
        QTemporaryDir dir;
        const QString path = shiftTimesPath(dir.path());
        QVERIFY(QDir(dir.path()).mkdir(QString::fromLatin1(kShiftsFileName)));
        const Result<ShiftTimes> folder = loadShiftTimes(dir.path());
        QVERIFY(!folder);
        QCOMPARE(folder.errorString(), QStringLiteral("%1 is not a regular file; the shifts start at 06:00, 14:00, 22:00.")
                                           .arg(QDir::toNativeSeparators(path)));
        QVERIFY(QDir(dir.path()).rmdir(QString::fromLatin1(kShiftsFileName)));
        QVERIFY(writeFile(path, QByteArray("[Shifts]\nStarts=07:00\n") + QByteArray(2 * 1024 * 1024, ';')));
        const Result<ShiftTimes> huge = loadShiftTimes(dir.path());
        QVERIFY(!huge);
        QCOMPARE(huge.errorString(), QStringLiteral("%1 is larger than 1 MB; the shifts start at 06:00, 14:00, 22:00.")
                                         .arg(QDir::toNativeSeparators(path)));
        QVERIFY(writeFile(path, QByteArray("\x00\xff[Shifts\x01\nStarts=\xfe\xfe\n", 18)));
        const Result<ShiftTimes> binary = loadShiftTimes(dir.path());
        QVERIFY(!binary);
        QCOMPARE(binary.errorString(), QStringLiteral("%1 is not a text file; the shifts start at 06:00, 14:00, 22:00.")
                                           .arg(QDir::toNativeSeparators(path)));
    }
};

BIN4870_TEST(TestShiftTimes)
#include "tst_shifttimes.moc"
