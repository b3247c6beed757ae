#pragma once

#include "common/result.h"
#include "record/centralconnection.h"
#include "record/recordsource.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// Record sources kept in databases: the bench's journal (SQLite) and the
// line's central database (PostgreSQL). Each pass opens its own connection on
// the thread that runs it, named after the source and that thread, and closes
// it at the end, so a source may be read on a worker thread while another
// thread holds it. load() learns the benches once; a bench that records its
// first cell after that is left out of the source's passes until the next
// load.
//
// Times: the journal keeps each cell's time with the bench's own UTC offset,
// and its wall-clock part is the record's stamp, as in the data file. The
// central database keeps instants; they are read and filtered in this
// computer's time zone.

// journal.sqlite, read only.
class JournalSource : public RecordSource
{
public:
    explicit JournalSource(QString path);

    // Reads the bench names; fails with the reason when the journal cannot be read.
    Status load();

    QString description() const override;
    QStringList benches() const override { return m_benches; }
    Status read(const RecordFilter &filter, const RecordVisitor &visit) override;
    Result<std::vector<SetupInForce>> setups(const RecordFilter &filter) override;
    Result<std::map<qint64, RecordDetail>> details(const std::vector<qint64> &places) override;

private:
    QString m_path;
    QStringList m_benches;
};

class CentralSource : public RecordSource
{
public:
    explicit CentralSource(CentralSettings settings);

    // Reads the bench names; fails with the reason when the server cannot be read.
    Status load();

    QString description() const override;
    QStringList benches() const override { return m_benches; }
    Status read(const RecordFilter &filter, const RecordVisitor &visit) override;
    Status readValues(const RecordFilter &filter, const RecordVisitor &visit) override;
    Result<std::vector<SetupInForce>> setups(const RecordFilter &filter) override;
    Result<std::map<qint64, RecordDetail>> details(const std::vector<qint64> &places) override;

    const CentralSettings &settings() const { return m_settings; }

private:
    Status pass(const RecordFilter &filter, bool valuesOnly, const RecordVisitor &visit);

    CentralSettings m_settings;
    QStringList m_benches;
};

// One row of the line view for a bench's channel, summed up by the server:
// cells, cells counted in a BIN of both tables (by the BINs recorded), the
// first and the last record's time, and per quantity (0 resistance in mOhm,
// 1 voltage in V) the mean and the sum of the moving ranges in the channel's
// order.
struct LineRow
{
    QString bench;
    int channel = 1;
    qint64 cells = 0;
    qint64 inBins = 0;
    qint64 firstStamp = 0;
    qint64 lastStamp = 0;
    std::array<double, 2> mean{};
    std::array<double, 2> movingRangeSum{};
    // The bench had no name set: it is a machine's host name (the server's
    // benches table says so).
    bool unnamed = false;
};

// The line view of the central database over the filter (one bench or all),
// in bench-name and channel order: one GROUP BY on the server, whatever the
// number of cells. Fails with a plain reason when the server cannot be read.
Result<std::vector<LineRow>> readLineView(const CentralSettings &settings, const RecordFilter &filter);
