#include "testmain.h"
#include "devdb.h"
#include "englishplurals.h"
#include "withoutfileprivileges.h"

#include "record/cellcolumns.h"
#include "record/centraldatabase.h"
#include "record/databasesources.h"
#include "record/forwarder.h"
#include "record/journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <map>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kArrivalWait = 90000;

// The ids of a bench's cells in the order the server received them.
QStringList arrivedIds(DevDatabase &db, const QString &bench)
{
    return db.column(QStringLiteral("SELECT id FROM cells WHERE bench = '%1' ORDER BY arrival").arg(bench));
}

QStringList idsOf(const std::vector<CellRecord> &records)
{
    QStringList ids;
    for (const CellRecord &record : records)
        ids << record.id.toString(QUuid::WithoutBraces);
    return ids;
}

// Counts cells into the journal one by one, as the counting path does,
// waking the forwarder after each.
void count(Journal &journal, CentralForwarderThread &forwarder, std::vector<CellRecord> &written, int cells,
           const BinSetup &setup)
{
    for (int i = 0; i < cells; ++i) {
        const CellRecord record = cellfixtures::record(QStringLiteral("bench-1"), int(written.size()), setup);
        QVERIFY(journal.append(record, setup));
        written.push_back(record);
        forwarder.wake();
    }
}

// A TCP port on the loopback that takes connections and never answers, as a
// server whose host has hung does; the kernel completes the handshake.
class SilentServer
{
public:
    SilentServer()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(m_socket, 4) == 0
            && ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(m_socket); }
    quint16 port() const { return m_port; }

private:
    int m_socket = -1;
    quint16 m_port = 0;
};

// This process's socket connected to the port, or -1.
int socketTo(quint16 port)
{
    for (const QString &entry : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System)) {
        const int fd = entry.toInt();
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) == 0 && peer.sin_family == AF_INET
            && ntohs(peer.sin_port) == port)
            return fd;
    }
    return -1;
}

int tcpOption(int fd, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof value;
    return ::getsockopt(fd, level, name, &value, &length) == 0 ? value : -1;
}

} // namespace

class TestCentralRecord : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString journalPath(const QString &name = QStringLiteral("journal.sqlite")) const
    {
        return QDir(m_folder->path()).filePath(name);
    }

