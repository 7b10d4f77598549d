#pragma once

#include "cancellation.h"
#include "context_key.h"

#include <QtGlobal>

#include <vector>

// Per code unit, its rank in the source's alphabet (code-unit order, from 1),
// 0 for one the source lacks; and how many bits a rank needs.
struct SourceAlphabet {
    std::vector<ContextRank> rank;
    std::vector<char16_t> characters; // by rank; [0] unused
    int bits = 1;
};

// The alphabet of `text` (`size` code units). Looks at `cancel` every
// `stride` code units, and stops early when it is.
SourceAlphabet RankAlphabet(const char16_t *text, qsizetype size, const Cancellation *cancel,
                            qsizetype stride);
