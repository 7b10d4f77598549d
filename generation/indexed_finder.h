#pragma once

#include "cancellation.h"
#include "occurrence_finder.h"
#include "result.h"

#include <QString>

#include <cstddef>
#include <memory>

// What shapes the index, each value with its reason. Tests shrink it so
// that every way of building runs on a small text.
struct IndexTuning {
    // Up to this many contexts, one table in the cache counted from the text.
    std::size_t fewContexts = 8'192;
    // Beyond that, partitions of about this many contexts, so that a
    // partition's counting table (16 bytes a slot) stays in a core's cache,
    double contextsPerPartition = 12'000;
    // and this many positions, so that what is read of it (17 bytes each) does.
    double positionsPerPartition = 100'000;
    // The largest share of a table's slots in use: probes stay short.
    double load = 0.8;
    // The hash spreads contexts evenly: a partition's table is planned for the
    // mean and this many standard deviations more (else counted again, bigger).
    double spread = 6;
    // Keys keep this many low bits; fewer make contexts share keys (tests).
    int keyBits = 64;
    // How many positions ahead a partition's reads of the text are asked for.
    int readAhead = 16;
    // Positions between two looks at the cancellation: well under a
    // millisecond, even where a write first touches memory and waits for it.
    qsizetype cancellationStride = 4'096;
};

// How an index was built, for tests and benchmarks to show.
struct IndexShape {
    int partitions = 0;    // 1: one table counted from the text; 0: text no longer than a context
    int regrowths = 0;     // partitions' tables counted again, bigger (more contexts than planned)
    bool exactKeys = true; // keys tell contexts apart without their text
    bool followingKept = true; // the character after each position kept beside it
};

// An OccurrenceFinder answering from an index built once for one source text
// and context length (1..9), with exactly the pattern search's positions, in
// its order; `source` must outlive it. Refuses when the memory is short (checked
// before the big arrays are allocated; the Error names the text's size and the
// order) and when `cancel` is cancelled. `shape`, when given, receives how it was built.
Result<std::unique_ptr<OccurrenceFinder>>
MakeIndexedFinder(const QString &source, int contextLength, const Cancellation *cancel = nullptr,
                  const IndexTuning &tuning = IndexTuning(), IndexShape *shape = nullptr);