private Q_SLOTS:
    // Count texts read as the operator sees them ("1 cell", "2 cells").
    void initTestCase() { QVERIFY(englishplurals::install()); }
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
    }

    // Over TCP the client bounds a link that stops answering by itself:
    // keepalives that notice a dead peer within about 25 s, unacknowledged
    // data given up after 30 s, and a connection never answered given up
    // after the connect time-out.
    void aLinkThatStopsAnsweringIsBoundedByTheClient()
    {
        SilentServer silent;
        QVERIFY(silent.port() != 0);
        CentralSettings settings;
        settings.enabled = true;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = silent.port();
        settings.sslMode = QStringLiteral("disable");
        bool opened = true;
        QString reason;
        std::unique_ptr<QThread> attempt(QThread::create([&opened, &reason, settings] {
            central::Connection connection(settings, QStringLiteral("silent"));
            opened = connection.open().ok();
            reason = connection.reason();
        }));
        attempt->start();
        int fd = -1;
        QTRY_VERIFY((fd = socketTo(silent.port())) >= 0);
        QCOMPARE(tcpOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
        QCOMPARE(tcpOption(fd, IPPROTO_TCP, TCP_KEEPIDLE), 10);
        QCOMPARE(tcpOption(fd, IPPROTO_TCP, TCP_KEEPINTVL), 5);
        QCOMPARE(tcpOption(fd, IPPROTO_TCP, TCP_KEEPCNT), 3);
        QCOMPARE(tcpOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT), 30000);
        QVERIFY2(attempt->wait(QDeadlineTimer(60000)), "the connection attempt ends on its own");
        QVERIFY(!opened);
        QCOMPARE(reason, QStringLiteral("server not reachable"));
    }

    void serverStoppedMidShiftAndStartedAgain()
    {
        DevDatabase db;
        QVERIFY(db.start());
        Journal journal(QStringLiteral("counting"));
        QVERIFY(journal.open(journalPath()));
        CentralForwarderThread forwarder(journalPath(), db.settings());
        const BinSetup setup = cellfixtures::setup();
        std::vector<CellRecord> written;

        count(journal, forwarder, written, 150, setup);
        QTRY_VERIFY_WITH_TIMEOUT(forwarder.status().upToDate() && arrivedIds(db, QStringLiteral("bench-1")).size() == 150, kArrivalWait);
        QCOMPARE(forwarder.status().text(), QStringLiteral("Central record: up to date"));

        QVERIFY(db.stop());
        count(journal, forwarder, written, 150, setup);
        QTRY_COMPARE_WITH_TIMEOUT(forwarder.status().text(),
                                  QStringLiteral("Central record: 150 cells waiting (server not reachable)"),
                                  kArrivalWait);
        QCOMPARE(journal.waitingCount().valueOr(-1), 150);

        QVERIFY(db.start());
        count(journal, forwarder, written, 20, setup);
        // Texts with the characters that quote and separate arrive as they are.
        CellRecord odd = cellfixtures::record(QStringLiteral("bench-1"), 999, setup);
        odd.cellId = QStringLiteral("C \"7\" \\ {x},y 'z' NULL");
        QVERIFY(journal.append(odd, setup));
        written.push_back(odd);
        forwarder.wake();
        QTRY_VERIFY_WITH_TIMEOUT(forwarder.status().upToDate(), kArrivalWait);
        QCOMPARE(arrivedIds(db, QStringLiteral("bench-1")), idsOf(written));
        QCOMPARE(db.column(QStringLiteral("SELECT count(DISTINCT id) FROM cells")), QStringList{QStringLiteral("321")});
        QCOMPARE(db.column(QStringLiteral("SELECT cell_id FROM cells WHERE cell_id IS NOT NULL")), QStringList{odd.cellId});
        QCOMPARE(db.column(QStringLiteral("SELECT setup FROM bin_setups")), QStringList{setup.text});
        // The values arrive as the bench kept them.
        const CellRecord &last = written[written.size() - 2];
        QCOMPARE(db.column(QStringLiteral("SELECT resistance_text || '|' || voltage_bin || '|' || setup_hash || '|' "
                                          "|| to_char(measured_at AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.MS') "
                                          "|| '|' || (cell_id IS NULL) FROM cells WHERE id = '%1'")
                                   .arg(last.id.toString(QUuid::WithoutBraces))),
                 QStringList{QStringLiteral("%1|%2|%3|%4|true")
                                     .arg(last.resistanceText, last.voltageBin, setup.hash,
                                          last.measuredAt.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")))});
        QCOMPARE(journal.waitingCount().valueOr(-1), 0);
    }

    // A journal the program's user may not write still has its waiting cells
    // sent: each once, although it cannot be marked sent (the server's
    // arrival numbers count every row offered, kept or not), and marked once
    // it may be written again.
    void cellsOfAJournalThatCannotBeWrittenAreSentOnceAndMarkedLater()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        std::vector<CellRecord> written;
        {
            Journal journal(QStringLiteral("counting"));
            QVERIFY(journal.open(journalPath()));
            for (int n = 0; n < 6; ++n) {
                written.push_back(cellfixtures::record(QStringLiteral("bench-1"), n, setup));
                QVERIFY(journal.append(written.back(), setup));
            }
        }
        const auto setWritable = [this](bool writable) {
            for (const char *suffix : {"", "-wal", "-shm"}) {
                const QString path = journalPath() + QLatin1String(suffix);
                QFile::Permissions mode = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
                if (writable)
                    mode |= QFile::WriteOwner;
                if (QFileInfo::exists(path) && !QFile::setPermissions(path, mode))
                    return false;
            }
            return true;
        };
        QVERIFY(setWritable(false));
        const QString offered = QStringLiteral("SELECT coalesce(last_value, 0) FROM pg_sequences WHERE sequencename LIKE 'cells_arrival%'");
        {
            WithoutFilePrivileges ordinaryUser;
            QVERIFY(ordinaryUser.isValid());
            CentralForwarderThread forwarder(journalPath(), db.settings());
            QTRY_VERIFY_WITH_TIMEOUT(arrivedIds(db, QStringLiteral("bench-1")).size() == 6, kArrivalWait);
            QTRY_COMPARE_WITH_TIMEOUT(forwarder.status().text(), QStringLiteral("Central record: up to date"), 30000);
            QCOMPARE(arrivedIds(db, QStringLiteral("bench-1")), idsOf(written));

            // Written again: the next cell goes in, all are marked, none offered twice.
            QVERIFY(setWritable(true));
            Journal journal(QStringLiteral("counting"));
            QVERIFY(journal.open(journalPath()));
            written.push_back(cellfixtures::record(QStringLiteral("bench-1"), 6, setup));
            QVERIFY(journal.append(written.back(), setup));
            forwarder.wake();
            QTRY_COMPARE_WITH_TIMEOUT(journal.waitingCount().valueOr(-1), 0, kArrivalWait);
            QCOMPARE(arrivedIds(db, QStringLiteral("bench-1")), idsOf(written));
            QCOMPARE(db.column(offered), QStringList{QStringLiteral("7")});
        }
    }

    // A database of the first schema, filled by benches of the program before
    // cells carried marks: a cell is looked up in it as it is, and the next
    // forwarder adds the columns in place, rows kept; marks and the tester's
    // word then arrive with the cells. The version stays, so a bench still on
    // the older program keeps sending to the same tables.
    void firstSchemaIsUpgradedInPlaceAndCellsAreLookedUp()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        CellRecord old = cellfixtures::record(QStringLiteral("bench-9"), 1, setup);
        old.cellId = QStringLiteral("C-1");
        // What a bench of the older program sends.
        const auto olderProgramsInsert = [&](const QUuid &id) {
            return QStringLiteral("INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text,"
                                  " resistance_ohm, voltage_v, resistance_bin, voltage_bin, setup_hash, cell_id,"
                                  " program_version) VALUES ('%1', 'bench-9', '%2', 'r', 'v', 0.02, %3, '1', '2',"
                                  " '%4', 'C-1', '1.1.0')")
                    .arg(id.toString(QUuid::WithoutBraces), old.measuredAtText())
                    .arg(old.voltageV)
                    .arg(setup.hash);
        };
        for (const QString &sql : {
                     QStringLiteral("CREATE TABLE bin4870_schema (version integer NOT NULL)"),
                     QStringLiteral("INSERT INTO bin4870_schema VALUES (1)"),
                     QStringLiteral("CREATE TABLE bin_setups (hash text PRIMARY KEY, setup text NOT NULL)"),
                     QStringLiteral("CREATE TABLE cells (id uuid PRIMARY KEY, bench text NOT NULL,"
                                    " measured_at timestamptz NOT NULL, resistance_text text NOT NULL,"
                                    " voltage_text text NOT NULL, resistance_ohm double precision,"
                                    " voltage_v double precision, resistance_bin text, voltage_bin text,"
                                    " setup_hash text REFERENCES bin_setups(hash), cell_id text,"
                                    " program_version text, arrival bigint GENERATED ALWAYS AS IDENTITY)"),
                     QStringLiteral("INSERT INTO bin_setups VALUES ('%1', 'x')").arg(setup.hash),
                     olderProgramsInsert(old.id)}) {
            QVERIFY2(!db.column(sql).value(0).startsWith(QLatin1String("ERROR")), qPrintable(sql));
        }

        central::Connection look(db.settings());
        std::vector<CellRecord> found = look.recordsOfCell(QStringLiteral("C-1")).valueOr({});
        QCOMPARE(found.size(), size_t(1));
        QCOMPARE(found[0].id, old.id);
        QCOMPARE(found[0].measuredAt, old.measuredAt);
        QCOMPARE(found[0].voltageV, old.voltageV);
        QVERIFY(!found[0].retest && !found[0].kValue);

        Journal journal(QStringLiteral("counting"));
        QVERIFY(journal.open(journalPath()));
        CentralForwarderThread forwarder(journalPath(), db.settings());
        CellRecord retest = cellfixtures::record(QStringLiteral("bench-1"), 2, setup);
        retest.cellId = QStringLiteral("C-1");
        retest.retest = true;
        retest.kValue = 3.25;
        retest.kLimit = 2.0;
        retest.kVerdict = QStringLiteral("too high");
        retest.testerWord = QStringLiteral("FAIL");
        QVERIFY(journal.append(retest, setup));
        forwarder.wake();
        QTRY_VERIFY_WITH_TIMEOUT(forwarder.status().upToDate(), kArrivalWait);
        QCOMPARE(db.column(QStringLiteral("SELECT version || '+' || additions FROM bin4870_schema")),
                 QStringList{QStringLiteral("1+%1").arg(central::kSchemaAdditions)});
        // The upgrade makes the table a new database has.
        QStringList described;
        for (const CellColumn *column : cellcolumns::of(CellStore::Central, central::kSchemaAdditions))
            described << QLatin1String(column->name);
        QCOMPARE(db.column(QStringLiteral("SELECT column_name FROM information_schema.columns"
                                          " WHERE table_name = 'cells' ORDER BY ordinal_position")),
                 described);
        QCOMPARE(db.column(QStringLiteral("SELECT concat_ws(' ', bench, retest, k_value, k_limit, k_verdict, "
                                          "tester_word) FROM cells ORDER BY arrival")),
                 (QStringList{QStringLiteral("bench-9 f"), QStringLiteral("bench-1 t 3.25 2 too high FAIL")}));

        // The same connection, its look-up kept, on the upgraded tables.
        found = look.recordsOfCell(QStringLiteral("C-1")).valueOr({});
        QCOMPARE(found.size(), size_t(2));
        QCOMPARE(found[1].id, retest.id);
        QVERIFY(found[1].retest);
        QCOMPARE(found[1].kValue, std::optional<double>(3.25));
        QCOMPARE(found[1].kVerdict, QStringLiteral("too high"));
        QCOMPARE(found[1].testerWord, QStringLiteral("FAIL"));
        QCOMPARE(found[1].measuredAt, retest.measuredAt);

        QCOMPARE(db.column(QStringLiteral("SELECT tablename FROM pg_tables WHERE tablename LIKE 'pack%' ORDER BY 1")),
                 (QStringList{QStringLiteral("pack_cells"), QStringLiteral("packs")}));
        // A bench still on the older program sends to the upgraded tables.
        const QString olderBenchSends = olderProgramsInsert(QUuid::createUuid());
        QVERIFY2(!db.column(olderBenchSends).value(0).startsWith(QLatin1String("ERROR")), qPrintable(olderBenchSends));
        QCOMPARE(db.column(QStringLiteral("SELECT count(*) FROM cells WHERE NOT retest AND k_value IS NULL")),
                 QStringList{QStringLiteral("2")});
    }

    // Each record reaches the server with its channel; the cells a bench of
    // the program before channels sent read as channel 1.
    void channelTravelsToTheServer()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        Journal journal(QStringLiteral("counting"));
        QVERIFY(journal.open(journalPath()));
        CentralForwarderThread forwarder(journalPath(), db.settings());
        std::vector<CellRecord> written;
        for (const int channel : {2, 1, 4}) {
            CellRecord record = cellfixtures::record(QStringLiteral("bench-1"), int(written.size()) + 1, setup);
            record.channel = channel;
            QVERIFY(journal.append(record, setup));
            written.push_back(record);
        }
        forwarder.wake();
        QTRY_VERIFY_WITH_TIMEOUT(forwarder.status().upToDate(), kArrivalWait);
        QCOMPARE(db.column(QStringLiteral("SELECT channel FROM cells ORDER BY arrival")),
                 (QStringList{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("4")}));
        const QString olderBench = QStringLiteral("INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text,"
                                                  " setup_hash) VALUES ('%1', 'bench-9', now(), 'r', 'v', '%2')")
                                           .arg(QUuid::createUuid().toString(QUuid::WithoutBraces), setup.hash);
        QVERIFY2(!db.column(olderBench).value(0).startsWith(QLatin1String("ERROR")), qPrintable(olderBench));
        QCOMPARE(db.column(QStringLiteral("SELECT channel FROM cells WHERE bench = 'bench-9'")), QStringList{QStringLiteral("1")});
    }

    void killedWhileForwardingLosesAndDoublesNothing()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        std::vector<CellRecord> written;
        {
            Journal journal(QStringLiteral("counting"));
            QVERIFY(journal.open(journalPath()));
            for (int n = 0; n < 60000; ++n)
                written.push_back(cellfixtures::record(QStringLiteral("bench-1"), n, setup));
            QVERIFY(journal.appendAll(written, setup));
        }
        const QString program = QDir(qEnvironmentVariable("BIN4870_BIN_DIR")).filePath(QStringLiteral("record-forward"));
        const QStringList arguments{journalPath(), db.folder()};

        QProcess first;
        first.start(program, arguments);
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(db.column(QStringLiteral("SELECT count(*) FROM cells")).value(0).toInt() > 5000,
                                 kArrivalWait);
        first.kill(); // SIGKILL
        QVERIFY(first.waitForFinished());
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        const int beforeKill = db.column(QStringLiteral("SELECT count(*) FROM cells")).value(0).toInt();
        QVERIFY2(beforeKill < 60000, "the forwarder finished before it was killed");

        QProcess second;
        second.start(program, arguments);
        QVERIFY(second.waitForFinished(kArrivalWait));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAllStandardOutput().contains("Central record: up to date"));
        QCOMPARE(db.column(QStringLiteral("SELECT count(*) || '/' || count(DISTINCT id) FROM cells")),
                 QStringList{QStringLiteral("60000/60000")});
        QCOMPARE(arrivedIds(db, QStringLiteral("bench-1")), idsOf(written));
    }

    // A batch the server has committed goes again: the forwarder was killed
    // after the server's commit and before the journal marked it sent. Sent
    // twice directly, then once more with new cells by the next start's
    // forwarder, every cell is kept once, in counting order, and the journal
    // ends with all of them marked sent.
    void aBatchTheServerCommittedIsKeptOnceWhenSentAgain()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        const std::map<QString, QString> setups{{setup.hash, setup.text}};
        Journal journal(QStringLiteral("counting"));
        QVERIFY(journal.open(journalPath()));
        std::vector<CellRecord> written;
        for (int n = 0; n < 30; ++n)
            written.push_back(cellfixtures::record(QStringLiteral("bench-1"), n, setup));
        QVERIFY(journal.appendAll(written, setup));
        const Result<std::vector<Journal::Pending>> batch = journal.pending(CentralForwarder::kBatchSize);
        QVERIFY(batch);
        QCOMPARE(batch->size(), written.size());
        {
            central::Connection connection(db.settings());
            QVERIFY(connection.open());
            QVERIFY(connection.prepareSchema());
            for (int sending = 0; sending < 2; ++sending) {
                const Status sent = connection.send(*batch, setups);
                QVERIFY2(sent, qPrintable(sent.errorString()));
            }
        }
        QCOMPARE(db.column(QStringLiteral("SELECT count(*) || '/' || count(DISTINCT id) FROM cells")),
                 QStringList{QStringLiteral("30/30")});
        QCOMPARE(journal.waitingCount().valueOr(-1), 30);

        for (int n = 30; n < 40; ++n) {
            written.push_back(cellfixtures::record(QStringLiteral("bench-1"), n, setup));
            QVERIFY(journal.append(written.back(), setup));
        }
        CentralForwarderThread forwarder(journalPath(), db.settings());
        QTRY_VERIFY_WITH_TIMEOUT(forwarder.status().upToDate(), kArrivalWait);
        QCOMPARE(journal.waitingCount().valueOr(-1), 0);
        QCOMPARE(db.column(QStringLiteral("SELECT count(*) || '/' || count(DISTINCT id) FROM cells")),
                 QStringList{QStringLiteral("40/40")});
        QCOMPARE(arrivedIds(db, QStringLiteral("bench-1")), idsOf(written));
    }

    void eightBenchesThroughTwoServerRestarts()
    {
        DevDatabase db;
        QVERIFY(db.start());
        constexpr int kBenches = 8;
        constexpr int kCells = 5000;
        const BinSetup setup = cellfixtures::setup();
        std::vector<std::unique_ptr<CentralForwarderThread>> forwarders;
        std::vector<std::vector<CellRecord>> written(kBenches);
        std::atomic<int> counted{0};
        std::atomic<int> failed{0};
        std::vector<QThread *> benches;
        for (int b = 0; b < kBenches; ++b) {
            const QString bench = QStringLiteral("bench-%1").arg(b + 1);
            const QString path = journalPath(QStringLiteral("journal-%1.sqlite").arg(b + 1));
            // The journal exists before its forwarder opens it, as at a bench.
            { Journal journal(bench); QVERIFY(journal.open(path)); }
            forwarders.push_back(std::make_unique<CentralForwarderThread>(path, db.settings(bench)));
            CentralForwarderThread *forwarder = forwarders.back().get();
            std::vector<CellRecord> *records = &written[size_t(b)];
            // Each bench counts on a thread of its own, with its own connection.
            benches.push_back(QThread::create([=, &counted, &failed] {
                Journal journal(bench);
                if (!journal.open(path)) {
                    ++failed;
                    return;
                }
                for (int n = 0; n < kCells; ++n) {
                    records->push_back(cellfixtures::record(bench, n, setup));
                    if (!journal.append(records->back(), setup))
                        ++failed;
                    forwarder->wake();
                    ++counted;
                }
            }));
            benches.back()->start();
        }
        const int total = kBenches * kCells;
        for (int restart = 1; restart <= 2; ++restart) {
            QTRY_VERIFY_WITH_TIMEOUT(counted >= total * restart / 3, 300000);
            QVERIFY(db.stop());
            QVERIFY(db.start());
        }
        for (QThread *bench : benches) {
            QTRY_VERIFY_WITH_TIMEOUT(bench->isFinished(), 300000);
            delete bench;
        }
        QCOMPARE(failed.load(), 0);
        for (const auto &forwarder : forwarders)
            QTRY_VERIFY_WITH_TIMEOUT(forwarder->status().upToDate(), kArrivalWait);
        QCOMPARE(db.column(QStringLiteral("SELECT count(*) || '/' || count(DISTINCT id) FROM cells")),
                 QStringList{QStringLiteral("40000/40000")});
        for (int b = 0; b < kBenches; ++b)
            QCOMPARE(arrivedIds(db, QStringLiteral("bench-%1").arg(b + 1)), idsOf(written[size_t(b)]));
    }

    // Two program folders, two journals, one bench name: each journal is a
    // machine of its own, the server keeps both pairs and every cell, and
    // the machine that claims a name in use is told, in its status and by
    // "Test connection".
    void twoMachinesWithOneBenchNameAreToldAndBothAreKept()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        const QString bench = QStringLiteral("benchA");
        const CentralSettings settings = db.settings(bench);
        QStringList machines;
        QStringList paths;
        std::vector<std::unique_ptr<CentralForwarderThread>> forwarders;
        for (int m = 0; m < 2; ++m) {
            const QString folder = QDir(m_folder->path()).filePath(QStringLiteral("program-%1").arg(m + 1));
            QVERIFY(QDir().mkpath(folder));
            paths << QDir(folder).filePath(QStringLiteral("journal.sqlite"));
            Journal journal(QStringLiteral("machine-%1").arg(m + 1));
            QVERIFY(journal.open(paths.last()));
            const Result<QString> machine = journal.machineIdentity();
            QVERIFY2(machine, qPrintable(machine.errorString()));
            machines << *machine;
            forwarders.push_back(std::make_unique<CentralForwarderThread>(paths.last(), settings));
            for (int n = 0; n < 3; ++n) {
                QVERIFY(journal.append(cellfixtures::record(bench, m * 3 + n, setup), setup));
                forwarders.back()->wake();
            }
            QTRY_VERIFY_WITH_TIMEOUT(forwarders.back()->status().upToDate(), kArrivalWait);
        }
        QVERIFY(machines[0] != machines[1]);
        QCOMPARE(forwarders[0]->status().text(), QStringLiteral("Central record: up to date"));
        QCOMPARE(forwarders[1]->status().text(),
                 QStringLiteral("Central record: up to date; the bench name \"benchA\" is used by 1 other machine "
                                "too, and their cells are mixed with this bench's: give this bench a name of its own "
                                "(Settings > Central record...)"));
        QCOMPARE(db.column(QStringLiteral("SELECT machine || '|' || named FROM benches ORDER BY first_seen")),
                 (QStringList{machines[0] + QStringLiteral("|true"), machines[1] + QStringLiteral("|true")}));
        QCOMPARE(db.column(QStringLiteral("SELECT count(*) FROM cells WHERE bench = 'benchA'")), QStringList{QStringLiteral("6")});

        for (const QString &machine : machines) {
            const Result<QString> tested = central::probe(settings, machine);
            QVERIFY2(tested && tested->endsWith(QStringLiteral(" The bench name \"benchA\" is used by 1 other machine too, "
                                                                "and their cells are mixed with this bench's: give this "
                                                                "bench a name of its own (Settings > Central record...).")),
                     qPrintable(tested ? *tested : tested.errorString()));
        }
        const Result<QString> ownName = central::probe(db.settings(QStringLiteral("benchB")), machines[1]);
        QVERIFY2(ownName && !ownName->contains(QStringLiteral("other machine")), qPrintable(ownName.errorString()));

        // Renamed, the second machine no longer holds the first one's name.
        forwarders.push_back(std::make_unique<CentralForwarderThread>(paths[1], db.settings(QStringLiteral("benchB"))));
        QTRY_VERIFY_WITH_TIMEOUT(forwarders.back()->status().text() == QStringLiteral("Central record: up to date"),
                                 kArrivalWait);
        const Result<QString> renamed = central::probe(settings, machines[0]);
        QVERIFY2(renamed && !renamed->contains(QStringLiteral("other machine")), qPrintable(renamed.errorString()));

        // The identity stays with the journal.
        forwarders.clear();
        Journal again(QStringLiteral("again"));
        QVERIFY(again.open(paths[0]));
        QCOMPARE(again.machineIdentity().valueOr(QString()), machines[0]);
    }

    // Cells keep the bench name they were counted under, whatever the name
    // when they are sent, and a bench that ran without a name set is marked
    // in the line view.
    void cellsKeepTheirBenchNameAndABenchWithoutOneIsMarked()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        const QString host = QSysInfo::machineHostName();
        Journal journal(QStringLiteral("counting"));
        QVERIFY(journal.open(journalPath()));
        QVERIFY(journal.append(cellfixtures::record(host, 0, setup), setup));
        {
            CentralForwarderThread unnamed(journalPath(), db.settings(QString()));
            QTRY_VERIFY_WITH_TIMEOUT(unnamed.status().upToDate(), kArrivalWait);
        }
        // Counted without a name while nothing is sent, then named.
        QVERIFY(journal.append(cellfixtures::record(host, 1, setup), setup));
        QCOMPARE(journal.waitingCountOf(host).valueOr(-1), qint64(1));
        CentralForwarderThread named(journalPath(), db.settings(QStringLiteral("benchA")));
        QVERIFY(journal.append(cellfixtures::record(QStringLiteral("benchA"), 2, setup), setup));
        named.wake();
        QTRY_VERIFY_WITH_TIMEOUT(named.status().upToDate() && journal.waitingCount().valueOr(-1) == 0, kArrivalWait);
        QCOMPARE(db.column(QStringLiteral("SELECT bench || ':' || count(*) FROM cells GROUP BY bench ORDER BY bench = 'benchA'")),
                 (QStringList{host + QStringLiteral(":2"), QStringLiteral("benchA:1")}));

        const Result<std::vector<LineRow>> line = readLineView(db.settings(), RecordFilter());
        QVERIFY2(line, qPrintable(line.errorString()));
        std::map<QString, bool> unnamedOf;
        for (const LineRow &row : *line)
            unnamedOf[row.bench] = row.unnamed;
        QCOMPARE(unnamedOf, (std::map<QString, bool>{{host, true}, {QStringLiteral("benchA"), false}}));
    }

    void refusalsAreToldAndNothingIsLost_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << "password" << "password refused for user bin4870"
                                        << "refused the password of user \"bin4870\"";
        QTest::newRow("unknown database") << "database" << "database nosuch does not exist"
                                          << "has no database \"nosuch\"";
        QTest::newRow("unreachable host") << "host" << "server not reachable" << "cannot be reached";
        QTest::newRow("newer schema") << "schema" << "database tables of a newer version 7"
                                      << QStringLiteral("version 7, newer than this program knows (%1)")
                                                 .arg(central::kSchemaVersion);
    }
    void refusalsAreToldAndNothingIsLost()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QFETCH(QString, message);
        DevDatabase db;
        QVERIFY(db.start());
        const QByteArray goodPasswords = qgetenv("PGPASSFILE");
        CentralSettings settings = db.settings();
        if (fault == QLatin1String("password")) {
            const QString wrong = QDir(m_folder->path()).filePath(QStringLiteral("wrongpass"));
            QFile file(wrong);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("*:*:*:bin4870:not-the-password\n");
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            qputenv("PGPASSFILE", wrong.toLocal8Bit());
        } else if (fault == QLatin1String("database")) {
            settings.database = QStringLiteral("nosuch");
        } else if (fault == QLatin1String("host")) {
            settings.host = m_folder->path(); // a folder with no server's socket
        } else {
            QVERIFY(sendCells(settings));
            QVERIFY(db.column(QStringLiteral("UPDATE bin4870_schema SET version = 7")).isEmpty());
        }

        const Result<QString> probed = central::probe(settings);
        QVERIFY(!probed);
        QVERIFY2(probed.errorString().contains(message), qPrintable(probed.errorString()));

        Journal journal(QStringLiteral("counting"));
        QVERIFY(journal.open(journalPath()));
        const BinSetup setup = cellfixtures::setup();
        std::vector<CellRecord> written;
        {
            CentralForwarderThread forwarder(journalPath(), settings);
            count(journal, forwarder, written, 37, setup);
            QTRY_COMPARE_WITH_TIMEOUT(forwarder.status().text(),
                                      QStringLiteral("Central record: 37 cells waiting (%1)").arg(reason), kArrivalWait);
        }
        QCOMPARE(journal.waitingCount().valueOr(-1), 37);
        if (fault == QLatin1String("schema")) {
            // Refused and left alone.
            QCOMPARE(db.column(QStringLiteral("SELECT version FROM bin4870_schema")), QStringList{QStringLiteral("7")});
            QCOMPARE(db.column(QStringLiteral("SELECT count(*) FROM cells")), QStringList{QStringLiteral("0")});
            QVERIFY(db.column(QStringLiteral("UPDATE bin4870_schema SET version = %1").arg(central::kSchemaVersion))
                            .isEmpty());
        }

        // Put right, the cells that waited arrive.
        qputenv("PGPASSFILE", goodPasswords);
        CentralForwarderThread forwarder(journalPath(), db.settings());
        QTRY_VERIFY_WITH_TIMEOUT(forwarder.status().upToDate(), kArrivalWait);
        QCOMPARE(arrivedIds(db, QStringLiteral("bench-1")), idsOf(written));
    }
};

BIN4870_TEST(TestCentralRecord)
#include "tst_centralrecord.moc"
