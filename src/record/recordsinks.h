#pragma once

#include "record/binsetup.h"
#include "record/cellrecord.h"
#include "record/recordnotices.h"

#include <QObject>
#include <QString>

class DataFile;
class Journal;

// Where a counted cell's record goes. Counting a cell hands the one record to
// every sink in turn; each says what became of it (StoreOutcome), and a sink
// that cannot keep it never stops the others. The session tells the operator
// the whole story in one notice (RecordNotices).
class RecordSink
{
public:
    virtual ~RecordSink() = default;
    // A session starts.
    virtual void beginSession() {}
    // Keeps the record, or says why not.
    virtual StoreOutcome keep(const CellRecord &record, const BinSetup &setup) = 0;
};

// The session's data file: one CSV line per cell, exactly as always.
class DataFileSink : public RecordSink
{
public:
    explicit DataFileSink(DataFile &file) : m_file(file) {}
    StoreOutcome keep(const CellRecord &record, const BinSetup &setup) override;
    // The record's cell ID goes into the line as its fifth field (off by
    // default: the line carries no ID).
    void setWriteCellIds(bool on) { m_writeCellIds = on; }

private:
    DataFile &m_file;
    bool m_writeCellIds = false;
};

// The local journal. Emits appended() after every record committed,
// notKept() after every record it could not keep, and restarted() when the
// journal was found damaged and started afresh.
class JournalSink : public QObject, public RecordSink
{
    Q_OBJECT
public:
    explicit JournalSink(Journal &journal, QObject *parent = nullptr);
    StoreOutcome keep(const CellRecord &record, const BinSetup &setup) override;

Q_SIGNALS:
    void appended();
    // The reason the journal gave.
    void notKept(const QString &reason);
    void restarted();

private:
    Journal &m_journal;
};
