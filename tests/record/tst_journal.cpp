#include "testmain.h"
#include "devdb.h"
#include "filecontent.h"
#include "smallfilesystem.h"
#include "withoutfileprivileges.h"

#include "record/cellcolumns.h"
#include "record/journal.h"
#include "record/journalcheck.h"
#include "record/recordsinks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

class TestJournal : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString journalPath() const { return QDir(m_folder->path()).filePath(QStringLiteral("journal.sqlite")); }

    // A second, plain SQLite connection that looks at the file as it is on disk.
    QStringList rowsOf(const QString &path, const QString &sql)
    {
        QStringList rows;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query(db);
                if (query.exec(sql))
                    while (query.next())
                        rows << query.value(0).toString();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("look"));
        return rows;
    }

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
    }

    void setupsAreTheirLimitsNotTheirCounters()
    {
        BinTable r;
        r.numBins = 3;
        r.minValue = 10;
        r.maxValue = 40;
        QVERIFY(calcBinLimits(r));
        BinTable v;
        v.mode = BinMode::RefPercent;
        v.numBins = 2;
        v.refValue = 3.7f;
        v.percentValue = 0.1f;
        QVERIFY(calcBinLimits(v));
        const BinSetup base = binSetupOf(r, v);

        BinTable counted = r;
        counted.binCount[1] = 17;
        counted.totalCount = 17;
        QCOMPARE(binSetupOf(counted, v), base);

        BinTable moved = r;
        moved.upperLimit[2] = std::nextafter(moved.upperLimit[2], 100.0f);
        QVERIFY(binSetupOf(moved, v).hash != base.hash);
        // Swapping the tables is another set-up.
        QVERIFY(binSetupOf(v, r).hash != base.hash);
        QCOMPARE(base.hash.size(), 64);
        // Floats written as the short decimals the operator typed.
        QVERIFY2(base.text.contains(QLatin1String("\"percent\":0.1,")), qPrintable(base.text));
        QVERIFY2(base.text.contains(QLatin1String("\"lower\":[10,20,30]")), qPrintable(base.text));
        QVERIFY2(base.text.contains(QLatin1String("\"mode\":\"Ref - %\"")), qPrintable(base.text));
    }

    void recordsComeBackInOrderWithEachSetupOnce()
    {
        Journal journal(QStringLiteral("j"));
        const Status opened = journal.open(journalPath());
        QVERIFY2(opened, qPrintable(opened.errorString()));
        QVERIFY(journal.takeNotice().isEmpty());

        const BinSetup first = cellfixtures::setup(15);
        const BinSetup second = cellfixtures::setup(20);
        std::vector<CellRecord> written;
        for (int n = 0; n < 6; ++n) {
            CellRecord record = cellfixtures::record(QStringLiteral("B7"), n, n < 4 ? first : second);
            if (n == 2 || n == 4)
                record.cellId = QStringLiteral("C-0002");
            if (n == 4) {
                record.retest = true;
                record.kValue = 2.5;
                record.kLimit = 2.0;
                record.kVerdict = QStringLiteral("too high");
                record.testerWord = QStringLiteral("PASS");
            }
            const Status appended = journal.append(record, n < 4 ? first : second);
            QVERIFY2(appended, qPrintable(appended.errorString()));
            written.push_back(record);
        }
        QCOMPARE(rowsOf(journalPath(), QStringLiteral("SELECT hash FROM bin_setups ORDER BY hash")),
                 (QStringList{qMin(first.hash, second.hash), qMax(first.hash, second.hash)}));
        QCOMPARE(rowsOf(journalPath(), QStringLiteral("PRAGMA journal_mode")), QStringList{QStringLiteral("wal")});
        QCOMPARE(journal.waitingCount().valueOr(-1), 6);

        const auto pending = journal.pending(4);
        QVERIFY(pending);
        QCOMPARE(pending->size(), size_t(4));
        for (size_t i = 0; i < pending->size(); ++i) {
            const CellRecord &back = (*pending)[i].record;
            const CellRecord &sent = written[i];
            QCOMPARE(back.id, sent.id);
            QCOMPARE(back.measuredAtText(), sent.measuredAtText());
            QCOMPARE(back.measuredAt, sent.measuredAt);
            QCOMPARE(back.resistanceText, sent.resistanceText);
            QCOMPARE(back.voltageV, sent.voltageV);
            QCOMPARE(back.voltageBin, sent.voltageBin);
            QCOMPARE(back.setupHash, sent.setupHash);
            QCOMPARE(back.cellId, sent.cellId);
        }
        QCOMPARE(journal.setupText(second.hash).valueOr(QString()), second.text);

        // Marked sent up to the fourth: the two after it are what is left.
        QVERIFY(journal.markSent((*pending)[3].seq));
        QCOMPARE(journal.waitingCount().valueOr(-1), 2);
        const auto rest = journal.pending(10);
        QVERIFY(rest);
        QCOMPARE(rest->size(), size_t(2));
        QCOMPARE(rest->front().record.id, written[4].id);
        // The marks of a re-test travel with it.
        QVERIFY(rest->front().record.retest);
        QCOMPARE(rest->front().record.kValue, std::optional<double>(2.5));
        QCOMPARE(rest->front().record.kVerdict, QStringLiteral("too high"));
        QCOMPARE(rest->front().record.testerWord, QStringLiteral("PASS"));
        QCOMPARE(rowsOf(journalPath(), QStringLiteral("SELECT k_verdict FROM cells WHERE k_value IS NOT NULL")),
                 QStringList{QStringLiteral("too high")});

        // A cell's records, oldest first; an unknown ID has none.
        const auto cell = journal.recordsOfCell(QStringLiteral("C-0002"));
        QVERIFY(cell);
        QCOMPARE(cell->size(), size_t(2));
        QCOMPARE(cell->at(0).id, written[2].id);
        QVERIFY(!cell->at(0).retest && !cell->at(0).kValue);
        QCOMPARE(cell->at(1).id, written[4].id);
        QVERIFY(journal.recordsOfCell(QStringLiteral("C-9")).value().empty());

        // Opened again (the next start): the same records, nothing sent twice.
        journal.close();
        QVERIFY(journal.open(journalPath()));
        QCOMPARE(journal.waitingCount().valueOr(-1), 2);
    }

    // A journal of the first format (before cells carried re-test marks and
    // K-values) is brought up to date in place, by the counting path and by
    // the forwarder alike: its rows stay, unsent ones still to be sent.
    void firstFormatJournalIsUpgradedInPlace()
    {
        const BinSetup setup = cellfixtures::setup();
        const CellRecord old = cellfixtures::record(QStringLiteral("B1"), 1, setup);
        const auto makeOldJournal = [&](const QString &path) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            for (const QString &sql : {
                         QStringLiteral("CREATE TABLE bin_setups (hash TEXT PRIMARY KEY, setup TEXT NOT NULL)"),
                         QStringLiteral("CREATE TABLE cells (seq INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE,"
                                        " bench TEXT NOT NULL, measured_at TEXT NOT NULL, resistance_text TEXT NOT NULL,"
                                        " voltage_text TEXT NOT NULL, resistance_ohm REAL, voltage_v REAL,"
                                        " resistance_bin TEXT, voltage_bin TEXT, setup_hash TEXT NOT NULL"
                                        " REFERENCES bin_setups(hash), cell_id TEXT, program_version TEXT,"
                                        " sent INTEGER NOT NULL DEFAULT 0)"),
                         QStringLiteral("CREATE INDEX cells_unsent ON cells(seq) WHERE sent = 0"),
                         QStringLiteral("PRAGMA application_id=%1").arg(Journal::kApplicationId),
                         QStringLiteral("PRAGMA user_version=1"),
                         QStringLiteral("INSERT INTO bin_setups VALUES ('%1', '%2')").arg(setup.hash, setup.text),
                         QStringLiteral("INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text,"
                                        " resistance_ohm, voltage_v, resistance_bin, voltage_bin, setup_hash, cell_id,"
                                        " program_version, sent) VALUES ('%1', 'B1', '%2', '%3', '%4', %5, %6, '1',"
                                        " '2', '%7', 'C-1', '1.1.0', 0)")
                                 .arg(old.id.toString(QUuid::WithoutBraces), old.measuredAtText(), old.resistanceText,
                                      old.voltageText)
                                 .arg(old.resistanceOhm)
                                 .arg(old.voltageV)
                                 .arg(setup.hash)}) {
                QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
            }
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("old"));
        };
        const QString other = QDir(m_folder->path()).filePath(QStringLiteral("forwarded.sqlite"));
        makeOldJournal(journalPath());
        makeOldJournal(other);

        Journal journal(QStringLiteral("j"));
        const Status opened = journal.open(journalPath());
        QVERIFY2(opened, qPrintable(opened.errorString()));
        QCOMPARE(journal.takeNotice(), QString());
        Journal forwarding(QStringLiteral("f"));
        const Status forwardingOpened = forwarding.openForForwarding(other);
        QVERIFY2(forwardingOpened, qPrintable(forwardingOpened.errorString()));
        QStringList described;
        for (const CellColumn *column : cellcolumns::of(CellStore::Journal, Journal::kFormat))
            described << QLatin1String(column->name);
        for (const QString &path : {journalPath(), other}) {
            QCOMPARE(rowsOf(path, QStringLiteral("PRAGMA user_version")), QStringList{QString::number(Journal::kFormat)});
            // The upgrade makes the table a new journal has.
            QCOMPARE(rowsOf(path, QStringLiteral("SELECT name FROM pragma_table_info('cells') ORDER BY cid")), described);
            // ... and the pack tables with their indexes.
            QCOMPARE(rowsOf(path, QStringLiteral("SELECT name FROM sqlite_master WHERE name LIKE 'pack%' ORDER BY name")),
                     (QStringList{QStringLiteral("pack_cells"), QStringLiteral("pack_cells_reserved"),
                                  QStringLiteral("pack_cells_slot"), QStringLiteral("packs")}));
            QCOMPARE(rowsOf(path, QStringLiteral("SELECT id || ' ' || retest || ' ' || (k_value IS NULL) FROM cells")),
                     QStringList{old.id.toString(QUuid::WithoutBraces) + QStringLiteral(" 0 1")});
        }
        CellRecord next = cellfixtures::record(QStringLiteral("B1"), 2, setup);
        next.cellId = QStringLiteral("C-1");
        next.retest = true;
        next.kValue = 1.0;
        next.kLimit = 2.0;
        next.kVerdict = QStringLiteral("OK");
        QVERIFY(journal.append(next, setup));
        const auto pending = journal.pending(10);
        QVERIFY(pending && pending->size() == 2);
        QCOMPARE(pending->at(0).record.id, old.id);
        QCOMPARE(pending->at(0).record.programVersion, QStringLiteral("1.1.0"));
        QVERIFY(!pending->at(0).record.retest);
        QCOMPARE(journal.recordsOfCell(QStringLiteral("C-1")).value().size(), size_t(2));
        QCOMPARE(forwarding.pending(10).value().size(), size_t(1));
    }

    // A journal of the format before channels gets the column in place: its
    // cells were all measured on channel 1.
    void secondFormatJournalGetsTheChannelInPlace()
    {
        const BinSetup setup = cellfixtures::setup();
        {
            Journal journal(QStringLiteral("made"));
            QVERIFY(journal.open(journalPath()));
            QVERIFY(journal.append(cellfixtures::record(QStringLiteral("B1"), 1, setup), setup));
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("older"));
            db.setDatabaseName(journalPath());
            QVERIFY(db.open());
            QSqlQuery query(db);
            // As format 2 was: without the columns format 3 brings.
            for (const char *column : {"channel", "k_uncertainty"})
                QVERIFY2(query.exec(QStringLiteral("ALTER TABLE cells DROP COLUMN %1").arg(QLatin1String(column))),
                         qPrintable(query.lastError().text()));
            QVERIFY(query.exec(QStringLiteral("PRAGMA user_version=2")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("older"));

        Journal journal(QStringLiteral("j"));
        const Status opened = journal.open(journalPath());
        QVERIFY2(opened, qPrintable(opened.errorString()));
        QCOMPARE(rowsOf(journalPath(), QStringLiteral("PRAGMA user_version")), QStringList{QStringLiteral("3")});
        CellRecord next = cellfixtures::record(QStringLiteral("B1"), 2, setup);
        next.channel = 3;
        QVERIFY(journal.append(next, setup));
        QCOMPARE(rowsOf(journalPath(), QStringLiteral("SELECT channel FROM cells ORDER BY seq")),
                 (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
        const auto pending = journal.pending(10);
        QVERIFY(pending && pending->size() == 2);
        QCOMPARE(pending->at(0).record.channel, 1);
        QCOMPARE(pending->at(1).record.channel, 3);
    }

    void damagedJournalIsMovedAsideAndANewOneStarted_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("cut short") << "truncate";
        QTest::newRow("random bytes") << "random";
        QTest::newRow("another program's database") << "foreign";
        QTest::newRow("newer format") << "newer";
    }
    void damagedJournalIsMovedAsideAndANewOneStarted()
    {
        QFETCH(QString, damage);
        const BinSetup setup = cellfixtures::setup();
        {
            Journal journal(QStringLiteral("j"));
            QVERIFY(journal.open(journalPath()));
            std::vector<CellRecord> records;
            for (int n = 0; n < 3000; ++n)
                records.push_back(cellfixtures::record(QStringLiteral("B1"), n, setup));
            QVERIFY(journal.appendAll(records, setup));
        }
        QByteArray content = readAll(journalPath());
        QVERIFY(content.size() > 100000);
        if (damage == QLatin1String("truncate")) {
            content.truncate(content.size() / 2);
        } else if (damage == QLatin1String("random")) {
            for (char &c : content)
                c = char(QRandomGenerator::global()->generate());
        } else {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("edit"));
            db.setDatabaseName(journalPath());
            QVERIFY(db.open());
            QSqlQuery(db).exec(damage == QLatin1String("foreign") ? QStringLiteral("PRAGMA application_id=7")
                                                                   : QStringLiteral("PRAGMA user_version=%1").arg(Journal::kFormat + 1));
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("edit"));
            content = readAll(journalPath());
        }
        QVERIFY(writeFile(journalPath(), content));

        Journal journal(QStringLiteral("j"));
        const Status opened = journal.open(journalPath());
        QVERIFY2(opened, qPrintable(opened.errorString()));
        const QString notice = journal.takeNotice();
        QVERIFY2(notice.contains(QDir::toNativeSeparators(journalPath())), qPrintable(notice));
        QVERIFY2(notice.contains(QLatin1String("moved to")), qPrintable(notice));
        const QStringList aside = QDir(m_folder->path()).entryList({QStringLiteral("journal.sqlite.damaged-*")},
                                                               QDir::Files);
        QCOMPARE(aside.size(), 1);
        // Moved, not changed: the old file is there to be looked at.
        QCOMPARE(readAll(QDir(m_folder->path()).filePath(aside.first())), content);
        QCOMPARE(journal.waitingCount().valueOr(-1), 0);
        QVERIFY(journal.append(cellfixtures::record(QStringLiteral("B1"), 1, setup), setup));
        QCOMPARE(journal.waitingCount().valueOr(-1), 1);
    }

    // Opened for the window, a journal damaged inside opens at once and takes
    // cells; the full check, on its own thread, finds the damage afterwards:
    // the journal is moved aside with the same notice, and the cells counted
    // meanwhile are in the new one. A sound journal's verdict changes nothing,
    // and a check replaced by another gives no verdict.
    void damageFoundByTheLaterCheckKeepsTheCellsCountedMeanwhile()
    {
        const BinSetup setup = cellfixtures::setup();
        {
            Journal journal;
            QVERIFY(journal.open(journalPath()));
            std::vector<CellRecord> records;
            for (int n = 0; n < 3000; ++n)
                records.push_back(cellfixtures::record(QStringLiteral("B1"), n, setup));
            QVERIFY(journal.appendAll(records, setup));
        }
        JournalCheck check;
        std::vector<Status> verdicts;
        connect(&check, &JournalCheck::finished, this, [&](const Status &verdict) { verdicts.push_back(verdict); });
        {
            Journal journal;
            QVERIFY(journal.open(journalPath(), Journal::FullCheck::Later));
            QVERIFY(journal.needsCheck());
            check.start(journalPath());
            check.start(journalPath());
            QTRY_COMPARE(verdicts.size(), std::size_t(1));
            QVERIFY2(verdicts[0], qPrintable(verdicts[0].errorString()));
            QVERIFY(journal.checked(verdicts[0]));
            QVERIFY(!journal.needsCheck());
            QCOMPARE(journal.takeNotice(), QString());
        }
        const QByteArray sound = readAll(journalPath());
        const QByteArray damaged = cellfixtures::damagedInside(sound);
        QVERIFY(damaged != sound);
        QVERIFY(writeFile(journalPath(), damaged));

        Journal journal;
        QVERIFY(journal.open(journalPath(), Journal::FullCheck::Later));
        QCOMPARE(journal.takeNotice(), QString());
        std::vector<CellRecord> meanwhile;
        for (int n = 0; n < 2; ++n) {
            meanwhile.push_back(cellfixtures::record(QStringLiteral("B1"), 5000 + n, setup));
            QVERIFY(journal.append(meanwhile.back(), setup));
        }
        verdicts.clear();
        check.start(journalPath());
        QTRY_COMPARE(verdicts.size(), std::size_t(1));
        QVERIFY(!verdicts[0]);
        QVERIFY(journal.checked(verdicts[0]));
        const QString notice = journal.takeNotice();
        QVERIFY2(notice.startsWith(QStringLiteral("The record journal %1 could not be read")
                                           .arg(QDir::toNativeSeparators(journalPath()))),
                 qPrintable(notice));
        QVERIFY2(notice.contains(QLatin1String("moved to")), qPrintable(notice));
        QCOMPARE(QDir(m_folder->path()).entryList({QStringLiteral("journal.sqlite.damaged-*")}, QDir::Files).size(), 1);
        const Result<std::vector<Journal::Pending>> kept = journal.pending(10);
        QVERIFY(kept);
        QCOMPARE(kept->size(), meanwhile.size());
        for (std::size_t i = 0; i < meanwhile.size(); ++i)
            QCOMPARE(kept->at(i).record.id, meanwhile[i].id);

        // The new journal needs no check: a verdict still to come is no news.
        QVERIFY(!journal.needsCheck());
        QVERIFY(journal.checked(Failure(QStringLiteral("late"))));
        QCOMPARE(journal.takeNotice(), QString());
        QCOMPARE(journal.waitingCount().valueOr(-1), 2);
    }

    // A journal the program's user may not write (left read-only, or owned by
    // another user after a run as root, in their folder or in one the user
    // may not write either) is not damaged: it stays where it is, its cells
    // are read when it can be read, a record is refused as read-only, and
    // once it may be written again the next record goes in.
    void journalThatCannotBeWrittenIsLeftInPlace_data()
    {
        QTest::addColumn<bool>("folderWritable");
        QTest::newRow("journal read-only") << true;
        QTest::newRow("journal and its folder read-only") << false;
    }
    void journalThatCannotBeWrittenIsLeftInPlace()
    {
        QFETCH(bool, folderWritable);
        const BinSetup setup = cellfixtures::setup();
        {
            Journal journal;
            QVERIFY(journal.open(journalPath()));
            for (int n = 0; n < 6; ++n)
                QVERIFY(journal.append(cellfixtures::record(QStringLiteral("B1"), n, setup), setup));
        }
        const QByteArray before = readAll(journalPath());
        const QFile::Permissions readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        const QFile::Permissions folderMode = readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
        const auto setWritable = [&](bool writable) {
            for (const char *suffix : {"", "-wal", "-shm"}) {
                const QString path = journalPath() + QLatin1String(suffix);
                if (QFileInfo::exists(path) && !QFile::setPermissions(path, writable ? readable | QFile::WriteOwner : readable))
                    return false;
            }
            return folderWritable || QFile::setPermissions(m_folder->path(), writable ? folderMode | QFile::WriteOwner : folderMode);
        };
        QVERIFY(setWritable(false));
        WithoutFilePrivileges ordinaryUser;
        QVERIFY(ordinaryUser.isValid());

        // Opened as the window opens it, its full check on a thread of its own.
        Journal journal;
        const Status opened = journal.open(journalPath(), Journal::FullCheck::Later);
        QString notice = opened ? journal.takeNotice() : opened.errorString();
        if (journal.needsCheck()) {
            JournalCheck check;
            std::optional<Status> verdict;
            connect(&check, &JournalCheck::finished, this, [&verdict](const Status &found) { verdict = found; });
            check.start(journalPath());
            QTRY_VERIFY_WITH_TIMEOUT(verdict.has_value(), 20000);
            const Status applied = journal.checked(*verdict);
            notice += applied ? journal.takeNotice() : applied.errorString();
        }
        QVERIFY2(notice.startsWith(QStringLiteral("The record journal %1 cannot be written")
                                           .arg(QDir::toNativeSeparators(journalPath())))
                         && !notice.contains(QLatin1String("moved")) && !notice.contains(QLatin1String("could not be read")),
                 qPrintable(notice));
        QCOMPARE(QDir(m_folder->path()).entryList({QStringLiteral("journal.sqlite.damaged-*")}, QDir::Files),
                 QStringList());
        QCOMPARE(readAll(journalPath()), before);
        // Read as ever, and nothing made beside it: its cells wait to be sent from it.
        QVERIFY2(notice.contains(QLatin1String("6 cell(s)")), qPrintable(notice));
        QVERIFY(journal.isReadOnly());
        QCOMPARE(journal.waitingCount().valueOr(-1), 6);
        QCOMPARE(journal.pending(10).valueOr({}).size(), std::size_t(6));
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{QStringLiteral("journal.sqlite")});

        const Status refused = journal.append(cellfixtures::record(QStringLiteral("B1"), 6, setup), setup);
        QVERIFY(!refused);
        QCOMPARE(refused.kind(), ErrorKind::ReadOnly);
        QVERIFY2(refused.errorString().contains(QLatin1String("readonly")), qPrintable(refused.errorString()));
        QCOMPARE(journal.takeNotice(), QString());
        QCOMPARE(readAll(journalPath()), before);

        // Given write permission again: the next record goes in.
        QVERIFY(setWritable(true));
        const Status appended = journal.append(cellfixtures::record(QStringLiteral("B1"), 7, setup), setup);
        QVERIFY2(appended, qPrintable(appended.errorString()));
        QVERIFY(!journal.isReadOnly());
        QCOMPARE(journal.waitingCount().valueOr(-1), 7);
    }

    // A disk that fills: a journal that cannot be made, or a record that
    // cannot be written, is told with the reason SQLite first gave, not with
    // what the clean-up after it said; nothing is moved aside, and with room
    // again the journal is made and takes records.
    void fullDiskIsToldWithTheFirstError()
    {
        if (smallFileSystem().isEmpty()) {
            const SmallFileSystemRun child = runOnSmallFileSystem(QStringLiteral("256k"));
            if (child.skipped)
                QSKIP("cannot mount a small file system in a namespace of its own here");
            QVERIFY2(child.passed, child.output.constData());
            return;
        }
        const QString path = smallFileSystem() + QStringLiteral("/journal.sqlite");
        const QString full = QStringLiteral("database or disk is full");
        const BinSetup setup = cellfixtures::setup();
        Journal journal;
        QVERIFY(journal.open(path));
        QVERIFY(journal.append(cellfixtures::record(QStringLiteral("B1"), 0, setup), setup));
        QVERIFY(fillSmallFileSystem());
        for (int n = 1; n <= 2; ++n) {
            const Status appended = journal.append(cellfixtures::record(QStringLiteral("B1"), n, setup), setup);
            QVERIFY(!appended);
            QVERIFY2(appended.errorString() == full, qPrintable(appended.errorString()));
            QCOMPARE(appended.kind(), ErrorKind::DiskFull);
            QCOMPARE(journal.takeNotice(), QString());
        }
        // Opened again on the full disk (the next start): told the same way.
        journal.close();
        const Status reopened = journal.open(path, Journal::FullCheck::Later);
        QVERIFY2(reopened && journal.takeNotice().isEmpty(), qPrintable(reopened.errorString()));
        const Status appended = journal.append(cellfixtures::record(QStringLiteral("B1"), 3, setup), setup);
        QVERIFY2(appended.errorString() == full, qPrintable(appended.errorString()));
        // A journal that cannot be made at all.
        Journal second;
        const Status made = second.open(smallFileSystem() + QStringLiteral("/second.sqlite"));
        QVERIFY(!made);
        QVERIFY2(made.errorString().contains(full), qPrintable(made.errorString()));
        QCOMPARE(QDir(smallFileSystem()).entryList({QStringLiteral("*damaged*")}, QDir::Files), QStringList());
        QVERIFY(makeRoomOnSmallFileSystem());
        QVERIFY(journal.append(cellfixtures::record(QStringLiteral("B1"), 4, setup), setup));
        QCOMPARE(journal.waitingCount().valueOr(-1), 2);
    }

    void failuresAreToldWhileTheCellGoesOn()
    {
        // A journal in a folder that cannot hold one: the counting path is
        // told why, and every record after it says so again, counted.
        Journal journal(QStringLiteral("j"));
        const Status opened = journal.open(QDir(m_folder->path()).filePath(QStringLiteral("missing/journal.sqlite")));
        QVERIFY(!opened);
        QVERIFY2(opened.errorString().contains(QLatin1String("missing")), qPrintable(opened.errorString()));

        JournalSink sink(journal);
        QSignalSpy appended(&sink, &JournalSink::appended);
        QSignalSpy notKept(&sink, &JournalSink::notKept);
        const BinSetup setup = cellfixtures::setup();
        RecordNotices notices;
        for (int n = 1; n <= 2; ++n) {
            const StoreOutcome outcome = sink.keep(cellfixtures::record(QStringLiteral("B1"), n, setup), setup);
            QVERIFY(!outcome.kept);
            QCOMPARE(outcome.store, QStringLiteral("the record journal %1")
                                            .arg(QDir::toNativeSeparators(journal.path())));
            QVERIFY(!outcome.reason.isEmpty());
            const std::optional<QString> told = notices.after({outcome});
            QVERIFY(told);
            QVERIFY2(told->startsWith(n == 1 ? QStringLiteral("The counted cell was saved nowhere: the record journal")
                                             : QStringLiteral("2 counted cells in a row were saved nowhere")),
                     qPrintable(*told));
        }
        QCOMPARE(appended.count(), 0);
        QCOMPARE(notKept.count(), 2);

        // Once the folder is there, the next record makes the journal and goes in.
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("missing")));
        const StoreOutcome kept = sink.keep(cellfixtures::record(QStringLiteral("B1"), 3, setup), setup);
        QVERIFY2(kept.kept, qPrintable(kept.reason));
        QCOMPARE(appended.count(), 1);
        QCOMPARE(journal.waitingCount().valueOr(-1), 1);
    }
};

BIN4870_TEST(TestJournal)
#include "tst_journal.moc"
