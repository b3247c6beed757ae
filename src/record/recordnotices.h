#pragma once

#include <QString>

#include <optional>
#include <vector>

// What became of a counted cell's record in one of the stores that keep it
// (the data file, the journal).
struct StoreOutcome
{
    // The store as the operator knows it: "the data file <path>".
    QString store;
    bool kept = true;
    // Why it was not kept: the system's or the database's words.
    QString reason;
    // News of the store itself, told whether or not the record was kept (a
    // data file opened afresh, a journal moved aside); empty for none.
    QString news;
    // Where else a record missing from this store is missing as a
    // consequence ("the central record"); empty for nowhere.
    QString alsoMissingFrom;
};

// What the operator is told about the records of a session: one notice per
// counted cell that tells one story, which stores have the cell and which do
// not, naming each file and the reason it failed. A run of identical failures
// is told as one notice whose count grows ("3 counted cells in a row were
// not saved ..."), meant to replace the previous one on screen rather than
// stack up. A store's news comes first.
class RecordNotices
{
public:
    // A new session: nothing failed yet.
    void reset();

    // The notice after a counted cell was handed to every store, in the
    // order they were given it, or nothing when each kept it and had no news.
    std::optional<QString> after(const std::vector<StoreOutcome> &outcomes);

    // The run of identical failures that the last notice counted (0 after a
    // record that every store kept).
    int failuresInRow() const { return m_failuresInRow; }

    // True when no store kept the record (and there was one to keep it).
    static bool keptNowhere(const std::vector<StoreOutcome> &outcomes);

private:
    QString m_lastFailures;
    int m_failuresInRow = 0;
};

// "<store> could not be written (<reason>)".
QString notWrittenText(const StoreOutcome &outcome);

// The data file was found deleted or replaced and was opened afresh.
QString dataFileReplacedText(const QString &path);
