#include "testmain.h"

#include "record/recordfilereader.h"
#include "link/testernumber.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

const QByteArray kRecord = "2026/12/07,14:05:09,12.345E-3,3.6512E+0\r\n";

void writeFile(const QString &path, const QByteArray &content, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    QVERIFY(file.open(mode));
    QCOMPARE(file.write(content), content.size());
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray records(int count)
{
    QByteArray content;
    for (int i = 0; i < count; ++i)
        content += QByteArray("2026/12/07,14:05:09,") + QByteArray::number(10 + i % 30) + "E-3,3.6"
                   + QByteArray::number(i % 10) + "E+0\r\n";
    return content;
}

} // namespace

class TestRecordFileReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linesAreReadOrRefused_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("isRecord");
        QTest::addColumn<float>("milliohms");
        QTest::addColumn<float>("volts");
        QTest::newRow("record") << QByteArray("2026/12/07,14:05:09,12.345E-3,3.6512E+0") << true << 12.345f << 3.6512f;
        QTest::newRow("with CR") << QByteArray("2026/12/07,14:05:09,1.2E+0,4E+0\r") << true << 1200.0f << 4.0f;
        QTest::newRow("other separators") << QByteArray("2026.12.07,14.05.09,0.5,3") << true << 500.0f << 3.0f;
        QTest::newRow("blanks around a value") << QByteArray("2026/12/07,14:05:09, 1E-3 ,3.7") << true << 1.0f << 3.7f;
        QTest::newRow("D exponent and plus sign") << QByteArray("2026/12/07,14:05:09,+1.5D-3,-.5") << true << 1.5f << -0.5f;
        QTest::newRow("negative zero") << QByteArray("2026/12/07,14:05:09,-0.0E+0,0") << true << 0.0f << 0.0f;
        QTest::newRow("just below overflow") << QByteArray("2026/12/07,14:05:09,999.99E+6,1") << true << 999.99e9f << 1.0f;
        QTest::newRow("header") << QByteArray("date,time,resistance,voltage") << false << 0.0f << 0.0f;
        QTest::newRow("empty") << QByteArray("") << false << 0.0f << 0.0f;
        QTest::newRow("three fields") << QByteArray("2026/12/07,14:05:09,12.345E-3") << false << 0.0f << 0.0f;
        QTest::newRow("five fields: a cell ID")
                << QByteArray("2026/12/07,14:05:09,1E-3,3.6,CELL-7\r") << true << 1.0f << 3.6f;
        QTest::newRow("five fields: the tester's word")
                << QByteArray("2026/12/07,14:05:09,1E-3,3.6,PASS\r") << true << 1.0f << 3.6f;
        QTest::newRow("six fields: ID and word")
                << QByteArray("2026/12/07,14:05:09,1E-3,3.6,7,FAIL\r") << true << 1.0f << 3.6f;
        QTest::newRow("empty fifth field") << QByteArray("2026/12/07,14:05:09,1E-3,3.6,") << false << 0.0f << 0.0f;
        QTest::newRow("quoted fifth field") << QByteArray("2026/12/07,14:05:09,1E-3,3.6,\"7\"") << false << 0.0f << 0.0f;
        QTest::newRow("sixth field no word") << QByteArray("2026/12/07,14:05:09,1E-3,3.6,A,B C") << false << 0.0f << 0.0f;
        QTest::newRow("seven fields") << QByteArray("2026/12/07,14:05:09,1E-3,3.6,A,PASS,x") << false << 0.0f << 0.0f;
        QTest::newRow("cut date") << QByteArray("26/12/07,14:05:09,1E-3,3.6") << false << 0.0f << 0.0f;
        QTest::newRow("cut time") << QByteArray("2026/12/07,4:05:09,1E-3,3.6") << false << 0.0f << 0.0f;
        QTest::newRow("text for resistance") << QByteArray("2026/12/07,14:05:09,abc,3.6") << false << 0.0f << 0.0f;
        QTest::newRow("empty voltage") << QByteArray("2026/12/07,14:05:09,1E-3,") << false << 0.0f << 0.0f;
        QTest::newRow("trailing junk") << QByteArray("2026/12/07,14:05:09,1E-3x,3.6") << false << 0.0f << 0.0f;
        QTest::newRow("blank inside a number") << QByteArray("2026/12/07,14:05:09,1 2E-3,3.6") << false << 0.0f << 0.0f;
        QTest::newRow("exponent without digits") << QByteArray("2026/12/07,14:05:09,1E,3.6") << false << 0.0f << 0.0f;
        QTest::newRow("hex") << QByteArray("2026/12/07,14:05:09,&H10,3.6") << false << 0.0f << 0.0f;
        QTest::newRow("overflow resistance") << QByteArray("2026/12/07,14:05:09,9.9E+37,3.6") << false << 0.0f << 0.0f;
        QTest::newRow("overflow voltage") << QByteArray("2026/12/07,14:05:09,1E-3,-1.0E+9") << false << 0.0f << 0.0f;
        QTest::newRow("exponent beyond a double") << QByteArray("2026/12/07,14:05:09,1E-3,1E999999999") << false << 0.0f << 0.0f;
    }

    void linesAreReadOrRefused()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, isRecord);
        const std::optional<RecordReading> reading = parseRecordLine(std::string_view(line.constData(), std::size_t(line.size())));
        QCOMPARE(reading.has_value(), isRecord);
        if (reading) {
            QFETCH(float, milliohms);
            QFETCH(float, volts);
            QCOMPARE(reading->resistance, milliohms);
            QCOMPARE(reading->voltage, volts);
            // The date and time as written, whatever separates their groups.
            QCOMPARE(reading->stamp, QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9), Qt::UTC).toSecsSinceEpoch());
        }
    }

    // The cell ID of a line: the fifth of six fields, or the fifth of five
    // unless it is one of the tester's words; none for four fields or for a
    // line that is no record.
    void theCellIdOfALine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("id");
        const QByteArray base = "2026/12/07,14:05:09,1E-3,3.6";
        QTest::newRow("four fields") << base << QString();
        QTest::newRow("an ID") << base + ",SIM-000001\r" << QStringLiteral("SIM-000001");
        QTest::newRow("an ID and the word") << base + ",SIM-000001,PASS" << QStringLiteral("SIM-000001");
        QTest::newRow("the word alone") << base + ",PASS" << QString();
        QTest::newRow("the other word alone") << base + ",FAIL" << QString();
        QTest::newRow("an ID shaped like no word") << base + ",8650-0003" << QStringLiteral("8650-0003");
        QTest::newRow("a word of another tester is an ID") << base + ",GOOD" << QStringLiteral("GOOD");
        QTest::newRow("an ID that is a word, and the word") << base + ",PASS,FAIL" << QStringLiteral("PASS");
        QTest::newRow("no record") << QByteArray("2026/12/07,14:05:09,OF,3.6,SIM-1") << QString();
    }
    void theCellIdOfALine()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, id);
        const QStringList words{QStringLiteral("PASS"), QStringLiteral("FAIL")};
        QCOMPARE(recordCellId(std::string_view(line.constData(), std::size_t(line.size())), words), id);
    }

    // Every date and time field within its range, the day within its month:
    // a line dated past its range is no record, never a later day.
    void impossibleDatesAndTimesAreNoRecords_data()
    {
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QDateTime>("stamp"); // invalid: no record
        const auto at = [](int y, int mo, int d, int h, int mi, int s) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
        };
        QTest::newRow("hour 25") << QByteArray("2026/12/07") << QByteArray("25:00:00") << QDateTime();
        QTest::newRow("hour 24") << QByteArray("2026/12/07") << QByteArray("24:00:00") << QDateTime();
        QTest::newRow("99:99:99") << QByteArray("2026/12/07") << QByteArray("99:99:99") << QDateTime();
        QTest::newRow("minute 60") << QByteArray("2026/12/07") << QByteArray("14:60:00") << QDateTime();
        QTest::newRow("second 60") << QByteArray("2026/12/07") << QByteArray("14:05:60") << QDateTime();
        QTest::newRow("last second of a day") << QByteArray("2026/12/07") << QByteArray("23:59:59")
                                              << at(2026, 12, 7, 23, 59, 59);
        QTest::newRow("midnight") << QByteArray("2026/12/07") << QByteArray("00:00:00") << at(2026, 12, 7, 0, 0, 0);
        QTest::newRow("month 13 day 45") << QByteArray("2026/13/45") << QByteArray("06:00:00") << QDateTime();
        QTest::newRow("month 0") << QByteArray("2026/00/10") << QByteArray("06:00:00") << QDateTime();
        QTest::newRow("day 0") << QByteArray("2026/12/00") << QByteArray("06:00:00") << QDateTime();
        QTest::newRow("31 April") << QByteArray("2026-04-31") << QByteArray("06:00:00") << QDateTime();
        QTest::newRow("30 April") << QByteArray("2026-04-30") << QByteArray("06:00:00") << at(2026, 4, 30, 6, 0, 0);
        QTest::newRow("31 December, other separators") << QByteArray("2026.12.31") << QByteArray("06.00.00")
                                                       << at(2026, 12, 31, 6, 0, 0);
        QTest::newRow("29 February, leap year") << QByteArray("2024/02/29") << QByteArray("06:00:00")
                                                << at(2024, 2, 29, 6, 0, 0);
        QTest::newRow("29 February, common year") << QByteArray("2026/02/29") << QByteArray("06:00:00") << QDateTime();
        QTest::newRow("29 February 2000") << QByteArray("2000/02/29") << QByteArray("06:00:00")
                                          << at(2000, 2, 29, 6, 0, 0);
        QTest::newRow("29 February 2100") << QByteArray("2100/02/29") << QByteArray("06:00:00") << QDateTime();
    }
    void impossibleDatesAndTimesAreNoRecords()
    {
        QFETCH(QByteArray, date);
        QFETCH(QByteArray, time);
        QFETCH(QDateTime, stamp);
        const QByteArray line = date + ',' + time + ",12.345E-3,3.6512E+0\r";
        const std::optional<RecordReading> reading = parseRecordLine(std::string_view(line.constData(), std::size_t(line.size())));
        QCOMPARE(reading.has_value(), stamp.isValid());
        if (reading)
            QCOMPARE(reading->stamp, stamp.toSecsSinceEpoch());
    }

    // Against Qt's calendar across leap days, centuries and 1970.
    void wallClockSecondsFollowTheCalendar()
    {
        for (const QDate date : {QDate(1969, 12, 31), QDate(1970, 1, 1), QDate(2000, 2, 29), QDate(2000, 3, 1),
                                 QDate(2100, 3, 1), QDate(2024, 12, 31), QDate(1600, 1, 1)}) {
            QCOMPARE(wallClockSeconds(date.year(), date.month(), date.day(), 23, 59, 58),
                     QDateTime(date, QTime(23, 59, 58), Qt::UTC).toSecsSinceEpoch());
        }
    }

    // The batch must judge a record exactly as the measurement cycle judged
    // its reading, bit for bit, or a value on a limit would change BIN.
    void valuesEqualTheCyclesJudgedValues()
    {
        QStringList texts{QStringLiteral("0.1E-3"), QStringLiteral("12.3450E-3"), QStringLiteral("1.7976931348623157E+8"),
                          QStringLiteral("4.9E-324"), QStringLiteral("1E-400"), QStringLiteral("123456789012345678901234567890E-30"),
                          QStringLiteral("+3.0D+0"), QStringLiteral("0.30000000000000004"), QStringLiteral(".000001")};
        QRandomGenerator random(4870);
        for (int i = 0; i < 20000; ++i) {
            const double mantissa = random.generateDouble() * 1000.0;
            const int exponent = int(random.bounded(-9, 7));
            const int decimals = int(random.bounded(0, 9));
            texts << QStringLiteral("%1E%2").arg(mantissa, 0, 'f', decimals).arg(exponent);
        }
        for (const QString &text : texts) {
            const QByteArray latin = QByteArray("2026/12/07,14:05:09,") + text.toLatin1() + ',' + text.toLatin1();
            const std::optional<RecordReading> reading = parseRecordLine(std::string_view(latin.constData(), std::size_t(latin.size())));
            QVERIFY2(reading, qPrintable(text));
            QCOMPARE(reading->resistance, readingValueOf(text, Quantity::Resistance).value_or(-1));
            QCOMPARE(reading->voltage, readingValueOf(text, Quantity::Voltage).value_or(-1));
        }
    }

    void damagedLinesAreSkippedAndCountedAndTheFileStaysAsItWas()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.csv"));
        const QByteArray content = "date,time,R,V\r\n" + kRecord + "2026/12/07,14:0\r\n" + kRecord
                                   + "2026/12/07,14:05:09,OF,3.6\r\n\r\n" + QByteArray(10000, 'x') + "\r\n" + kRecord
                                   + "2026/13/45,25:00:00,1E-3,3.6\r\n" + "2026/12/07,14:05:09,1E-3";
        writeFile(path, content);

        const Result<RecordTail> tail = readRecordFile(path, 0);
        QVERIFY2(tail, qPrintable(tail.errorString()));
        QCOMPARE(tail->readings.size(), std::size_t(3));
        QCOMPARE(tail->linesNotRead, qint64(6));
        // The unfinished last line waits for the rest of it.
        QCOMPARE(tail->endOffset, content.lastIndexOf('\n') + 1);
        QCOMPARE(contentOf(path), content);
    }

    void onlyWhatWasAppendedIsRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.csv"));
        writeFile(path, records(5));
        const Result<RecordTail> first = readRecordFile(path, 0);
        QVERIFY2(first, qPrintable(first.errorString()));
        QCOMPARE(first->readings.size(), std::size_t(5));

        // Spoil what was read already: a pass from the old end cannot see it.
        QByteArray spoiled = contentOf(path);
        spoiled.replace(0, 20, QByteArray(20, '#'));
        writeFile(path, spoiled + kRecord + "2026/12/07,14:05:09,2");
        const Result<RecordTail> second = readRecordFile(path, first->endOffset);
        QVERIFY2(second, qPrintable(second.errorString()));
        QCOMPARE(second->startOffset, first->endOffset);
        QVERIFY(!second->restarted);
        QCOMPARE(second->readings.size(), std::size_t(1));
        QCOMPARE(second->linesNotRead, qint64(0));

        writeFile(path, "0E-3,3.7E+0\r\n", QIODevice::Append);
        const Result<RecordTail> third = readRecordFile(path, second->endOffset);
        QVERIFY2(third, qPrintable(third.errorString()));
        QCOMPARE(third->readings.size(), std::size_t(1));
        QCOMPARE(third->readings[0].resistance, 20.0f);
        QCOMPARE(third->endOffset, QFile(path).size());
    }

    void aCutFileIsReadAgainFromTheStart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.csv"));
        writeFile(path, records(10));
        const Result<RecordTail> first = readRecordFile(path, 0);
        QVERIFY2(first, qPrintable(first.errorString()));
        writeFile(path, records(2));
        const Result<RecordTail> second = readRecordFile(path, first->endOffset);
        QVERIFY2(second, qPrintable(second.errorString()));
        QVERIFY(second->restarted);
        QCOMPARE(second->startOffset, qint64(0));
        QCOMPARE(second->readings.size(), std::size_t(2));
    }

    // The progress call runs between chunks, so it can change the file at a
    // known point of the pass.
    void aFileChangedWhileBeingReadEndsThePassCleanly_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("cut short") << "cut";
        QTest::newRow("emptied") << "empty";
        QTest::newRow("appended") << "append";
        QTest::newRow("removed") << "remove";
    }

    void aFileChangedWhileBeingReadEndsThePassCleanly()
    {
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.csv"));
        const QByteArray content = records(100000); // several chunks
        writeFile(path, content);
        const int total = 100000;

        int calls = 0;
        const Result<RecordTail> tail = readRecordFile(path, 0, [&](qint64, qint64) {
            if (++calls == 1) {
                if (change == QLatin1String("cut"))
                    QFile::resize(path, content.size() / 3 + 7);
                else if (change == QLatin1String("empty"))
                    QFile::resize(path, 0);
                else if (change == QLatin1String("append"))
                    writeFile(path, records(1000) + "junk\r\n", QIODevice::Append);
                else
                    QFile::remove(path);
            }
            return true;
        });
        QVERIFY2(tail, qPrintable(tail.errorString()));
        QVERIFY(calls >= 1);
        QVERIFY(tail->readings.size() <= std::size_t(total));
        QVERIFY(tail->endOffset <= content.size());
        if (change == QLatin1String("append") || change == QLatin1String("remove")) {
            // Growth is left for the next pass; an open file outlives its name.
            QCOMPARE(tail->readings.size(), std::size_t(total));
            QCOMPARE(tail->linesNotRead, qint64(0));
        }
        if (change == QLatin1String("append")) {
            const Result<RecordTail> next = readRecordFile(path, tail->endOffset);
            QVERIFY2(next, qPrintable(next.errorString()));
            QCOMPARE(next->readings.size(), std::size_t(1000));
            QCOMPARE(next->linesNotRead, qint64(1));
        }
        if (change == QLatin1String("cut") || change == QLatin1String("empty")) {
            QVERIFY(tail->readings.size() < std::size_t(total));
            const Result<RecordTail> next = readRecordFile(path, tail->endOffset);
            QVERIFY2(next, qPrintable(next.errorString()));
            QVERIFY(next->readings.size() <= std::size_t(total / 3 + 1));
        }
    }

    void aPassCanBeCancelledAndAMissingFileIsReported()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.csv"));
        writeFile(path, records(100000));
        const Result<RecordTail> cancelled = readRecordFile(path, 0, [](qint64, qint64) { return false; });
        QVERIFY2(cancelled, qPrintable(cancelled.errorString()));
        QVERIFY(cancelled->cancelled);
        QVERIFY(cancelled->endOffset < QFile(path).size());

        const Result<RecordTail> missing = readRecordFile(dir.filePath(QStringLiteral("none.csv")), 0);
        QVERIFY(!missing);
        QVERIFY(!missing.errorString().isEmpty());
    }
};

BIN4870_TEST(TestRecordFileReader)
#include "tst_recordfilereader.moc"
