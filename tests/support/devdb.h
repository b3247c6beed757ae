#pragma once

// A real PostgreSQL server for a test, started and stopped by the project's
// own scripts/dev-db.sh in a temporary folder, and the records tests write to
// journals and expect in it.

#include "bintablefixture.h"

#include "bins/bintable.h"
#include "bins/setuphash.h"
#include "record/binsetup.h"
#include "record/cellrecord.h"
#include "record/centraldatabase.h"
#include "settings/centralsettings.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

class DevDatabase
{
public:
    // The server's folder: a temporary one, or `folder`, which outlives the
    // server so that a benchmark can fill it once and run again.
    explicit DevDatabase(const QString &folder = {}) : m_path(folder.isEmpty() ? m_dir.path() : folder)
    {
        // libpq finds the role's password here, as a bench finds it in ~/.pgpass.
        qputenv("PGPASSFILE", QDir(m_path).filePath(QStringLiteral("pgpass")).toLocal8Bit());
    }
    ~DevDatabase()
    {
        QSqlDatabase::removeDatabase(kCheckConnection);
        if (m_started)
            run(QStringLiteral("stop"));
    }

    bool start() { return m_started = run(QStringLiteral("start")); }
    bool stop() { return run(QStringLiteral("stop")); }
    QString folder() const { return m_path; }

    CentralSettings settings(const QString &bench = QStringLiteral("bench-1")) const
    {
        CentralSettings settings;
        settings.enabled = true;
        settings.host = m_path;
        settings.port = 5432;
        settings.database = QStringLiteral("bin4870");
        settings.user = QStringLiteral("bin4870");
        settings.bench = bench;
        settings.sslMode = QStringLiteral("disable");
        return settings;
    }

    // A query on the test's own connection; the rows of the first column, or
    // "ERROR: ..." when it fails.
    QStringList column(const QString &sql)
    {
        QSqlDatabase db = QSqlDatabase::contains(kCheckConnection)
                ? QSqlDatabase::database(kCheckConnection, false)
                : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kCheckConnection);
        if (!db.isOpen()) {
            const CentralSettings s = settings();
            db.setHostName(s.host);
            db.setPort(s.port);
            db.setDatabaseName(s.database);
            db.setUserName(s.user);
            if (!db.open())
                return {QStringLiteral("ERROR: ") + db.lastError().text()};
        }
        QSqlQuery query(db);
        if (!query.exec(sql)) {
            const QString error = QStringLiteral("ERROR: ") + query.lastError().text();
            db.close();
            return {error};
        }
        QStringList rows;
        while (query.next())
            rows << query.value(0).toString();
        return rows;
    }
    // The test's connection is closed, as a server restart would close it.
    void disconnectCheck()
    {
        if (QSqlDatabase::contains(kCheckConnection))
            QSqlDatabase::database(kCheckConnection, false).close();
    }

    static QString script() { return QStringLiteral(BIN4870_SOURCE_DIR "/scripts/dev-db.sh"); }

private:
    static constexpr const char *kCheckConnection = "devdb-check";

    bool run(const QString &action)
    {
        disconnectCheck();
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("bash"), {script(), action, m_path});
        if (!process.waitForFinished(120000) || process.exitCode() != 0) {
            std::fprintf(stderr, "dev-db.sh %s failed: %s\n", qPrintable(action), process.readAll().constData());
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_path;
    bool m_started = false;
};

// The server's tables made, as a bench's first contact makes them, and the
// cells sent as a forwarder sends them (setups: hash -> text).
inline Status sendCells(const CentralSettings &settings, const std::vector<Journal::Pending> &cells = {},
                        const std::map<QString, QString> &setups = {})
{
    central::Connection connection(settings);
    Status sent = connection.open();
    if (sent)
        sent = connection.prepareSchema();
    if (sent)
        sent = connection.send(cells, setups);
    return sent;
}

namespace cellfixtures {

// A BIN set-up of five resistance and four voltage BINs.
inline BinSetup setup(float firstLimit = 15.0f)
{
    BinTable resistance;
    resistance.numBins = 5;
    resistance.minValue = firstLimit;
    resistance.maxValue = 60;
    resistance = withLimits(resistance);
    BinTable voltage;
    voltage.numBins = 4;
    voltage.minValue = 3.0f;
    voltage.maxValue = 4.2f;
    voltage = withLimits(voltage);
    return binSetupOf(resistance, voltage);
}

// Cell n of a bench: texts and values that tell the cells apart.
inline CellRecord record(const QString &bench, int n, const BinSetup &judgedBy)
{
    CellRecord r;
    r.id = QUuid::createUuid();
    r.bench = bench;
    r.measuredAt = QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::OffsetFromUTC, 3600).addMSecs(qint64(n) * 2500);
    r.resistanceOhm = 0.015 + (n % 450) * 0.0001;
    r.voltageV = 3.0 + (n % 120) * 0.01;
    r.resistanceText = QString::number(r.resistanceOhm, 'E', 4);
    r.voltageText = QString::number(r.voltageV, 'E', 4);
    r.resistanceBin = QString::number(n % 5 + 1);
    r.voltageBin = n % 7 == 0 ? QStringLiteral("+Out") : QString::number(n % 4 + 1);
    r.setupHash = judgedBy.hash;
    r.programVersion = QStringLiteral("1.2.0");
    return r;
}

// A shift of two benches whose cells alternate, 120 in all from 08:00:00
// (+01:00), 2.5 s apart: bench-A steady about 30 mOhm, bench-B about 45,
// each cell with an ID ("A-000", "B-001", ...) but bench-A's 31st (08:02:30),
// which reads 60 mOhm and is "A-OUT".
inline std::vector<CellRecord> twoBenchShift(const BinSetup &judgedBy)
{
    std::vector<CellRecord> records;
    for (int n = 0; n < 120; ++n) {
        const bool a = n % 2 == 0;
        CellRecord r = record(a ? QStringLiteral("bench-A") : QStringLiteral("bench-B"), n, judgedBy);
        r.resistanceOhm = n == 60 ? 0.060 : (a ? 0.030 : 0.045) + (n / 2 % 3) * 0.0005;
        r.voltageV = 3.60 + (n / 2 % 4) * 0.002;
        r.cellId = n == 60 ? QStringLiteral("A-OUT")
                           : QStringLiteral("%1-%2").arg(a ? QLatin1Char('A') : QLatin1Char('B')).arg(n, 3, 10, QLatin1Char('0'));
        records.push_back(r);
    }
    return records;
}

// The bytes of a SQLite file with one table leaf page past its middle
// overwritten: its header and schema read as before, the rows counted since
// go elsewhere, and only a read of every page finds the damage. Unchanged when
// there is no such page.
inline QByteArray damagedInside(QByteArray content)
{
    constexpr char kTableLeaf = 0x0D;
    if (content.size() < 100)
        return content;
    int pageSize = (uchar(content[16]) << 8) | uchar(content[17]);
    if (pageSize == 1)
        pageSize = 65536;
    const qsizetype pages = content.size() / pageSize;
    // The last pages hold the table's newest rows, where the next ones go.
    for (qsizetype page = pages / 2; page < pages - pages / 4; ++page) {
        const qsizetype at = page * pageSize;
        if (content[at] == kTableLeaf) {
            std::fill(content.begin() + at, content.begin() + at + pageSize, char(0x5A));
            break;
        }
    }
    return content;
}

} // namespace cellfixtures
