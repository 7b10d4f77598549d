#pragma once

#include "context_table.h"
#include "indexed_finder.h"
#include "large_array.h"
#include "source_alphabet.h"

#include <QString>

#include <array>
#include <atomic>
#include <vector>

// The index of one source text for one context length L: every position
// whose context (the L characters from it) is followed by a character other
// than LF, grouped by context, increasing inside each group, in one array;
// beside each, when the alphabet has at most 255 characters, the rank of the
// character that follows it (one read per draw instead of two).
//
// A lookup, and what every way of building guarantees it: the context's key
// (context_key.h) is mixed into a hash whose high bits choose a partition,
// and whose bits below a home slot in the partition's KeptTable. Each
// context of the partition has a slot of its own, reached from its home slot,
// wrapping round, before any empty slot; it holds TagOf its hash and the end
// of its group of positions, which begins where the previous slot's ends. A
// slot with the right tag is the context's exactly when the text at its
// group's first position holds the context: contexts share tags and keys,
// never texts.
//
// Two ways of building lead there, dealing the first half of the text side by
// side with the second, whose positions go after the first's in each group:
// one table, for up to IndexTuning::fewContexts contexts (a pass counts them
// in one CountingTable, a second deals each position out to its group); or
// partitions (a census pass counts the positions of each and estimates the
// contexts, a second deals each position out to its partition's stretch, then
// two threads count each partition's contexts and reorder its stretch stably).
class ContextIndex final : public OccurrenceFinder {
public:
    // Ranks the alphabet and finds the seed words; `build` gives up when
    // `cancel` stopped them early.
    ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning,
                 const Cancellation *cancel);

    // Refuses when the memory is short or `cancel` is cancelled; throws
    // std::bad_alloc when an allocation fails after the memory check.
    Status build(const Cancellation *cancel);
    IndexShape shape() const
    {
        return {int(m_tables.size()), m_regrown, m_keys.exact(), bool(m_following)};
    }

    Result<std::span<const SourcePosition>> seedWordStarts() override;
    Result<Occurrences> occurrences(QStringView context) override;

private:
    enum class Outcome { Built, Cancelled, DoesNotSuit };
    using Places = std::array<std::vector<std::uint32_t>, 2>; // per half of the text

    Result<Outcome> buildOneTable(const Cancellation *cancel);
    Result<Outcome> buildPartitions(const Cancellation *cancel);
    // Indexes unclaimed partitions (stretches ending at `ends`, planned for
    // `planned` contexts) until none is left, in tables of this thread's own
    // that the cache keeps from one partition to the next. False when cancelled.
    bool indexPartitions(const std::vector<std::uint32_t> &ends, size_t planned,
                         std::atomic<int> &unclaimed, const Cancellation *cancel);
    // Checks that the positions and `otherBytes` more fit, then allocates them.
    Status allocatePositions(qsizetype positions, std::int64_t otherBytes);

    // visit(p, key, hash) for each position p of the first (0) or second (1)
    // half of the text that the index holds, in order, until visit returns
    // false. False then, or when cancelled.
    template <typename Visit>
    bool forEachContext(int half, const Cancellation *cancel, Visit visit) const;
    // forEachContext for both halves side by side, visiting with visit(half).
    template <typename Visit>
    bool forEachContextInHalves(const Cancellation *cancel, Visit visit) const;
    // Puts each position p (and its follower's rank) at
    // next[half][classify(p, key, hash)]++. False when cancelled.
    template <typename Classify>
    bool dealOut(Places &next, const Cancellation *cancel, Classify classify);
    std::uint64_t keyAt(const char16_t *context) const
    {
        std::uint64_t rolling = 0;
        for (int i = 0; i < m_length; ++i)
            rolling = m_keys.in(rolling, m_alphabet.rank[context[i]]);
        return m_keys.key(rolling);
    }
    std::uint8_t followingRank(qsizetype p) const
    {
        return std::uint8_t(m_alphabet.rank[m_text[p + m_length]]); // kept up to 255 ranks
    }

    const QString &m_source;
    const char16_t *const m_text;
    const int m_length;
    const IndexTuning m_tuning;
    const SourceAlphabet m_alphabet;
    const ContextKeys m_keys;
    const std::vector<SourcePosition> m_seedWordStarts;

    int m_partitionBits = 0;         // 0 for the one table, whose home slots use it too
    std::atomic<int> m_regrown{0};   // partitions' tables counted again, bigger
    std::vector<KeptTable> m_tables; // one per partition
    LargeArray<SourcePosition> m_positions;
    LargeArray<std::uint8_t> m_following; // ranks, beside m_positions, or nothing
};
