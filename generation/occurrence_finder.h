#pragma once

#include "result.h"

#include <QStringView>

#include <cstdint>
#include <span>

// A position in the source text. The reader's size limit keeps every source
// text well below 2^31 characters.
using SourcePosition = std::int32_t;

// The one question the chain generator asks of the source text, answered by
// a pattern search (the reference) or by an index built once per run. Both
// answer with the same positions in the same (increasing) order, so the same
// random values give the same output.
//
// The returned spans stay valid until the next call on the same finder.
class OccurrenceFinder {
public:
    virtual ~OccurrenceFinder() = default;

    // Starts of the seed words: maximal runs of at least contextLength word
    // characters ([A-Za-z0-9_]) that begin at a word boundary.
    virtual Result<std::span<const SourcePosition>> seedWordStarts() = 0;

    // Positions p where `context` occurs in the source text and is followed by
    // one more character that is not LF, in increasing order; overlapping
    // occurrences all count. `context` has at most contextLength characters.
    virtual Result<std::span<const SourcePosition>> occurrences(QStringView context) = 0;

    // For the last answer of occurrences(), the character that follows each
    // position (source[position + context length]), when the finder keeps them
    // beside the positions; empty otherwise. On a big text this saves the
    // generator two random reads per step: the position and the source.
    virtual std::span<const char16_t> lastFollowing() const { return {}; }
};
