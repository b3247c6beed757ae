#pragma once

#include <QString>

#include <exception>

// A failure raised by one of the program's components: a number and the
// component's own description. Handlers that trap failures (START, the
// measurement tick, loading and saving the settings) catch this type.
class AppError : public std::exception
{
public:
    AppError(int number, QString description)
        : m_number(number), m_description(std::move(description)),
          m_what(m_description.toLocal8Bit())
    {
    }

    int number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

namespace errors {
// Arithmetic overflow: a value that leaves its type's range, a counter past 32767.
constexpr int kOverflow = 6;
// An index outside an array.
constexpr int kSubscriptOutOfRange = 9;
// File could not be opened, read or written.
constexpr int kFileIo = 75;
// The serial port could not be opened (no such device, in use, no permission).
constexpr int kPortOpenFailed = 8002;
// A serial read or write failed on an open port.
constexpr int kPortIoFailed = 8020;
// An operation that needs an open port was attempted on a closed one.
constexpr int kPortNotOpen = 8018;
} // namespace errors
