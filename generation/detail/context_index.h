#pragma once

#include "context_table.h"
#include "in_strides.h"
#include "index_tuning.h"
#include "large_array.h"
#include "source_alphabet.h"

#include <QString>

#include <array>
#include <atomic>
#include <vector>

// The index of one source text for one context length L: every position
// whose context (the L characters from it) is followed by a character other
// than LF, grouped by context, increasing inside each group, in one array;
// beside each, when the alphabet has at most kMaxKeptRank characters, the
// rank of the character that follows it (one read per draw instead of two).
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
// - one table, for up to IndexTuning::fewContexts contexts: a pass counts them
//   in one CountingTable, whose layout gives each slot its Stretch; a second
//   deals each position out to its slot's;
// - partitions: a census pass counts the positions of each partition and
//   estimates the contexts, which gives each partition its Stretch; a second
//   deals each position out to its partition's (m_positions is then ordered by
//   partition only); then two threads each take partitions one at a time,
//   count its contexts in a CountingTable and reorder its stretch by context.
// Every pass looks at the cancellation, and at whether the other side failed,
// every IndexTuning::cancellationStride positions.
class ContextIndex final : public OccurrenceFinder {
public:
    // Ranks the alphabet and finds the seed words; `build` gives up when
    // `cancel` stopped them early.
    ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning,
                 const Cancellation *cancel);

    // Refuses when the memory is short or the build is cancelled; throws
    // std::bad_alloc when an allocation fails after the memory check.
    Status build();
    IndexShape shape() const
    {
        return {int(m_tables.size()), m_regrown, m_keys.exact(), bool(m_followerRanks)};
    }

    Result<std::span<const SourcePosition>> seedWordStarts() override;
    Result<Occurrences> occurrences(QStringView context) override;

private:
    enum class Outcome { Built, Cancelled, DoesNotSuit };
    // A stretch of m_positions dealt to one slot or partition: the first
    // half's positions from `begin`, the second's from `secondHalf`, up to `end`.
    struct Stretch {
        std::uint32_t begin, secondHalf, end;
    };

    Result<Outcome> buildOneTable();
    Result<Outcome> buildPartitions();
    // Indexes unclaimed partitions (planned for `planned` contexts) until
    // none is left, in tables of this thread's own. False when stopped.
    bool indexPartitions(const std::vector<Stretch> &stretches, size_t planned,
                         std::atomic<int> &unclaimed);
    // Checks that the positions and `otherBytes` more fit, then allocates them.
    Status allocatePositions(qsizetype positions, std::int64_t otherBytes);

    // visit(p, key, hash) for each position p of the first (0) or second (1)
    // half of the text that the index holds, in order, until visit returns
    // false. False then, or when stopped.
    template <typename Visit> bool forEachContext(int half, Visit visit) const;
    // forEachContext for both halves side by side, visiting with visit(half).
    template <typename Visit> bool forEachContextInHalves(Visit visit);
    // Puts each position (and its follower's rank) in the stretch of its
    // half in stretches[classify(p, key, hash)]. False when stopped.
    template <typename Classify>
    bool dealOut(const std::vector<Stretch> &stretches, Classify classify);
    bool stopped() const
    {
        return m_sideFailed.load(std::memory_order_relaxed) || IsCancelled(m_cancel);
    }
    std::uint64_t keyAt(const char16_t *context) const
    {
        std::uint64_t rolling = m_keys.before(m_alphabet.rank.data(), context);
        return m_keys.next(rolling, m_alphabet.rank.data(), context);
    }
    FollowerRank followerRank(qsizetype p) const
    {
        return FollowerRank(m_alphabet.rank[m_text[p + m_length]]);
    }

    const QString &m_source;
    const char16_t *const m_text;
    const int m_length;
    const IndexTuning m_tuning;
    const Cancellation *const m_cancel;
    const SourceAlphabet m_alphabet;
    const ContextKeys m_keys;
    const std::vector<SourcePosition> m_seedWordStarts;

    std::atomic<bool> m_sideFailed{false}; // one side of a pass failed: the other stops
    int m_partitionBits = 0;               // 0 for the one table
    std::atomic<int> m_regrown{0};         // partitions' tables counted again, bigger
    std::vector<KeptTable> m_tables;       // one per partition
    LargeArray<SourcePosition> m_positions;
    LargeArray<FollowerRank> m_followerRanks; // beside m_positions, or nothing
};
