#pragma once

#include "result.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <span>

// A position in the source text. The reader's size limit keeps every source
// text well below 2^31 characters.
using SourcePosition = std::int32_t;

// The answer to one question about a context: the positions where it occurs,
// in increasing order, each with the character that follows it there. Valid
// until the next question to the same finder, and while the source lives.
class Occurrences {
public:
    Occurrences() = default;
    // The following characters read from the source text.
    Occurrences(std::span<const SourcePosition> positions, const char16_t *source,
                qsizetype contextLength)
        : m_positions(positions), m_following(source + contextLength)
    {
    }
    // The following characters kept beside the positions, as ranks in
    // `alphabet` (one byte each): one read instead of two per draw.
    Occurrences(std::span<const SourcePosition> positions, const std::uint8_t *followingRanks,
                const char16_t *alphabet)
        : m_positions(positions), m_followingRanks(followingRanks), m_alphabet(alphabet)
    {
    }

    bool empty() const { return m_positions.empty(); }
    size_t size() const { return m_positions.size(); }
    auto begin() const { return m_positions.begin(); } // the positions, in order
    auto end() const { return m_positions.end(); }
    // The character after the i-th occurrence: source[position + context length].
    char16_t following(size_t i) const
    {
        return m_followingRanks ? m_alphabet[m_followingRanks[i]] : m_following[m_positions[i]];
    }

private:
    std::span<const SourcePosition> m_positions;
    const char16_t *m_following = nullptr;
    const std::uint8_t *m_followingRanks = nullptr;
    const char16_t *m_alphabet = nullptr;
};

// A question the generator never asks, or a finder it never gets: a fault
// of the program, not of the text.
inline Error InternalGeneratorError(const QString &detail)
{
    return Error{QStringLiteral("Errore interno del generatore di testo"), detail};
}

// The one question the chain generator asks of the source text, answered by
// a pattern search (the reference) or by an index built once per run. Both
// answer with the same positions in the same (increasing) order, so the same
// random values give the same output. A finder serves context lengths 1..9;
// order 1 draws without one.
//
// The returned spans stay valid until the next call on the same finder.
class OccurrenceFinder {
public:
    virtual ~OccurrenceFinder() = default;

    // Starts of the seed words: maximal runs of at least contextLength word
    // characters ([A-Za-z0-9_]) that begin at a word boundary.
    virtual Result<std::span<const SourcePosition>> seedWordStarts() = 0;

    // Where `context` occurs in the source text followed by one more
    // character that is not LF; overlapping occurrences all count. `context`
    // has contextLength characters, or is the whole source when the source
    // is no longer than that.
    virtual Result<Occurrences> occurrences(QStringView context) = 0;
};
