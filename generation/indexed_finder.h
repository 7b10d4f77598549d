#pragma once

#include "cancellation.h"
#include "occurrence_finder.h"
#include "result.h"

#include <QString>

#include <cstddef>
#include <memory>

// The constants that shape the index, each with the reason for its value.
// Tests shrink them so that every way of building runs on a small text.
struct IndexTuning {
    // Up to this many contexts, one table counted straight from the text: it
    // stays in the cache, and two passes over the text are all the work.
    std::size_t fewContexts = 8'192;
    // The largest share of a table's slots in use: probes stay short.
    double load = 0.8;
    // Beyond fewContexts the contexts are split by hash into partitions of
    // about this many, so that a partition's counting table (16 bytes a
    // slot, some 250 KB) stays in a core's cache...
    double contextsPerPartition = 12'000;
    // ...and of about this many positions at most, so that what a thread
    // gathers of a partition (17 bytes a position) stays there too.
    double positionsPerPartition = 100'000;
    // The hash spreads contexts evenly over partitions: a partition's table
    // is planned for the mean count and this many standard deviations more
    // (a partition that holds more gets a table twice as big, and again).
    double spread = 6;
    // The census counts positions by this many high bits of their hash:
    // the most partition bits there can be (65,536 partitions).
    int countingBits = 16;
    // Keys keep this many low bits; fewer make contexts share keys (tests).
    int keyBits = 64;
    // How far ahead of its reads a partition's thread asks for the text.
    int readAhead = 16;
    // Positions between two looks at the cancellation (a few milliseconds).
    qsizetype cancellationStride = qsizetype(1) << 16;
};

// How an index was built, for tests and benchmarks to show.
struct IndexShape {
    int partitions = 0;        // 1: one table counted from the text; 0: no position
    int regrownPartitions = 0; // partitions that held more contexts than planned
    bool exactKeys = true;     // keys tell contexts apart without their text
    bool followingKept = true; // the character after each position kept beside it
};

// An OccurrenceFinder that answers from an index built once for one source
// text and context length (1..9), with exactly the positions the pattern
// search gives, in the same order. `source` must outlive the finder.
// Before it allocates the index it checks that the system can give the
// memory; it refuses with an Error naming the text's size and the order when
// it cannot, when an allocation fails anyway, or when `cancel` is cancelled
// while it builds. `shape`, when given, receives how the index was built.
Result<std::unique_ptr<OccurrenceFinder>>
MakeIndexedFinder(const QString &source, int contextLength, const Cancellation *cancel = nullptr,
                  const IndexTuning &tuning = IndexTuning(), IndexShape *shape = nullptr);
