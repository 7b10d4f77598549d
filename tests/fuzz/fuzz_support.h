#pragma once

// Helpers shared by the fuzz targets: turning the fuzzer's bytes into the
// program's inputs, and stopping loudly when a property does not hold.

#include "result.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

// Reads the fuzzer's bytes front to back; running out yields zeros.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    std::uint64_t u64()
    {
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value = value << 8 | byte();
        return value;
    }

    // The rest, one character per byte from `alphabet`: few distinct
    // characters, so contexts repeat the way they do in real prose.
    QString alphabetRest(const QString &alphabet, qsizetype maxUnits)
    {
        QString text;
        while (m_pos < m_size && text.size() < maxUnits)
            text.append(alphabet[m_data[m_pos++] % alphabet.size()]);
        m_pos = m_size;
        return text;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

[[noreturn]] inline void FuzzFailure(const char *what, const QString &detail)
{
    std::fprintf(stderr, "property violated: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

// `detail` is a QString, or a function that makes one only when the property
// does not hold: a check made thousands of times per input then costs no text.
template <typename Detail = QString>
inline void Require(bool condition, const char *what, Detail &&detail = Detail())
{
    if (condition)
        return;
    if constexpr (std::is_invocable_v<Detail>)
        FuzzFailure(what, detail());
    else
        FuzzFailure(what, detail);
}

// The value of a Result; an error of the engine on a fuzz-sized input is a
// fault, never something to skip.
template <typename T> T Unwrap(Result<T> result, const char *what)
{
    if (!result)
        FuzzFailure(what, result.error().message + QStringLiteral(" | ") + result.error().detail);
    return std::move(result).value();
}

// Code units as hex, to read a failing text in the report.
inline QString Dump(const QString &text)
{
    QString out;
    for (QChar c : text)
        out += QString::number(c.unicode(), 16) + u' ';
    return out;
}
