#pragma once

#include "cancellation.h"
#include "occurrence_finder.h"

#include <vector>

// Starts of the seed words in `text` (`size` code units): maximal runs of at
// least `length` word characters ([A-Za-z0-9_]), in increasing order. Looks
// at `cancel` every `stride` code units, and stops early when it is.
std::vector<SourcePosition> FindSeedWordStarts(const char16_t *text, qsizetype size, int length,
                                               const Cancellation *cancel, qsizetype stride);
