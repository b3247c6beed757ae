#include "testmain.h"

#include "bins/bintable.h"
#include "common/apperror.h"
#include "common/colours.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/serialport.h"
#include "record/datafile.h"
#include "session/measurementsession.h"
#include "session/sessionview.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// A port whose replies are scripted per ":fetch?", arriving one piece per read.
class FakePort : public SerialPort
{
public:
    explicit FakePort(QStringList &trace) : m_trace(trace) {}

    void setCommPort(qint16 port) override { m_commPort = port; }
    qint16 commPort() const override { return m_commPort; }
    bool portOpen() const override { return m_open; }
    void setPortOpen(bool open) override
    {
        if (open)
            ++openAttempts;
        if (open && openError)
            throw *openError;
        m_open = open;
        m_pieces.clear();
        m_trace << (open ? "port open" : "port close");
    }
    void clearInBuffer() override { m_pieces.clear(); }
    void output(const QByteArray &data) override
    {
        if (!m_open)
            throw AppError(errors::kPortNotOpen, QStringLiteral("Port not open"));
        sent += data;
        if (sent.endsWith(":fetch?\r\n")) {
            ++fetches;
            m_pieces = replies.isEmpty() ? QList<QByteArray>() : replies.takeFirst();
        }
    }
    QByteArray input() override { return m_pieces.isEmpty() ? QByteArray() : m_pieces.takeFirst(); }

    QList<QList<QByteArray>> replies;
    std::optional<AppError> openError;
    QByteArray sent;
    int openAttempts = 0;
    int fetches = 0;

private:
    QStringList &m_trace;
    QList<QByteArray> m_pieces;
    qint16 m_commPort = 1;
    bool m_open = false;
};

// Stands for the window's event loop: each pass of the wait runs onWait, the
// place where clicks and ticks reach the session in the program.
class FakePump : public EventPump
{
public:
    void processOnceWaiting() override
    {
        ++waits;
        if (onWait)
            onWait(waits);
        if (waits > 1000 && channel)
            channel->stopRequested = true; // a reply that never comes must not hang the test
    }
    void processPending() override
    {
        if (onPending)
            onPending();
    }

    std::function<void(int)> onWait;
    std::function<void()> onPending;
    CommandChannel *channel = nullptr;
    int waits = 0;
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
    void setCellColour(int cell, quint32 bgr) override { cells.at(cell) = bgr; }
    void setOutLabel(int t, const std::optional<QString> &caption, quint32 bgr) override
    {
        if (caption)
            outCaption.at(t) = *caption;
        outColour.at(t) = bgr;
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

private:
    void focus(bool enabled, const QString &control)
    {
        if (!enabled)
            throw AppError(5, QStringLiteral("Invalid procedure call or argument"));
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
        pump.channel = &session.channel();
        view.path = dir.filePath(QStringLiteral("cells.csv"));
        clock.time = QDateTime(QDate(2012, 8, 2), QTime(14, 5, 9));
    }
    ~Bench() { session.stop(); }

    // Queues the reply to the next ":fetch?", one read per piece.
    void reply(const QList<QByteArray> &pieces) { port.replies << pieces; }
    void reply(const QByteArray &line) { reply(QList<QByteArray>{line + "\r\n"}); }
    // One tick with a fresh reading, armed first when asked.
    void cycle(const QByteArray &line, bool armed)
    {
        if (armed)
            session.recCount();
        reply(line);
        clock.time = clock.time.addSecs(1);
        session.Timer1_Timer();
    }
    QByteArray file() const
    {
        QFile f(view.path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    QStringList trace;
    FakePort port{trace};
    FakePump pump;
    FakeClock clock;
    BinTable tableR = threeBins(0, 10);   // milliohms
    BinTable tableV = threeBins(3, 0.5f); // volts
    DataFile dataFile;
    FakeView view{trace};
    MeasurementSession session{port, pump, clock, tableR, tableV, dataFile, view};
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
        QVERIFY(!b.session.channel().stopRequested);
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
        QTest::newRow("port cannot be opened") << "cells" << int(errors::kPortOpenFailed)
                                               << "Cannot open COM7: no such device"
                                               << "cells.csv" << 1;
        QTest::newRow("closed port is undone silently") << "cells.dat" << int(errors::kPortNotOpen)
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
            b.port.openError = AppError(openError, "Cannot open COM7: no such device");
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
        QVERIFY(b.session.channel().stopRequested);
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
        QCOMPARE(b.view.values[0], QStringLiteral("5.0mOhm"));
        QCOMPARE(b.view.values[1], QStringLiteral("3.2V"));
        const std::array<quint32, 18> lit00{
            colours::kLit,    colours::kUnlit,  colours::kUnlit,  colours::kUnused, colours::kUnused,
            colours::kUnused, colours::kUnused, colours::kUnused, colours::kUnused, colours::kLit,
            colours::kUnlit,  colours::kUnlit,  colours::kUnused, colours::kUnused, colours::kUnused,
            colours::kUnused, colours::kUnused, colours::kUnused};
        QCOMPARE(b.view.cells, lit00);
        QCOMPARE(b.view.outCaption[0], QString());
        QCOMPARE(b.view.outColour[0], colours::kUnused);
        QCOMPARE(b.view.focused, QStringLiteral("recCount"));
        QVERIFY(b.view.recCountEnabled);

        b.cycle("1.5E-2,3.7E+0", false);
        b.cycle("1.5E-2,3.7E+0", true);
        b.cycle("2.5E-2,4.2E+0", true);
        b.cycle("4.0E-2,3.9E+0", true);
        QCOMPARE(b.view.outCaption[0], QStringLiteral("+Out"));
        QCOMPARE(b.view.outColour[0], colours::kLit);
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

    void tickDuringTheWaitDoesNotStartASecondCycle()
    {
        Bench b;
        b.session.start();
        b.session.recCount();
        b.reply({"1.5E-2,", "3.7E+0\r\n"});
        b.reply("2.5E-2,4.2E+0"); // what a nested cycle would fetch and count
        int fetchesAfterNestedTick = -1;
        b.pump.onWait = [&](int pass) {
            if (pass == 1) {
                b.session.Timer1_Timer();
                fetchesAfterNestedTick = b.port.fetches;
            }
        };
        b.session.Timer1_Timer();

        QCOMPARE(fetchesAfterNestedTick, 1);
        QCOMPARE(b.port.fetches, 1);
        QCOMPARE(b.tableR.binCount[1], qint16(1));
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.file(), QByteArray("2012/08/02,14:05:09,1.5E-2,3.7E+0\r\n"));
        QVERIFY(!b.session.cycleRunning());
    }

    void onlyACompleteReplyIsCounted_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("during"); // what happens on the third pass of the wait

        QTest::newRow("stop before anything arrived") << QList<QByteArray>() << "stop";
        QTest::newRow("stop mid-line") << QList<QByteArray>{"2.5E-2,4."} << "stop";
        QTest::newRow("LF not last when stopped")
            << QList<QByteArray>{"2.5E-2,4.2E+0\r\nxx"} << "stop";
        QTest::newRow("port closed mid-line") << QList<QByteArray>{"2.5E-2,4.2E+0\r"} << "close";
        QTest::newRow("CR LF alone") << QList<QByteArray>{"\r\n"} << "";
    }
    void onlyACompleteReplyIsCounted()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QString, during);
        Bench b;
        b.session.start();
        b.cycle("5.0E-3,3.2E+0", true);
        const QByteArray firstRecord = b.file();
        QCOMPARE(firstRecord.count('\n'), 1);

