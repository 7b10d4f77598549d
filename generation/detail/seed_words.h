#pragma once

#include "occurrence_finder.h"

#include <vector>

// Starts of the seed words in `text` (`size` code units): maximal runs of at
// least `length` word characters ([A-Za-z0-9_]), in increasing order.
std::vector<SourcePosition> FindSeedWordStarts(const char16_t *text, qsizetype size, int length);
