#include "testmain.h"
#include "smallfilesystem.h"

#include "bins/bintables.h"
#include "common/apperror.h"
#include "platform/clock.h"
#include "platform/serialport.h"
#include "record/cellrecord.h"
#include "record/datafile.h"
#include "record/journal.h"
#include "record/recordsinks.h"
#include "session/celltagger.h"
#include "session/measurementsession.h"
#include "session/sessionview.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <functional>

namespace {

// A port whose replies are scripted per ":fetch?". deliver() hands the next
// piece of the current reply to the channel as the real port's data signal does.
class FakePort : public SerialPort
{
public:
    explicit FakePort(QStringList &trace) : m_trace(trace) {}

    // Delivers every queued piece of the current reply, one signal per piece.
    void deliver()
    {
        while (!m_pieces.isEmpty()) {
            m_ready = m_pieces.takeFirst();
            Q_EMIT dataArrived();
        }
    }
    // Delivers one piece; false when none was left.
    bool deliverOne()
    {
        if (m_pieces.isEmpty())
            return false;
        m_ready = m_pieces.takeFirst();
        Q_EMIT dataArrived();
        return true;
    }
    // Bytes arrive whether asked for or not.
    void arrive(const QByteArray &bytes)
    {
        m_ready += bytes;
        Q_EMIT dataArrived();
    }
    // The line dies under the program: the port closes and says so.
    void lose(const QString &reason)
    {
        m_open = false;
        m_pieces.clear();
        Q_EMIT portLost(reason);
    }

    Status setCommPort(qint16 port) override
    {
        m_commPort = port;
        return {};
    }
    qint16 commPort() const override { return m_commPort; }
    bool portOpen() const override { return m_open; }
    Status setPortOpen(bool open) override
    {
        if (open)
            ++openAttempts;
        if (open && openError)
            return *openError;
        m_open = open;
        m_pieces.clear();
        m_ready.clear();
        m_trace << (open ? "port open" : "port close");
        return {};
    }
    Status clearInBuffer() override
    {
        if (!m_open)
            return Failure(ErrorKind::PortNotOpen, QStringLiteral("Port not open"));
        m_ready.clear();
        return {};
    }
    Status output(const QByteArray &data) override
    {
        if (!m_open)
            return Failure(ErrorKind::PortNotOpen, QStringLiteral("Port not open"));
        sent += data;
        if (sent.endsWith(":fetch?\r\n")) {
            ++fetches;
            m_pieces = replies.isEmpty() ? QList<QByteArray>() : replies.takeFirst();
        }
        return {};
    }
    Result<QByteArray> input() override { return std::exchange(m_ready, QByteArray()); }

    QList<QList<QByteArray>> replies;
    std::optional<Failure> openError;
    QByteArray sent;
    int openAttempts = 0;
    int fetches = 0;

private:
    QStringList &m_trace;
    QList<QByteArray> m_pieces;
    QByteArray m_ready;
    qint16 m_commPort = 1;
    bool m_open = false;
};

class FakeClock : public Clock
{
public:
    QDateTime now() const override { return time; }
    QDateTime time;
};

// Records the window's state; like the platform, a disabled button refuses the
// focus with an error.
class FakeView : public SessionView
{
public:
    explicit FakeView(QStringList &trace) : m_trace(trace) {}

    void showValue(int t, const QString &text) override { values.at(t) = text; }
    // Kept per cell and out label as the window shows them: lit, unlit or unused.
    void showJudgement(const ReadingJudgement &judgement) override
    {
        for (size_t t = 0; t < 2; ++t) {
            const ReadingJudgement::Table &table = judgement.tables[t];
            for (int row = 0; row < 9; ++row)
                cells.at(t * 9 + size_t(row)) = table.lit[size_t(row)] ? kLit : row < table.binsInUse ? kUnlit : kUnused;
            switch (table.out) {
            case OutSide::None:
                outCaption.at(t) = QString();
                break;
            case OutSide::Above:
                outCaption.at(t) = QStringLiteral("+Out");
                break;
            case OutSide::Below:
                outCaption.at(t) = QStringLiteral("-Out");
                break;
            case OutSide::Between:
                break;
            }
            outColour.at(t) = table.out == OutSide::None ? kUnused : kLit;
        }
        if (judgement.counted)
            focusRecCount();
    }
    void clearJudgement() override
    {
        cells.fill(kCleared);
        outColour.fill(kCleared);
    }
    void showStale(const QString &text) override
    {
        notice = text;
        if (!text.isEmpty())
            clearJudgement();
    }
    void showStatus(const QString &text) override
    {
        status = text;
        m_trace << "status " + text;
    }
    void setRecCountEnabled(bool enabled) override
    {
        recCountEnabled = enabled;
        m_trace << (enabled ? "recCount on" : "recCount off");
    }
    void focusRecCount() override { focus(recCountEnabled, "recCount"); }
    void setStartEnabled(bool enabled) override
    {
        startEnabled = enabled;
        m_trace << (enabled ? "start on" : "start off");
    }
    void focusStart() override { focus(startEnabled, "start"); }
    void setSetupEnabled(bool enabled) override
    {
        setupEnabled = enabled;
        m_trace << (enabled ? "setup on" : "setup off");
    }
    QString pathText() const override { return path; }
    void setPathText(const QString &text) override
    {
        path = text;
        m_trace << "path " + text;
    }
    void showError(const QString &text) override
    {
        errors << text;
        m_trace << "error " + text;
    }
    void showCellCount(int cells) override { cellCount = cells; }
    void showSessionRunning(bool on) override { running = on; }

