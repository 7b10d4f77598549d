#pragma once

// What shapes the index, for the engine and the tests only: the tuning (which
// tests shrink to reach every way of building) and the fixed constants.

#include "occurrence_finder.h"
#include "result.h"
#include "work_look.h"

#include <QString>

#include <cstdint>
#include <limits>
#include <memory>

// Fixed, because a type or a table holds them:
// - a follower's rank is kept in one byte (FollowerRank): alphabets of at most
//   kMaxKeptRank characters;
// - the census counts positions per kCensusBits high bits of the hash: at most
//   2^kCensusBits partitions (the census is at most 2 x 256 KiB);
// - the distinct-context estimate has 2^14 one-byte registers (DistinctCounter);
// - group ends are 32 bits: texts of 2^31 code units or more are refused;
// - the memory check counts per position the sizes of the types allocated.
using FollowerRank = std::uint8_t;
constexpr unsigned kMaxKeptRank = std::numeric_limits<FollowerRank>::max();
constexpr int kCensusBits = 16;

struct IndexTuning {
    // Up to this many contexts, one table in the cache counted from the text.
    std::size_t fewContexts = 8'192;
    // Beyond that, partitions of about this many contexts, so that a
    // partition's counting table (16 bytes a slot) stays in a core's cache,
    double contextsPerPartition = 12'000;
    // and this many positions, so that what is read of it (17 bytes each) does.
    double positionsPerPartition = 100'000;
    // The largest share of a table's slots in use (0 to 1): probes stay short.
    double load = 0.8;
    // The hash spreads contexts evenly: a partition's table is planned for the
    // mean and this many standard deviations more (else counted again, bigger).
    double spread = 6;
    // Keys keep this many low bits (1 to 64); fewer make contexts share keys.
    int keyBits = 64;
    // How many positions ahead a partition's reads of the text are asked for.
    int readAhead = 16;
    // Positions between two looks at the cancellation, in every pass: well
    // under a millisecond, even where a write first touches memory.
    qsizetype cancellationStride = 4'096;
};

// How an index was built, for tests and benchmarks to show.
struct IndexShape {
    int partitions = 0;    // 1: one table counted from the text; 0: text no longer than a context
    int regrowths = 0;     // partitions' tables counted again, bigger (more contexts than planned)
    bool exactKeys = true; // keys tell contexts apart without their text
    bool followingKept = true;     // the character after each position kept beside it
    std::int64_t checkedBytes = 0; // what the memory check was asked for
};

// A promise of the index's own code that does not hold: a programming error,
// which ends the program in every build, naming what was broken.
inline void Ensure(bool holds, const char *what)
{
    if (!holds)
        qFatal("index: %s", what);
}

// MakeIndexedFinder with its tuning (checked), telling how it built to
// `shape`, refused once look() answers true (told and asked between strides).
Result<std::unique_ptr<OccurrenceFinder>> MakeIndexedFinder(const QString &source,
                                                            int contextLength, const WorkLook &look,
                                                            const IndexTuning &tuning,
                                                            IndexShape *shape = nullptr);
