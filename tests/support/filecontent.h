#pragma once

// Whole-file reads and writes for tests that set up or inspect real files.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

// The file's bytes; empty when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces the file's contents; false when it cannot be written whole.
inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// A folder's entries without the record journal (journal.sqlite and its -wal
// and -shm files), which every window keeps in the program's folder.
inline QStringList withoutJournal(QStringList entries)
{
    entries.removeIf([](const QString &name) { return name.startsWith(QLatin1String("journal.sqlite")); });
    return entries;
}
