#pragma once

#include "record/binsetup.h"
#include "record/cellrecord.h"
#include "record/recordnotices.h"

#include <QObject>
#include <QString>

#include <optional>

class DataFile;
class Journal;

// Where a counted cell's record goes. Counting a cell hands the one record to
// every sink in turn; a sink that cannot keep it says so in a notice for the
// operator and never stops the others.
class RecordSink
{
public:
    virtual ~RecordSink() = default;
    // A session starts: earlier failures are forgotten.
    virtual void beginSession() {}
    // Keeps the record; the notice to tell the operator, or nothing when all
    // went as it should.
    virtual std::optional<QString> keep(const CellRecord &record, const BinSetup &setup) = 0;
};

// The session's data file: one CSV line per cell, exactly as always, with the
// notices of RecordNotices.
class DataFileSink : public RecordSink
{
public:
    explicit DataFileSink(DataFile &file) : m_file(file) {}
    void beginSession() override { m_notices.reset(); }
    std::optional<QString> keep(const CellRecord &record, const BinSetup &setup) override;
    // The record's cell ID goes into the line as its fifth field (off by
    // default: the line carries no ID).
    void setWriteCellIds(bool on) { m_writeCellIds = on; }

private:
    DataFile &m_file;
    RecordNotices m_notices;
    bool m_writeCellIds = false;
};

// The local journal. Emits appended() after every record committed, and
// restarted() when the journal was found damaged and started afresh.
class JournalSink : public QObject, public RecordSink
{
    Q_OBJECT
public:
    explicit JournalSink(Journal &journal, QObject *parent = nullptr);
    void beginSession() override;
    std::optional<QString> keep(const CellRecord &record, const BinSetup &setup) override;

    // "The counted cell was not saved in the record journal <path> (<reason>).
    // It is in the data file." or, for cells > 1, "<cells> counted cells in a row ...".
    static QString notSavedText(const QString &path, const QString &reason, int cells);

Q_SIGNALS:
    void appended();
    void restarted();

private:
    Journal &m_journal;
    QString m_lastReason;
    int m_failuresInRow = 0;
};
