#pragma once

#include "common/result.h"
#include "platform/regularfile.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <optional>

// A record that was written.
struct RecordWritten
{
    // The file at the path had been deleted or replaced since it was opened:
    // the path was opened afresh (created when missing) for this record and
    // the ones after it.
    bool reopened = false;
};

// The data file of a session: opened for appending (created when missing),
// one record per counted cell, each record handed to the operating system
// before writeRecord returns. Only a regular file is ever opened: a named pipe,
// a device, a socket or a folder at the path is refused without waiting.
class DataFile
{
public:
    // Closes any open file first. Fails (ErrorKind::FileIo) with a text that
    // names the path and gives the reason when the file cannot be opened or is
    // not a regular file.
    Status open(const QString &path);
    void close();
    bool isOpen() const;

    // Appends one record to the file that is at the path now. When the open file
    // is no longer the one at its path (deleted, or another file moved there),
    // the path is opened afresh and the record goes there; when that fails the
    // record is not written and the next record tries again. A record not
    // written fails with the system's reason (ErrorKind::FileIo).
    // cellId and testerWord: the further fields of recordLine(), when given.
    Result<RecordWritten> writeRecord(const QDateTime &timeStamp, const QString &resistanceText,
                                      const QString &voltageText, const QString &cellId = {},
                                      const QString &testerWord = {});
    // The path records go to, as the operator typed it (native separators);
    // empty after close() and after an open that failed.
    QString path() const;
    // Why the last open or record failed.
    QString errorString() const { return m_error; }

private:
    // Opens m_path; on failure m_error holds the reason, the file stays closed.
    bool openPath();
    // True when the path now leads to another file than the open one, or nowhere.
    bool replacedAtPath() const;

    QFile m_file;
    QString m_path;
    std::optional<regularfile::Identity> m_identity;
    QString m_error;
};
