#pragma once

#include "occurrence_finder.h"
#include "result.h"

#include <QString>

#include <memory>

// An OccurrenceFinder that answers from an index built once for one source
// text and context length, with exactly the positions the pattern search
// gives, in the same order. `source` must outlive the finder.
// contextLength is 0..9; at 0 (order 1 draws without a finder) nothing is
// indexed and every question is an Error.
Result<std::unique_ptr<OccurrenceFinder>> MakeIndexedFinder(const QString &source,
                                                            int contextLength);
