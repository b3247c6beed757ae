#pragma once

#include "record/cellrecord.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>
#include <vector>

class QSqlQuery;
class QSqlRecord;

// The two databases that keep a cells table: the bench's journal (SQLite) and
// the line's central database (PostgreSQL).
enum class CellStore { Journal, Central };

// One column of the cells table, for both stores. Every statement that names
// the columns (the CREATE, the upgrade steps, the INSERT, the SELECT) is made
// from the list of them, and readers take a column by its name.
//
// A new column is one entry at the end of the list (a store's columns keep
// the order in which its upgrades added them), with the journal format and
// the central additions level that bring it; raising Journal::kFormat and
// central::kSchemaAdditions to those levels makes the upgrade steps add it
// to older tables.
struct CellColumn
{
    const char *name;
    // Its type and constraints in the journal; nullptr when the journal has
    // no such column.
    const char *journalType;
    // The journal format that brought it (1: the journal's first).
    int journalFormat;
    // Its type and constraints on the server; nullptr when the server has no
    // such column.
    const char *centralType;
    // The server's additions level that brought it (0: schema version 1).
    int centralAdditions;
    // The server's type of one value: the element type of the array a batch
    // sends it in, and the type of the NULL that tables older than the column
    // read as.
    const char *centralElement;
    // What a SELECT on the server reads under the column's name instead of
    // the column itself; nullptr for the column.
    const char *centralRead;
    // What the server's tables from before the column read as; nullptr for NULL.
    const char *centralBefore;
    // The value a record gives it; nullptr for a column the store fills itself
    // (seq, sent, arrival).
    QVariant (*value)(const CellRecord &record);
    // Puts a value read from either store into the record.
    void (*fill)(CellRecord &record, const QVariant &value);

    bool in(CellStore store) const { return (store == CellStore::Journal ? journalType : centralType) != nullptr; }
    int level(CellStore store) const { return store == CellStore::Journal ? journalFormat : centralAdditions; }
};

namespace cellcolumns {

// Every column of either store.
const std::vector<CellColumn> &all();

// The store's columns that its tables have at `level` (a journal format, a
// central additions level), in table order.
std::vector<const CellColumn *> of(CellStore store, int level);

// The store's first level: the journal's format 1, the server's schema 1.
int firstLevel(CellStore store);

// CREATE TABLE cells with the columns of the store's first level.
QString createTable(CellStore store);
// The statements that add the columns `level` brought to the store's table.
QStringList addColumns(CellStore store, int level);

// The journal's INSERT of one record, its values bound by bindJournal().
QString journalInsert();
void bindJournal(QSqlQuery &query, const CellRecord &record);

// The server's INSERT of a whole batch: one array per column, unnested in the
// batch's order, and a record the server holds already left as it is; the
// same statement for every batch. centralArrays() gives its bound values.
QString centralInsert();
QVariantList centralArrays(const std::vector<const CellRecord *> &records);

// The columns a record is read from, for "SELECT <list> FROM cells", on a
// table of `level`; a column the level does not have yet reads as NULL (the
// server's as its centralBefore).
QString selectList(CellStore store, int level);

// Reads records from a query's rows by column name. The names are looked up
// once, in the query's record after it ran.
class CellReader
{
public:
    explicit CellReader(const QSqlRecord &columns);
    CellRecord read(const QSqlQuery &row) const;

private:
    std::vector<std::pair<const CellColumn *, int>> m_columns;
};

} // namespace cellcolumns
