#pragma once

#include <QString>

#include <optional>
#include <utility>

// What went wrong: a message fit to show a user (Italian), and a technical
// detail for whoever investigates.
struct Error {
    QString message;
    QString detail;
};

// The outcome of a fallible operation: either a value or an Error, never both.
// A Result cannot be mistaken for success: value() on an error is a bug.
template <typename T> class Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Error error) : m_error(std::move(error)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    T &value() & { return *m_value; }
    const T &value() const & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const Error &error() const { return m_error; }

private:
    std::optional<T> m_value;
    Error m_error;
};

// Result of an operation that produces nothing but can fail.
struct Done {};
using Status = Result<Done>;