    std::array<QString, 2> values;
    std::array<quint32, 18> cells{};
    std::array<QString, 2> outCaption{QStringLiteral("Out"), QStringLiteral("Out")};
    std::array<quint32, 2> outColour{};
    bool recCountEnabled = true;
    bool startEnabled = true;
    bool setupEnabled = true;
    QString focused;
    QString path;
    QStringList errors;
    QString notice;
    QString status;
    int cellCount = -1;
    bool running = false;
    static constexpr quint32 kCleared = 0xFF000000; // no judgement shown
    static constexpr quint32 kLit = 1;
    static constexpr quint32 kUnlit = 2;
    static constexpr quint32 kUnused = 3;

private:
    void focus(bool enabled, const QString &control)
    {
        if (!enabled)
            throw AppError(ErrorKind::SubscriptOutOfRange, QStringLiteral("Invalid procedure call or argument"));
        focused = control;
        m_trace << "focus " + control;
    }
    QStringList &m_trace;
};

// Three adjacent BINs from lo, each width wide.
BinTable threeBins(float lo, float width)
{
    BinTable table;
    table.numBins = 3;
    for (int r = 0; r < 3; ++r) {
        table.lowerLimit[r] = lo + r * width;
        table.upperLimit[r] = lo + (r + 1) * width;
    }
    return table;
}

struct Bench
{
    Bench()
    {
        view.path = dir.filePath(QStringLiteral("cells.csv"));
        clock.time = QDateTime(QDate(2012, 8, 2), QTime(14, 5, 9));
        tables.setTables(threeBins(0, 10), threeBins(3, 0.5f)); // milliohms, volts
    }
    ~Bench() { session.stop(); }

    // Sets one counter of table t as if that many cells had been counted.
    void setCounter(int t, int row, qint16 count)
    {
        BinTable table = tables.table(t);
        (row == 10 ? table.totalCount : table.binCount[std::size_t(row)]) = count;
        tables.setTable(t, table);
    }

    // Queues the reply to the next ":fetch?", one read per piece.
    void reply(const QList<QByteArray> &pieces) { port.replies << pieces; }
    void reply(const QByteArray &line) { reply(QList<QByteArray>{line + "\r\n"}); }
    // One tick whose reply arrives in full, armed first when asked.
    void cycle(const QByteArray &line, bool armed)
    {
        if (armed)
            session.recCount();
        reply(line);
        clock.time = clock.time.addSecs(1);
        session.onPollTick();
        port.deliver();
    }
    QByteArray file() const
    {
        QFile f(view.path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    QStringList trace;
    FakePort port{trace};
    FakeClock clock;
    BinTables tables;
    const BinTable &tableR = tables.resistance();
    const BinTable &tableV = tables.voltage();
    DataFile dataFile;
    FakeView view{trace};
    MeasurementSession session{port, clock, tables, dataFile, view};
};

const QStringList kUndone{QStringLiteral("start on"), QStringLiteral("setup on"),
                          QStringLiteral("focus start")};

} // namespace

class TestMeasurementSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startLocksSetupThenOpensFileAndPort()
    {
        Bench b;
        b.view.path = b.dir.filePath(QStringLiteral("cells"));
        b.session.stop();
        b.trace.clear();

        b.session.start();

        QCOMPARE(b.trace, QStringList({"start off", "setup off", "recCount on", "focus recCount",
                                       "path " + b.dir.filePath("cells.csv"), "port open"}));
        QCOMPARE(b.port.sent, QByteArray("func rv\r\ntrig:sour imm\r\n"));
        QVERIFY(b.dataFile.isOpen());
        QVERIFY(QFile::exists(b.dir.filePath("cells.csv")));
        QVERIFY(b.session.running());
        QVERIFY(b.session.timerEnabled());
        QCOMPARE(b.port.fetches, 0); // the first query waits for the first tick
        QVERIFY(b.view.errors.isEmpty());
    }

    void failedStartIsUndone_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("openError"); // 0: the port opens
        QTest::addColumn<QString>("message"); // "<system>": the system's text for the path
        QTest::addColumn<QString>("pathAfter");
        QTest::addColumn<int>("openAttempts");

        QTest::newRow("missing folder") << "missing/cells.csv" << 0 << "<system>"
                                        << "missing/cells.csv" << 0;
        QTest::newRow("port cannot be opened") << "cells" << int(ErrorKind::PortOpenFailed)
                                               << "Cannot open COM7: no such device"
                                               << "cells.csv" << 1;
        QTest::newRow("closed port is undone silently") << "cells.dat" << int(ErrorKind::PortNotOpen)
                                                        << "" << "cells.dat" << 1;
    }
    void failedStartIsUndone()
    {
        QFETCH(QString, path);
        QFETCH(int, openError);
        QFETCH(QString, message);
        QFETCH(QString, pathAfter);
        QFETCH(int, openAttempts);
        Bench b;
        b.view.path = b.dir.filePath(path);
        if (openError)
            b.port.openError = Failure(ErrorKind(openError), "Cannot open COM7: no such device");
        if (message == "<system>") {
            QFile probe(b.view.path);
            QVERIFY(!probe.open(QIODevice::Append));
            message = probe.errorString();
        }

        b.session.start();

        if (message.isEmpty()) {
            QVERIFY(b.view.errors.isEmpty());
        } else {
            QCOMPARE(b.view.errors.size(), 1);
            QVERIFY2(b.view.errors[0].contains(message), qPrintable(b.view.errors[0]));
        }
        QCOMPARE(b.trace.mid(b.trace.size() - 3), kUndone);
        QCOMPARE(b.view.focused, QStringLiteral("start"));
        QVERIFY(b.view.setupEnabled);
        QCOMPARE(b.view.path, b.dir.filePath(pathAfter));
        QCOMPARE(b.port.openAttempts, openAttempts);
        QVERIFY(!b.port.portOpen());
        QVERIFY(!b.dataFile.isOpen());
        QVERIFY(!b.session.timerEnabled());
        if (openError) // the file was created before the port was tried, and stays empty
            QCOMPARE(b.file(), QByteArray());
    }

