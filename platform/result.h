#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>

// What went wrong: a message fit to show a user (Italian), and a technical
// detail for whoever investigates.
struct Error {
    QString message;
    QString detail;
};

// The outcome of a fallible operation: either a value or an Error, never both.
// A Result cannot be mistaken for success, nor dropped unread (the compiler
// warns); value() on an error is a bug and ends the program with the error.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Error error) : m_error(std::move(error)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    T &value() &
    {
        checkValue();
        return *m_value;
    }
    const T &value() const &
    {
        checkValue();
        return *m_value;
    }
    T &&value() &&
    {
        checkValue();
        return std::move(*m_value);
    }
    const Error &error() const { return m_error; }

private:
    // Checked in every build: reading past a failure would go on with an
    // empty value as if the operation had succeeded.
    void checkValue() const
    {
        if (!m_value) [[unlikely]]
            qFatal("value() of a failed Result: %s (%s)", qUtf8Printable(m_error.message),
                   qUtf8Printable(m_error.detail));
    }

    std::optional<T> m_value;
    Error m_error;
};

// Result of an operation that produces nothing but can fail.
struct Done {};
using Status = Result<Done>;
