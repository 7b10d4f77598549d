#pragma once

#include "context_table.h" // and index_tuning.h, with std::function and QString
#include "in_strides.h"
#include "large_array.h"
#include "source_alphabet.h"

#include <atomic>
#include <vector>

// The index of one source text for one context length L: every position whose
// context (the L characters from it) is followed by a character other than LF,
// grouped by context, increasing inside each group; beside each, for alphabets
// of at most kMaxKeptRank characters, the rank of the character after it.
// A context's hash (context_key.h) chooses a partition (partitioning.h), whose
// KeptTable finds the context's group. Both ways of building deal the text's
// halves side by side, the second's positions after the first's in each group:
// - one table, for up to IndexTuning::fewContexts contexts: a pass counts them
//   in one CountingTable, whose layout gives each slot its Stretch; a second
//   deals each position out to its slot's;
// - partitions: a census pass counts the positions of each partition and
//   estimates the contexts, which gives each partition its Stretch; a second
//   deals each position out to its partition's (m_positions is then ordered by
//   partition only); then two threads each take partitions one at a time,
//   count its contexts in a CountingTable and reorder its stretch by context.
// Every pass looks at the stop every IndexTuning::cancellationStride positions.
class ContextIndex final : public OccurrenceFinder {
public:
    ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning);
    // Ranks the alphabet, finds the seed words and builds the index, holding
    // `look` (empty: never stopped) only meanwhile. Refuses when the memory is
    // short or look() answers true; throws std::bad_alloc when an allocation
    // fails after the memory check. Tells `look` of Work(source) positions in
    // all: of each stride as a pass begins it, and of the rest at the end.
    Status build(const WorkLook &look);
    // The positions a build tells of: the passes of the longest way of
    // building over the whole text (the alphabet, the seed words, the census,
    // the first writes to the two big arrays, the deal, and three over each
    // partition).
    static qint64 Work(const QString &source) { return 9 * qint64(source.size()); }
    IndexShape shape() const;

    Result<std::span<const SourcePosition>> seedWordStarts() override { return {m_seedWordStarts}; }
    Result<Occurrences> occurrences(QStringView context) override;

private:
    enum class Outcome { Built, Cancelled, DoesNotSuit };
    // A stretch of m_positions dealt to one slot or partition: the first
    // half's positions from `begin`, the second's from `secondHalf`, up to `end`.
    struct Stretch {
        std::uint32_t begin, secondHalf, end;
    };
    struct Stop; // what a build's passes look at, for that build only

    Result<Outcome> buildOneTable(Stop &stop);
    Result<Outcome> buildPartitions(Stop &stop);
    // Indexes unclaimed partitions (planned for `planned` contexts) until none
    // is left. False when stopped.
    bool indexPartitions(Stop &stop, const std::vector<Stretch> &stretches, size_t planned,
                         std::atomic<int> &unclaimed);
    // Checks that the positions and `otherBytes` more fit, then allocates them.
    Status allocatePositions(Stop &stop, qsizetype positions, std::int64_t otherBytes);
    // visit(p, key, hash) for each position p in [first, last) that the index
    // holds, until visit returns false. False then, or when stopped.
    template <typename Visit>
    bool forEachContext(Stop &stop, qsizetype first, qsizetype last, Visit visit);
    // forEachContext over the positions' halves side by side, [0, halfway()) and
    // the rest, with visitOf(half).
    qsizetype halfway() const { return (m_source.size() - m_length) / 2; }
    template <typename VisitOf> bool forEachContextInHalves(Stop &stop, VisitOf visitOf);
    // Puts each position (and its follower's rank) in the stretch of its half
    // in stretches[classify(p, key, hash)]. False when stopped.
    template <typename Classify>
    bool dealOut(Stop &stop, const std::vector<Stretch> &stretches, Classify classify);
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
    SourceAlphabet m_alphabet;
    ContextKeys m_keys;
    std::vector<SourcePosition> m_seedWordStarts;

    Partitioning m_partitioning;     // 0 bits for the one table
    std::atomic<int> m_regrown{0};   // partitions' tables counted again, bigger
    std::int64_t m_checkedBytes = 0; // what the memory check was asked for
    std::vector<KeptTable> m_tables; // one per partition
    LargeArray<SourcePosition> m_positions;
    LargeArray<FollowerRank> m_followerRanks; // beside m_positions, or nothing

    friend struct WholeIndexCheck; // the tests' check of every group
};