    void stopWhileIdleOnlyUnlocksAndFocusesStart()
    {
        Bench b;
        b.session.recCount(); // no session: nothing happens
        b.session.stop();
        QCOMPARE(b.trace, kUndone);
        QVERIFY(!b.session.recordArmed());
        QCOMPARE(b.port.openAttempts, 0);
        QVERIFY(!b.session.running());
    }

    void twoSessionsCountAndRecordEveryPressOnce()
    {
        Bench b;
        {
            QFile f(b.view.path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier\r\n");
        }
        QSignalSpy counted(&b.session, &MeasurementSession::readingCounted);
        b.session.start();
        b.cycle("5.0E-3,3.2E+0", true);
        QCOMPARE(b.view.values[0], QStringLiteral("5.0 mOhm"));
        QCOMPARE(b.view.values[1], QStringLiteral("3.2 V"));
        const std::array<quint32, 18> lit00{
            FakeView::kLit,    FakeView::kUnlit,  FakeView::kUnlit,  FakeView::kUnused, FakeView::kUnused,
            FakeView::kUnused, FakeView::kUnused, FakeView::kUnused, FakeView::kUnused, FakeView::kLit,
            FakeView::kUnlit,  FakeView::kUnlit,  FakeView::kUnused, FakeView::kUnused, FakeView::kUnused,
            FakeView::kUnused, FakeView::kUnused, FakeView::kUnused};
        QCOMPARE(b.view.cells, lit00);
        QCOMPARE(b.view.outCaption[0], QString());
        QCOMPARE(b.view.outColour[0], FakeView::kUnused);
        QCOMPARE(b.view.focused, QStringLiteral("recCount"));
        QVERIFY(b.view.recCountEnabled);

        b.cycle("1.5E-2,3.7E+0", false);
        b.cycle("1.5E-2,3.7E+0", true);
        b.cycle("2.5E-2,4.2E+0", true);
        b.cycle("4.0E-2,3.9E+0", true);
        QCOMPARE(b.view.outCaption[0], QStringLiteral("+Out"));
        QCOMPARE(b.view.outColour[0], FakeView::kLit);
        b.cycle("5.0E-3,3.6E+0", true);
        b.session.stop();
        b.session.start();
        b.cycle("1.2E-2,3.1E+0", true);
        b.session.stop();

        QCOMPARE(b.file(), QByteArray("earlier\r\n"
                                      "2012/08/02,14:05:10,5.0E-3,3.2E+0\r\n"
                                      "2012/08/02,14:05:12,1.5E-2,3.7E+0\r\n"
                                      "2012/08/02,14:05:13,2.5E-2,4.2E+0\r\n"
                                      "2012/08/02,14:05:14,4.0E-2,3.9E+0\r\n"
                                      "2012/08/02,14:05:15,5.0E-3,3.6E+0\r\n"
                                      "2012/08/02,14:05:16,1.2E-2,3.1E+0\r\n"));
        QCOMPARE(b.tableR.binCount, (std::array<qint16, 10>{2, 2, 1, 0, 0, 0, 0, 0, 0, 1}));
        QCOMPARE(b.tableV.binCount, (std::array<qint16, 10>{2, 3, 1, 0, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(b.tableR.totalCount, qint16(6));
        QCOMPARE(b.tableV.totalCount, qint16(6));
        QCOMPARE(b.port.fetches, 7);
        QCOMPARE(counted.size(), 6);
        QVERIFY(b.view.errors.isEmpty());
    }

    void tickWhileARequestIsOutstandingSendsNothing()
    {
        Bench b;
        b.session.start();
        b.session.recCount();
        b.reply({"1.5E-2,", "3.7E+0\r\n"});
        b.reply("2.5E-2,4.2E+0"); // what a second request would fetch and count
        b.session.onPollTick();
        QVERIFY(b.port.deliverOne());
        b.session.onPollTick();
        QCOMPARE(b.port.fetches, 1);
        QVERIFY(b.session.awaitingReply());
        b.port.deliver();

        QCOMPARE(b.port.fetches, 1);
        QCOMPARE(b.tableR.binCount[1], qint16(1));
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.file(), QByteArray("2012/08/02,14:05:09,1.5E-2,3.7E+0\r\n"));
        QVERIFY(!b.session.awaitingReply());
    }

    void onlyACompleteReplyIsCounted_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("then"); // what happens once the pieces have arrived

        QTest::newRow("stop before anything arrived") << QList<QByteArray>() << "stop";
        QTest::newRow("stop mid-line") << QList<QByteArray>{"2.5E-2,4."} << "stop";
        QTest::newRow("port lost mid-line") << QList<QByteArray>{"2.5E-2,4.2E+0\r"} << "lose";
        QTest::newRow("CR LF alone") << QList<QByteArray>{"\r\n"} << "";
        QTest::newRow("not a number") << QList<QByteArray>{"ERR,ERR\r\n"} << "";
        QTest::newRow("overflow marker") << QList<QByteArray>{"OVER\r\n"} << "";
        QTest::newRow("number with junk") << QList<QByteArray>{"1.5E-2x,3.7E+0\r\n"} << "";
        QTest::newRow("voltage beyond float range") << QList<QByteArray>{"20.000E-3,1e39\r\n"} << "";
        QTest::newRow("resistance beyond float range") << QList<QByteArray>{"1E+36,3.2E+0\r\n"} << "";
        QTest::newRow("over-long line") << QList<QByteArray>{QByteArray(1100, '1') + "\r\n"} << "";
        QTest::newRow("digits without end") << QList<QByteArray>(3, QByteArray(400, '7')) << "";
    }
    void onlyACompleteReplyIsCounted()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QString, then);
        Bench b;
        b.session.start();
        b.cycle("5.0E-3,3.2E+0", true);
        const QByteArray firstRecord = b.file();
        QCOMPARE(firstRecord.count('\n'), 1);

        b.session.recCount();
        b.reply(pieces);
        b.session.onPollTick();
        b.port.deliver();
        if (then == "stop")
            b.session.stop();
        if (then == "lose")
            b.port.lose(QStringLiteral("Input/output error"));

        QCOMPARE(b.file(), firstRecord);
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.tableV.totalCount, qint16(1));
        QVERIFY(b.session.recordArmed());
        QVERIFY(!b.view.recCountEnabled);
        QVERIFY(b.view.errors.isEmpty());
        if (then == "stop") {
            QVERIFY(!b.session.timerEnabled());
            QVERIFY(!b.port.portOpen());
            QVERIFY(!b.dataFile.isOpen());
            QCOMPARE(b.trace.mid(b.trace.size() - 4, 3), kUndone);
            QCOMPARE(b.trace.last(), "status " + MeasurementSession::stoppedText());
        }
        if (then.isEmpty()) { // nothing judged; the arming waits for the next real reading
            QVERIFY(!b.session.awaitingReply());
            for (quint32 cell : b.view.cells)
                QVERIFY(cell == FakeView::kCleared || cell == FakeView::kLit || cell == FakeView::kUnlit
                        || cell == FakeView::kUnused);
            b.cycle("1.5E-2,3.7E+0", false);
            QCOMPARE(b.file().count('\n'), 2);
            QVERIFY(b.file().endsWith(",1.5E-2,3.7E+0\r\n"));
            QCOMPARE(b.tableR.binCount[1], qint16(1));
            QCOMPARE(b.tableR.totalCount, qint16(2));
            QCOMPARE(b.tableV.totalCount, qint16(2));
            QVERIFY(!b.session.recordArmed());
            QVERIFY(b.view.notice.isEmpty());
        }
    }

    void notANumberIsShownButLightsNothing()
    {
        Bench b;
        b.session.start();
        b.cycle("5.0E-3,3.2E+0", false);
        QCOMPARE(b.view.cells[0], FakeView::kLit);
        b.cycle("ERR,ERR", true);
        QCOMPARE(b.view.values[0], QStringLiteral("ERR"));
        QCOMPARE(b.view.cells[0], FakeView::kCleared);
        QCOMPARE(b.view.outColour[1], FakeView::kCleared);
        QVERIFY(b.session.recordArmed());
        QCOMPARE(b.tableR.binCount[0], qint16(0));
    }

    void lfOnlyRepliesKeepEveryDigit()
    {
        Bench b;
        b.session.start();
        b.reply(QList<QByteArray>{"15.000E-3,3.75\n"});
        b.session.recCount();
        b.session.onPollTick();
        b.port.deliver();
        QCOMPARE(b.session.readingFields()[1], QStringLiteral("3.75"));
        QVERIFY(b.file().endsWith(",15.000E-3,3.75\r\n"));
    }

    void stopThenStartDropsTheOldRequest()
    {
        Bench b;
        b.session.start();
        b.reply({"2.5E-2,", "4.2E+0\r\n"});
        b.session.onPollTick();
        QVERIFY(b.port.deliverOne());
        b.session.recCount();
        b.session.stop();
        b.session.start(); // one pass: the old request is dropped
        QVERIFY(!b.session.awaitingReply());
        b.port.arrive("4.2E+0\r\n"); // the rest of the old reply comes late
        QCOMPARE(b.tableR.totalCount, qint16(0));
        QCOMPARE(b.view.values[0], QString());

        b.cycle("1.5E-2,3.7E+0", true);
        QCOMPARE(b.port.fetches, 2);
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.tableV.totalCount, qint16(1));
        QCOMPARE(b.file(), QByteArray("2012/08/02,14:05:10,1.5E-2,3.7E+0\r\n"));
    }

    void unansweredRequestMarksTheReadingStaleUntilTheNextReply()
    {
        Bench b;
        b.session.start();
        b.cycle("5.0E-3,3.2E+0", false);
        b.session.recCount();
        QSignalSpy timedOut(&b.session.channel(), &CommandChannel::timedOut);
        b.session.onPollTick(); // no reply queued: the tester keeps quiet
        QVERIFY(timedOut.wait(5000));
        QVERIFY(b.session.stale());
        QCOMPARE(b.view.notice, MeasurementSession::noAnswerText());
        QCOMPARE(b.view.cells[0], FakeView::kCleared);
        QVERIFY(b.session.recordArmed());
        QVERIFY(!b.session.awaitingReply());
        // No request goes out while its late reply may still come, and that
        // reply, when it comes, is dropped.
        const QString shown = b.view.values[0];
        b.session.onPollTick();
        QCOMPARE(b.port.fetches, 2);
        b.port.arrive("2.5E-2,4.2E+0\r\n");
        QVERIFY(b.session.stale());
        QCOMPARE(b.view.values[0], shown);
        QCOMPARE(b.tableR.totalCount, qint16(0));

        b.cycle("1.5E-2,3.7E+0", false); // the arming takes this one
        QVERIFY(!b.session.stale());
        QVERIFY(b.view.notice.isEmpty());
        QCOMPARE(b.view.cells[1], FakeView::kLit);
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.port.fetches, 3);
    }

    void emptyReplyMarksTheReadingStaleUntilTheNextReading()
    {
        Bench b;
        b.session.start();
        b.cycle("5.0E-3,3.2E+0", false);
        QCOMPARE(b.view.cells[0], FakeView::kLit);
        b.cycle("", true); // CR LF alone: answered, but no reading
        QVERIFY(b.session.stale());
        QCOMPARE(b.view.notice, MeasurementSession::badReplyText());
        QCOMPARE(b.view.cells[0], FakeView::kCleared);
        QCOMPARE(b.tableR.totalCount, qint16(0));

        b.cycle("1.5E-2,3.7E+0", false); // the arming takes this one
        QVERIFY(!b.session.stale());
        QVERIFY(b.view.notice.isEmpty());
        QCOMPARE(b.tableR.binCount[1], qint16(1));
    }

    void lostPortIsReopenedAndTheTesterSetUpAgain()
    {
        Bench b;
        b.session.start();
        b.cycle("5.0E-3,3.2E+0", true);
        b.session.onPollTick();
        b.port.lose(QStringLiteral("Input/output error"));
        QVERIFY(b.session.reconnecting());
        QCOMPARE(b.view.status, MeasurementSession::lineLostText(1, QStringLiteral("Input/output error")));
        QVERIFY(b.session.stale());
        QVERIFY(b.view.errors.isEmpty());

        b.port.openError = Failure(ErrorKind::PortOpenFailed, QStringLiteral("no such device"));
        QTRY_COMPARE_WITH_TIMEOUT(b.port.openAttempts, 2, 5000);
        QVERIFY(b.view.status.contains(QStringLiteral("no such device")));
        b.port.openError.reset();
        b.port.sent.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!b.session.reconnecting(), 5000);
        QCOMPARE(b.view.status, MeasurementSession::lineBackText(1));
        QCOMPARE(b.port.sent, QByteArray("func rv\r\ntrig:sour imm\r\n"));
        QVERIFY(b.session.timerEnabled());

        b.cycle("1.5E-2,3.7E+0", true);
        QCOMPARE(b.tableR.totalCount, qint16(2));
        QVERIFY(!b.session.stale());
        QCOMPARE(b.file().count('\n'), 2);

        // STOP ends the retrying.
        b.port.lose(QStringLiteral("Input/output error"));
        b.session.stop();
        const int attempts = b.port.openAttempts;
        QVERIFY(!QTest::qWaitFor([&] { return b.port.openAttempts > attempts; },
                                 int(MeasurementSession::kReconnectInterval.count()) + 300));
        QVERIFY(!b.session.reconnecting());
        QCOMPARE(b.view.status, MeasurementSession::stoppedText());
    }

    void startDropsAnArmingLeftFromTheLastSession()
    {
        Bench b;
        b.session.start();
        b.session.recCount();
        QVERIFY(!b.view.recCountEnabled);
        b.session.stop();
        QVERIFY(b.session.recordArmed()); // STOP leaves the arming alone

        b.session.start();
        QVERIFY(b.view.errors.isEmpty());
        QVERIFY(b.session.timerEnabled());
        QVERIFY(!b.session.recordArmed());
        QVERIFY(b.view.recCountEnabled);
        QCOMPARE(b.view.focused, QStringLiteral("recCount"));

        b.cycle("5.0E-3,3.2E+0", false);
        QCOMPARE(b.tableR.totalCount, qint16(0));
        QCOMPARE(b.file(), QByteArray());
    }

    void fullCounterCountsNeitherTableAndSaysSoOnce_data()
    {
        QTest::addColumn<bool>("voltageFull"); // else the resistance total is full
        QTest::newRow("voltage BIN counter full") << true;
        QTest::newRow("resistance total full") << false;
    }
    void fullCounterCountsNeitherTableAndSaysSoOnce()
    {
        QFETCH(bool, voltageFull);
        Bench b;
        if (voltageFull)
            b.setCounter(1, 0, 32767);
        else
            b.setCounter(0, 10, 32767);
        const BinTable resistanceBefore = b.tableR;
        const BinTable voltageBefore = b.tableV;
        b.session.start();

        b.cycle("5.0E-3,3.2E+0", true);
        b.cycle("5.0E-3,3.2E+0", false);

        QVERIFY(b.tableR == resistanceBefore);
        QVERIFY(b.tableV == voltageBefore);
        QCOMPARE(b.file(), QByteArray());
        QVERIFY(b.session.recordArmed());
        QVERIFY(!b.view.recCountEnabled);
        // The grid still shows the judgement.
        QCOMPARE(b.view.cells[0], FakeView::kLit);
        QCOMPARE(b.view.cells[9], FakeView::kLit);
        QCOMPARE(b.trace.count("status " + MeasurementSession::counterFullText()), 1);
        QVERIFY(b.view.errors.isEmpty());

        // RESET in the counter window clears the tables; the arming is taken.
        b.tables.clearCounts();
        b.cycle("5.0E-3,3.2E+0", false);
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.tableV.totalCount, qint16(1));
        QCOMPARE(b.file().count('\n'), 1);
        QCOMPARE(b.view.status, MeasurementSession::countedText(1, QStringLiteral("1"), QStringLiteral("1")));
    }

    void unwritableRecordIsReportedAndTheSessionGoesOn_data()
    {
        QTest::addColumn<bool>("removeFolder");
        QTest::newRow("file closed under the session") << false;
        QTest::newRow("its folder removed under the session") << true;
    }
    void unwritableRecordIsReportedAndTheSessionGoesOn()
    {
        QFETCH(bool, removeFolder);
        Bench b;
        QVERIFY(QDir(b.dir.path()).mkdir(QStringLiteral("day")));
        b.view.path = b.dir.filePath(QStringLiteral("day/cells.csv"));
        b.session.start();
        QVERIFY(b.view.errors.isEmpty());
        QString reason;
        if (removeFolder) {
            QVERIFY(QDir(b.dir.filePath(QStringLiteral("day"))).removeRecursively());
            reason = QStringLiteral("No such file or directory");
        } else {
            b.dataFile.close();
            reason = QStringLiteral("No data file is open");
        }

        b.cycle("5.0E-3,3.2E+0", true);
        QCOMPARE(b.view.errors.size(), 1);
        QVERIFY2(b.view.errors[0].startsWith(QStringLiteral("The counted cell was saved nowhere"))
                     && b.view.errors[0].contains(reason),
                 qPrintable(b.view.errors[0]));
        if (removeFolder)
            QVERIFY(b.view.errors[0].contains(b.view.path));
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QVERIFY(!b.session.recordArmed());
        QVERIFY(b.view.recCountEnabled);
        QVERIFY(b.session.timerEnabled());

        b.cycle("1.5E-2,3.7E+0", false); // the next tick still measures
        QCOMPARE(b.view.values[0], QStringLiteral("1.5E-2"));
        QCOMPARE(b.view.errors.size(), 1);
        // The next loss is told as the second in a row.
        b.cycle("1.5E-2,3.7E+0", true);
        QCOMPARE(b.view.errors.size(), 2);
        QVERIFY2(b.view.errors[1].startsWith(QStringLiteral("2 counted cells in a row were saved nowhere")),
                 qPrintable(b.view.errors[1]));
        // A new session counts afresh.
        b.session.stop();
        QVERIFY(QDir(b.dir.path()).mkpath(QStringLiteral("day")));
        b.session.start();
        if (!removeFolder)
            b.dataFile.close();
        b.cycle("1.5E-2,3.7E+0", true);
        QCOMPARE(b.view.errors.size(), removeFolder ? 2 : 3);
        if (!removeFolder)
            QVERIFY(b.view.errors[2].startsWith(QStringLiteral("The counted cell was saved nowhere")));
    }

    void deletedFileMidSessionKeepsEveryCellAndIsToldOnce()
    {
        Bench b;
        b.session.start();
        b.cycle("5.0E-3,3.2E+0", true);
        QVERIFY(QFile::remove(b.view.path));
        for (int k = 0; k < 3; ++k)
            b.cycle("5.0E-3,3.2E+0", true);
        QCOMPARE(b.tableR.totalCount, qint16(4));
        // The three cells counted after the removal are all in the file at the path.
        QCOMPARE(b.file().count("\r\n"), qsizetype(3));
        QCOMPARE(b.view.errors.size(), 1);
        QVERIFY2(b.view.errors[0].contains(b.view.path) && b.view.errors[0].contains("deleted or replaced"),
                 qPrintable(b.view.errors[0]));
    }

    void autoRecordCountsEachSettledCellOnceUntilTheProbesAreLifted()
    {
        Bench b;
        QSignalSpy recorded(&b.session, &MeasurementSession::cellRecorded);
        b.session.setAutoRecord(true);
        b.session.start();

        // Settling, then held: the third steady reading is counted, once.
        for (const char *line : {"9.0E-3,3.40E+0", "5.0E-3,3.60E+0", "5.0E-3,3.6E+0", "5.0E-3,3.6E+0",
                                 "5.0E-3,3.6E+0", "5.0E-3,3.6E+0"})
            b.cycle(line, false);
        QCOMPARE(b.file(), QByteArray("2012/08/02,14:05:13,5.0E-3,3.6E+0\r\n"));
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.tableV.binCount[1], qint16(1));
        QCOMPARE(recorded.size(), 1);
        QCOMPARE(recorded.at(0).at(0).toBool(), true);
        QVERIFY(b.view.recCountEnabled);
        QVERIFY(!b.session.recordArmed());

        // A reply without a reading is no lift: the held cell is not counted again.
        b.cycle("ERR,ERR", false);
        for (int i = 0; i < 4; ++i)
            b.cycle("5.0E-3,3.6E+0", false);
        QCOMPARE(b.tableR.totalCount, qint16(1));

        // Lifted, the next cell (resistance Out) is counted once.
        b.cycle("+9.9E+37,+9.9E+37", false);
        for (int i = 0; i < 4; ++i)
            b.cycle("45.0E-3,3.6E+0", false);
        QCOMPARE(b.tableR.totalCount, qint16(2));
        QCOMPARE(b.tableR.binCount[9], qint16(1));
        QCOMPARE(b.file().count('\n'), 2);
        QCOMPARE(recorded.size(), 2);
        QCOMPARE(recorded.at(1).at(0).toBool(), false);

        // Switched off mid-cell: nothing more.
        b.cycle("+9.9E+37,+9.9E+37", false);
        b.cycle("5.0E-3,3.6E+0", false);
        b.session.setAutoRecord(false);
        for (int i = 0; i < 4; ++i)
            b.cycle("5.0E-3,3.6E+0", false);
        QCOMPARE(b.tableR.totalCount, qint16(2));
        QVERIFY(b.view.errors.isEmpty());
    }

    // A disk that fills under hands-free counting: each counted cell gets one
    // notice that says where the cell is and where it is not, and a cell that
    // reached neither the data file nor the journal stops auto record, so that
    // no more cells are counted unsaved.
    void fullDiskTellsOneStoryAndAStoreLessCellStopsAutoRecord_data()
    {
        QTest::addColumn<bool>("dataFileFull");
        QTest::addColumn<bool>("journalFull");
        QTest::newRow("data file and journal") << true << true;
        QTest::newRow("data file") << true << false;
        QTest::newRow("journal") << false << true;
    }
    void fullDiskTellsOneStoryAndAStoreLessCellStopsAutoRecord()
    {
        QFETCH(bool, dataFileFull);
        QFETCH(bool, journalFull);
        if (smallFileSystem().isEmpty()) {
            const SmallFileSystemRun child = runOnSmallFileSystem(QStringLiteral("256k"));
            if (child.skipped)
                QSKIP("cannot mount a small file system in a namespace of its own here");
            QVERIFY2(child.passed, child.output.constData());
            return;
        }
        Bench b;
        const QString full = smallFileSystem();
        b.view.path = QDir(dataFileFull ? full : b.dir.path()).filePath(QStringLiteral("cells.csv"));
        const QString journalPath = QDir(journalFull ? full : b.dir.path()).filePath(QStringLiteral("journal.sqlite"));
        Journal journal;
        QVERIFY(journal.open(journalPath));
        JournalSink sink(journal);
        b.session.addRecordSink(&sink);
        b.session.setBenchName(QStringLiteral("B1"));
        QSignalSpy recorded(&b.session, &MeasurementSession::cellRecorded);
        b.session.setAutoRecord(true);
        b.session.start();
        int cells = 0;
        const auto nextCell = [&b, &cells] {
            b.cycle("+9.9E+37,+9.9E+37", false);
            const QByteArray reading = QByteArray::number(5 + cells++) + "E-3,3.6E+0";
            for (int i = 0; i < 4; ++i)
                b.cycle(reading, false);
        };
        // The data file is still empty: its first line needs room.
        QVERIFY(fillSmallFileSystem());
        nextCell();
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.view.errors.size(), 1);
        const QString told = b.view.errors.last();
        const QString dataFile = QStringLiteral("the data file %1").arg(b.view.path);
        const QString inJournal = QStringLiteral("the record journal %1").arg(journalPath);
        const bool nowhere = dataFileFull && journalFull;
        if (nowhere) {
            QVERIFY2(told.startsWith(QStringLiteral("The counted cell was saved nowhere: %1 could not be written (%2), "
                                                    "and %3 could not be written (database or disk is full). It is "
                                                    "in the BIN counters only.")
                                             .arg(dataFile, QString::fromLocal8Bit(std::strerror(ENOSPC)), inJournal)),
                     qPrintable(told));
            QVERIFY2(told.contains(QLatin1String("Auto record was switched off")), qPrintable(told));
            QVERIFY(!b.session.autoRecord());
            QCOMPARE(recorded.size(), 0);
            // Nothing more is counted by itself.
            nextCell();
            QCOMPARE(b.tableR.totalCount, qint16(1));
        } else if (dataFileFull) {
            QCOMPARE(told, QStringLiteral("The counted cell was not saved: %1 could not be written (%2). It is in the "
                                          "BIN counters and in %3.")
                                   .arg(dataFile, QString::fromLocal8Bit(std::strerror(ENOSPC)), inJournal));
        } else {
            QCOMPARE(told, QStringLiteral("The counted cell was not saved: %1 could not be written (database or disk "
                                          "is full). It is in the BIN counters and in %2, but not in the central "
                                          "record.")
                                   .arg(inJournal, dataFile));
        }
        QCOMPARE(b.session.autoRecord(), !nowhere);
        QCOMPARE(b.view.errors.size(), 1);

        // With room again, the next cell is kept in both and nothing is told.
        QVERIFY(makeRoomOnSmallFileSystem());
        b.session.setAutoRecord(true);
        nextCell();
        QCOMPARE(b.tableR.totalCount, qint16(2));
        QCOMPARE(b.view.errors.size(), 1);
        QCOMPARE(b.file().count('\n'), dataFileFull ? 1 : 2);
        QCOMPARE(journal.waitingCount().valueOr(-1), qint64(journalFull ? 1 : 2));
    }

    void settledCellRefusedByAFullCounterIsCountedAfterReset()
    {
        Bench b;
        b.setCounter(0, 10, 32767);
        b.session.setAutoRecord(true);
        b.session.start();
        for (int i = 0; i < 5; ++i)
            b.cycle("5.0E-3,3.6E+0", false);
        QCOMPARE(b.file(), QByteArray());
        // An automatic record does not leave REC - COUNT armed.
        QVERIFY(!b.session.recordArmed());
        QVERIFY(b.view.recCountEnabled);
        QCOMPARE(b.trace.count("status " + MeasurementSession::counterFullText()), 1);

        b.tables.clearCounts();
        b.cycle("5.0E-3,3.6E+0", false);
        b.cycle("5.0E-3,3.6E+0", false);
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.file().count('\n'), 1);
    }

    // Every counted cell is told with its number in the session and its BINs,
    // and the running count follows; STOP says so, and the next START counts
    // from nothing again.
    void theStatusTellsEveryCountedCellAndAStop()
    {
        Bench b;
        b.session.start();
        QVERIFY(b.view.running);
        QCOMPARE(b.view.cellCount, 0);
        QVERIFY(b.view.status.isEmpty());
        b.cycle("5.0E-3,3.2E+0", true);
        QCOMPARE(b.view.status, QStringLiteral("Cell 1 counted: R BIN 1, V BIN 1"));
        QCOMPARE(b.session.statusKind(), MeasurementSession::StatusKind::Good);
        b.cycle("45.0E-3,3.7E+0", true);
        QCOMPARE(b.view.status, QStringLiteral("Cell 2 counted: R +Out, V BIN 2"));
        b.cycle("5.0E-3,3.2E+0", false);
        QCOMPARE(b.view.cellCount, 2);
        QCOMPARE(b.session.sessionCells(), 2);

        b.session.stop();
        QVERIFY(!b.view.running);
        QCOMPARE(b.view.status, MeasurementSession::stoppedText());
        QCOMPARE(b.session.statusKind(), MeasurementSession::StatusKind::Info);
        b.session.start();
        QCOMPARE(b.view.cellCount, 0);
        QVERIFY(b.view.status.isEmpty());
    }

    void startWithATableOfNoBinsSaysWhereToSetThem_data()
    {
        QTest::addColumn<bool>("resistanceEmpty");
        QTest::addColumn<bool>("voltageEmpty");
        QTest::addColumn<QString>("panels");
        QTest::newRow("both") << true << true << "RESISTANCE and VOLTAGE panels";
        QTest::newRow("resistance") << true << false << "RESISTANCE panel";
        QTest::newRow("voltage") << false << true << "VOLTAGE panel";
        QTest::newRow("neither") << false << false << QString();
    }
    void startWithATableOfNoBinsSaysWhereToSetThem()
    {
        QFETCH(bool, resistanceEmpty);
        QFETCH(bool, voltageEmpty);
        QFETCH(QString, panels);
        Bench b;
        b.tables.setTables(resistanceEmpty ? BinTable() : threeBins(0, 10),
                           voltageEmpty ? BinTable() : threeBins(3, 0.5f));
        b.session.start();
        // It starts all the same.
        QVERIFY(b.session.running());
        QVERIFY(b.view.errors.isEmpty());
        if (panels.isEmpty()) {
            QVERIFY(b.view.status.isEmpty());
            return;
        }
        QVERIFY2(b.view.status.contains(panels) && b.view.status.contains(QLatin1String("BINs =")),
                 qPrintable(b.view.status));
        // Out is counted as usual.
        b.cycle("5.0E-3,3.2E+0", true);
        QCOMPARE(b.tableR.totalCount, qint16(1));
    }

    // Auto record tells a cell that left the probes uncounted; a counted cell,
    // a cell under auto record off and a bounce tell nothing.
    void autoRecordTellsACellLiftedBeforeItSettled()
    {
        Bench b;
        b.session.setAutoRecord(true);
        b.session.start();
        const QByteArray open = "+9.9E+37,+9.9E+37";
        for (const char *line : {"5.0E-3,3.2E+0", "9.0E-3,3.4E+0", "6.0E-3,3.3E+0"})
            b.cycle(line, false);
        b.cycle(open, false);
        QVERIFY(b.view.status.isEmpty()); // one lifting reading may be a bounce
        b.cycle(open, false);
        QCOMPARE(b.view.status, MeasurementSession::skippedText());
        QCOMPARE(b.tableR.totalCount, qint16(0));

        for (int i = 0; i < 3; ++i)
            b.cycle("5.0E-3,3.2E+0", false);
        QCOMPARE(b.tableR.totalCount, qint16(1));
        b.cycle(open, false);
        b.cycle(open, false);
        QCOMPARE(b.view.status, MeasurementSession::countedText(1, QStringLiteral("1"), QStringLiteral("1")));

        b.session.setAutoRecord(false);
        b.cycle("9.0E-3,3.4E+0", false);
        b.cycle(open, false);
        b.cycle(open, false);
        QCOMPARE(b.trace.count("status " + MeasurementSession::skippedText()), 1);
    }

    // A settled cell that a tagger holds for its ID says so in the status line.
    void aSettledCellWaitingForItsIdIsTold()
    {
        struct NoIdYet : CellTagger
        {
            void beginSession() override {}
            void endSession() override {}
            void probesChanged(SettleDetector::ProbeChange) override {}
            bool mayCount(bool) override { return false; }
            void readingJudged(const TaggedReading &) override {}
            Take takeReading(const TaggedReading &, bool) override { return Take::Record; }
            void tag(CellRecord &) override {}
            void heldDropped() override {}
        } tagger;
        Bench b;
        b.session.setCellTagger(&tagger);
        b.session.setAutoRecord(true);
        b.session.start();
        for (int i = 0; i < 5; ++i)
            b.cycle("5.0E-3,3.2E+0", false);
        QCOMPARE(b.tableR.totalCount, qint16(0));
        QCOMPARE(b.view.status, MeasurementSession::waitingForIdText());
        QCOMPARE(b.trace.count("status " + MeasurementSession::waitingForIdText()), 1);
        b.session.setCellTagger(nullptr);
    }
};

BIN4870_TEST(TestMeasurementSession)
#include "tst_measurementsession.moc"
