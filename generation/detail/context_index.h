#pragma once

#include "context_table.h"
#include "indexed_finder.h"
#include "large_array.h"
#include "source_alphabet.h"

#include <QString>

#include <array>
#include <atomic>
#include <vector>

// The index of one source text for one context length L: every position p
// whose context (the L characters from p) is followed by a character other
// than LF, grouped by context, increasing inside each group, in one array;
// beside each, when the alphabet has at most 255 characters, the rank of the
// character that follows it.
//
// A lookup, and what every way of building guarantees it:
// - the context's key (context_key.h) is mixed into a hash whose high bits
//   choose a partition, and the bits below a home slot in the partition's
//   KeptTable (PartitionOf, HomeSlot);
// - each context of the partition has a slot of its own, reached from its
//   home slot, wrapping round, before any empty slot (tag 0);
// - a taken slot's tag is TagOf its hash; its group, from the end of the
//   previous slot's to its own end, holds one or more positions, all of
//   its context;
// - a slot with the right tag is the context's exactly when the text at its
//   group's first position holds all L characters: tags and keys may be
//   shared by several contexts, texts may not; or, in a table that keeps
//   exact keys, when its key is the context's.
//
// Two ways of building lead there:
// - one table: a pass over the text counts the contexts in one
//   CountingTable, giving up beyond IndexTuning::fewContexts of them; a
//   second pass deals each position out to its group.
// - partitions: a census pass counts the positions of each partition and
//   estimates the distinct contexts; a pass deals each position out to its
//   partition's stretch; then threads take the partitions one at a time:
//   read the keys from the text, count them in a table of their own and
//   reorder the stretch by group.
// Passes over the text give half of it to each of two threads.
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
        return {int(m_tables.size()), m_regrownPartitions, m_keys.exact(), m_keepFollowing};
    }

    Result<std::span<const SourcePosition>> seedWordStarts() override;
    Result<Occurrences> occurrences(QStringView context) override;

private:
    enum class Outcome { Built, Cancelled, DoesNotSuit };

    Result<Outcome> buildOneTable(const Cancellation *cancel);
    Result<Outcome> buildPartitions(const Cancellation *cancel);
    // Indexes unclaimed partitions (the stretches that end at `ends`, tables
    // planned for `planned` contexts) until none is left; false when cancelled.
    bool indexPartitions(const std::vector<std::uint32_t> &ends, size_t planned,
                         std::atomic<int> &unclaimed, std::atomic<int> &regrown,
                         const Cancellation *cancel);
    Status allocatePositions(qsizetype positions, std::int64_t otherBytes);

    // visit(p, key, hash) for each position p of the first (0) or second (1)
    // half of the text whose context is followed by something other than
    // LF, in order, until visit returns false. False then, or when cancelled.
    template <typename Visit>
    bool forEachContext(int half, const Cancellation *cancel, Visit visit) const;
    // forEachContext for both halves side by side, visiting with visit(half).
    template <typename Visit>
    bool forEachContextInHalves(const Cancellation *cancel, Visit visit) const;
    // Puts each position p (and its follower if asked) at
    // next[half][classify(p, key, hash)]++, by the half of the text p lies
    // in. False when cancelled.
    template <typename Classify>
    bool dealOut(std::array<std::vector<std::uint32_t>, 2> &next, bool withFollowing,
                 const Cancellation *cancel, Classify classify);
    std::uint64_t keyAt(const char16_t *context) const
    {
        std::uint64_t rolling = 0;
        for (int i = 0; i < m_length; ++i)
            rolling = m_keys.in(rolling, m_alphabet.rank[context[i]]);
        return m_keys.key(rolling);
    }
    std::uint8_t followingRank(qsizetype p) const
    {
        return std::uint8_t(m_alphabet.rank[m_text[p + m_length]]);
    }
    Occurrences lookUp(const char16_t *context) const;

    const QString &m_source;
    const char16_t *const m_text;
    const int m_length;
    const IndexTuning m_tuning;
    const SourceAlphabet m_alphabet;
    const ContextKeys m_keys;
    const bool m_keepFollowing;
    const std::vector<SourcePosition> m_seedWordStarts;

    int m_partitionBits = 0;
    int m_regrownPartitions = 0;
    std::vector<KeptTable> m_tables; // one per partition
    LargeArray<SourcePosition> m_positions;
    LargeArray<std::uint8_t> m_following; // ranks, beside m_positions
};
