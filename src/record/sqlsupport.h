#pragma once

#include <QString>

class QSqlError;

// What every user of Qt SQL in the record code needs the same way.

// The text of a Qt SQL error as the operator reads it: the database's own
// words when it gave some, Qt's otherwise, without trailing blanks.
QString sqlErrorText(const QSqlError &error);

// A connection name that no other connection of the process has, on any
// thread: "bin4870-<role>-<n>".
QString uniqueConnectionName(const QString &role);

// Closes the named connection, when there is one, and removes it. Every
// QSqlDatabase and QSqlQuery of it must be gone first.
void removeConnection(const QString &name);
