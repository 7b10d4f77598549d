#pragma once

#include "cancellation.h"
#include "occurrence_finder.h"
#include "result.h"

#include <QString>

#include <memory>

// An OccurrenceFinder answering from an index built once for one source text
// and context length (1..9), with exactly the pattern search's positions, in
// its order; `source` must outlive it. Refuses when the memory is short (checked
// before the big arrays are allocated; the Error names the text's size and the
// order) and when `cancel` is cancelled, which it tells of IndexWork(source)
// units as it builds.
Result<std::unique_ptr<OccurrenceFinder>>
MakeIndexedFinder(const QString &source, int contextLength, Cancellation *cancel = nullptr);
qint64 IndexWork(const QString &source);