        b.session.recCount();
        b.reply(pieces);
        b.pump.waits = 0;
        b.pump.onWait = [&](int pass) {
            if (pass == 3 && during == "stop")
                b.session.stop();
            if (pass == 3 && during == "close")
                b.port.setPortOpen(false);
        };
        b.session.Timer1_Timer();
        b.pump.onWait = nullptr;

        QVERIFY(b.pump.waits < 1000);
        QCOMPARE(b.file(), firstRecord);
        QCOMPARE(b.tableR.totalCount, qint16(1));
        QCOMPARE(b.tableV.totalCount, qint16(1));
        QCOMPARE(b.view.values[0], QStringLiteral("5.0mOhm"));
        QVERIFY(b.session.recordArmed());
        QVERIFY(!b.view.recCountEnabled);
        QVERIFY(b.view.errors.isEmpty());
        if (during == "stop") {
            QVERIFY(!b.session.timerEnabled());
            QVERIFY(!b.port.portOpen());
            QVERIFY(!b.dataFile.isOpen());
            QCOMPARE(b.trace.mid(b.trace.size() - 3), kUndone);
        }
        if (during.isEmpty()) { // the arming waits for the next complete reading
            b.reply("1.5E-2,3.7E+0");
            b.session.Timer1_Timer();
            QCOMPARE(b.file().count('\n'), 2);
            QVERIFY(b.file().endsWith(",1.5E-2,3.7E+0\r\n"));
            QCOMPARE(b.tableR.binCount[1], qint16(1));
            QVERIFY(!b.session.recordArmed());
        }
    }

    void stopWhileTheReadingIsShownEndsTheCycle()
    {
        Bench b;
        b.session.start();
        b.pump.onPending = [&] { b.session.stop(); };
        b.cycle("5.0E-3,3.2E+0", true);
        QCOMPARE(b.view.values[0], QStringLiteral("5.0mOhm"));
        QCOMPARE(b.tableR.totalCount, qint16(0));
        QCOMPARE(b.file(), QByteArray());
        QVERIFY(b.view.errors.isEmpty());
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

    void failedJudgingKeepsTheArming_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("voltageCounterFull");
        QTest::addColumn<int>("resistanceTotal");

        // Resistance is judged and written back before voltage fails.
        QTest::newRow("voltage counter full") << QByteArray("5.0E-3,3.2E+0") << true << 1;
        QTest::newRow("resistance beyond float range") << QByteArray("1E+36,3.2E+0") << false << 0;
    }
    void failedJudgingKeepsTheArming()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, voltageCounterFull);
        QFETCH(int, resistanceTotal);
        Bench b;
        if (voltageCounterFull)
            b.tableV.binCount[0] = 32767;
        const BinTable voltageBefore = b.tableV;
        b.session.start();

        b.cycle(reply, true); // the tick's trap must swallow the failure

        QCOMPARE(int(b.tableR.totalCount), resistanceTotal);
        QCOMPARE(int(b.tableR.binCount[0]), resistanceTotal);
        QVERIFY(b.tableV == voltageBefore);
        QVERIFY(b.session.recordArmed());
        QVERIFY(!b.view.recCountEnabled);
        QCOMPARE(b.file(), QByteArray());
        QVERIFY(b.session.timerEnabled());
        QVERIFY(!b.session.cycleRunning());
        QVERIFY(b.view.errors.isEmpty());
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
        QVERIFY2(b.view.errors[0].startsWith(QStringLiteral("The counted cell was not saved"))
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
        QVERIFY2(b.view.errors[1].startsWith(QStringLiteral("2 counted cells in a row were not saved")),
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
            QVERIFY(b.view.errors[2].startsWith(QStringLiteral("The counted cell was not saved")));
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
};

BIN4870_TEST(TestMeasurementSession)
#include "tst_measurementsession.moc"
