#pragma once

#include "cancellation.h"
#include "occurrence_finder.h"
#include "result.h"

#include <QString>

#include <memory>

// An OccurrenceFinder that answers from an index built once for one source
// text and context length (1..9), with exactly the positions the pattern
// search gives, in the same order. `source` must outlive the finder.
// Before it allocates the index it checks that the system can give the
// memory; it refuses with an Error naming the text's size and the order when
// it cannot, when an allocation fails anyway, or when `cancel` is cancelled
// while it builds (every few million positions it looks).
Result<std::unique_ptr<OccurrenceFinder>>
MakeIndexedFinder(const QString &source, int contextLength, const Cancellation *cancel = nullptr);
