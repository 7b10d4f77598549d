#pragma once

#include "occurrence_finder.h"
#include "work_look.h"

#include <vector>

// Starts of the seed words in `text` (`size` code units): maximal runs of at
// least `length` word characters ([A-Za-z0-9_]), in increasing order. Tells and
// asks `look` every `stride` code units, and ends early when it answers true.
std::vector<SourcePosition> FindSeedWordStarts(const char16_t *text, qsizetype size, int length,
                                               const WorkLook &look, qsizetype stride);
