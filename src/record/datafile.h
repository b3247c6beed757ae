#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

// The data file of a session: opened for appending (created when missing),
// one record per counted cell, each record handed to the operating system
// before writeRecord returns.
class DataFile
{
public:
    // Closes any open file first. Throws AppError(errors::kFileIo) carrying the
    // system's description when the file cannot be opened.
    void open(const QString &path);
    void close();
    bool isOpen() const;

    // Appends one record. Returns false when it could not be written (no file
    // open, disk full, write error); errorString() then tells why.
    bool writeRecord(const QDateTime &timeStamp, const QString &resistanceText,
                     const QString &voltageText);
    QString errorString() const { return m_error; }

private:
    QFile m_file;
    QString m_error;
};
