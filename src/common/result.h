#pragma once

#include "common/apperror.h"

#include <QString>

#include <optional>
#include <utility>

// How the logic libraries report a failure that can be expected in normal use
// (a port that cannot open or vanished, a file that cannot be written, a
// value out of range, a database that is down): as a value the caller must
// look at, never as an exception. Exceptions (AppError) are left for what
// should never happen.
//
//   Result<Reading> r = parse(line);
//   if (!r)
//       return Failure{r.failure()};     // or show r.errorString()
//   use(*r);
//
// Status (Result<void>) is for an operation that gives nothing back but may
// fail. A class whose object keeps a state (a port, a journal) may also say
// why its last call failed through errorString(), as Qt's classes do; the
// call itself still returns a Result or a Status.

// What went wrong: its kind, for the callers that tell kinds apart, and a
// text written for the person who reads it, complete without the kind.
struct Failure
{
    ErrorKind kind = ErrorKind::Failed;
    QString text;

    Failure(QString text) : text(std::move(text)) {}
    Failure(ErrorKind kind, QString text) : kind(kind), text(std::move(text)) {}
};

template <typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_failure(std::move(failure)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    // The value; only when ok().
    const T &value() const & { return *m_value; }
    T &value() & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const T &operator*() const & { return *m_value; }
    T &operator*() & { return *m_value; }
    const T *operator->() const { return &*m_value; }
    T *operator->() { return &*m_value; }
    // The value, or fallback when it failed.
    T valueOr(T fallback) const { return m_value ? *m_value : std::move(fallback); }

    // Why it failed; only when !ok().
    const Failure &failure() const { return *m_failure; }
    ErrorKind kind() const { return m_failure ? m_failure->kind : ErrorKind::Failed; }
    // The failure's text; empty when it succeeded.
    QString errorString() const { return m_failure ? m_failure->text : QString(); }

private:
    std::optional<T> m_value;
    std::optional<Failure> m_failure;
};

template <>
class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure) : m_failure(std::move(failure)) {}

    bool ok() const { return !m_failure.has_value(); }
    explicit operator bool() const { return ok(); }

    const Failure &failure() const { return *m_failure; }
    ErrorKind kind() const { return m_failure ? m_failure->kind : ErrorKind::Failed; }
    QString errorString() const { return m_failure ? m_failure->text : QString(); }

private:
    std::optional<Failure> m_failure;
};

using Status = Result<void>;
