#pragma once

#include "context_table.h"
#include "indexed_finder.h"
#include "large_array.h"
#include "source_alphabet.h"

#include <QString>

#include <array>
#include <vector>

// The index of one source text for one context length L: every position p
// whose context (the L characters from p) is followed by a character other
// than LF, grouped by context, in increasing order inside each group, in
// one array of positions; beside each, when the alphabet has at most 255
// characters, the rank of the character that follows it.
//
// A lookup, and what every way of building guarantees it:
// - the context's key (context_key.h) is mixed into a 64-bit hash; its
//   partitionBits high bits choose a partition, the bits below choose the
//   home slot in that partition's KeptTable (PartitionOf, HomeSlot);
// - every context of the partition sits in the first slot from its home
//   slot on (wrapping round) that no context before it took, so the slots
//   from the home slot up to the first empty one (tag 0) hold it if
//   anything does;
// - a taken slot's tag is TagOf its hash, and its group (from where the
//   previous slot's group ends up to its own end) holds at least one
//   position, all with the slot's context;
// - a slot with the right tag holds the context asked about exactly when
//   the text at its group's first position holds all L characters of it:
//   tags and keys may be shared, texts may not.
//
// Two ways of building, both ending in that state:
// - one table: a pass over the text counts the contexts into one
//   CountingTable that stays in the cache, giving up when the contexts are
//   more than IndexTuning::fewContexts; a second pass, split between two
//   threads, puts each position in its group.
// - partitions: a census pass counts the positions of every partition and
//   estimates the distinct contexts; a dealing pass puts each position in
//   its partition's stretch of the array, in increasing order; then two
//   threads take the partitions one at a time, and for each read the keys
//   from the text, count them in a table of their own and reorder the
//   stretch by group. Both passes take half the text per thread.
class ContextIndex final : public OccurrenceFinder {
public:
    ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning);

    // Refuses when the memory is short or `cancel` is cancelled; throws
    // std::bad_alloc when an allocation fails after the memory check.
    Status build(const Cancellation *cancel);
    IndexShape shape() const { return m_shape; }

    Result<std::span<const SourcePosition>> seedWordStarts() override;
    Result<Occurrences> occurrences(QStringView context) override;

private:
    enum class Outcome { Built, Cancelled, DoesNotSuit };
    struct PartitionWork;

    Result<Outcome> buildOneTable(const Cancellation *cancel);
    Result<Outcome> buildPartitions(const Cancellation *cancel);
    // Indexes unclaimed partitions until none is left; false when cancelled.
    bool indexPartitions(PartitionWork &work, const Cancellation *cancel);
    Status allocatePositions(qsizetype positions, std::int64_t otherBytes);

    // Calls visit(p, key, hash) for every position p of the first (0) or
    // second (1) half of the text whose context is followed by a character
    // other than LF, in increasing order, until visit returns false. False
    // when it did, or when cancelled.
    template <typename Visit>
    bool forEachContext(int half, const Cancellation *cancel, Visit visit) const;
    // forEachContext for both halves side by side, visiting with visit(half).
    template <typename Visit>
    bool forEachContextInHalves(const Cancellation *cancel, Visit visit) const;
    // Puts each position, with its follower, at next[half][class]++, where
    // `half` is the half of the text it lies in and `class` what
    // classify(p, key, hash) gives: group starts, each half's after the
    // first's. False when cancelled.
    template <typename Classify>
    bool dealOut(std::array<std::vector<std::uint32_t>, 2> &next, const Cancellation *cancel,
                 Classify classify);
    std::uint64_t keyAt(const char16_t *context) const;
    Occurrences lookUp(const char16_t *context) const;

    const QString &m_source;
    const char16_t *const m_text;
    const int m_length;
    const IndexTuning m_tuning;
    const SourceAlphabet m_alphabet;
    const ContextKeys m_keys;
    const bool m_keepFollowing;
    const std::vector<SourcePosition> m_seedWordStarts;
    IndexShape m_shape;

    int m_partitionBits = 0;
    std::vector<KeptTable> m_tables; // one per partition
    LargeArray<SourcePosition> m_positions;
    LargeArray<std::uint8_t> m_following; // ranks, beside m_positions
};
