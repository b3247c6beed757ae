#pragma once

#include <QString>

#include <exception>

// What kind of failure a component raised. The values are the numbers a
// message may quote; the program itself only tells the kinds apart.
enum class ErrorKind : int {
    // A failure that needs no kind of its own: its text says it all.
    Failed = 0,
    // Arithmetic overflow: a value that leaves its type's range, a counter past 32767.
    Overflow = 6,
    // An index outside an array.
    SubscriptOutOfRange = 9,
    // A disk or file system with no room left for what was to be written.
    DiskFull = 61,
    // A file or database that the program's user may read but not write.
    ReadOnly = 70,
    // File could not be opened, read or written.
    FileIo = 75,
    // The serial port could not be opened (no such device, in use, no permission).
    PortOpenFailed = 8002,
    // An operation that needs an open port was attempted on a closed one.
    PortNotOpen = 8018,
    // A serial read or write failed on an open port.
    PortIoFailed = 8020,
    // A server that does not answer at its address (down, unreachable, gone).
    Unreachable = 10060,
    // A database file that is damaged or not a database of the program.
    Damaged = 3049,
};

// What should never happen: a broken invariant, such as a caller asking for a
// table or a field that does not exist. Nothing catches it; the program ends
// with the description. Every failure that normal use can bring about is
// returned as a Result or Status (common/result.h) with one of the kinds above.
class AppError : public std::exception
{
public:
    AppError(ErrorKind kind, QString description)
        : m_kind(kind), m_description(std::move(description)), m_what(m_description.toLocal8Bit())
    {
    }

    ErrorKind kind() const noexcept { return m_kind; }
    // The kind's number, for a message that quotes it.
    int number() const noexcept { return int(m_kind); }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    ErrorKind m_kind;
    QString m_description;
    QByteArray m_what;
};
