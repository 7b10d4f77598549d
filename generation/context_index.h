#pragma once

#include "cancellation.h"
#include "context_key.h"
#include "context_table.h"
#include "large_array.h"
#include "memory_budget.h"
#include "occurrence_finder.h"
#include "seed_words.h"
#include "source_alphabet.h"

#include <QString>

#include <array>
#include <atomic>
#include <vector>

// The index: every position p whose context (the contextLength characters
// from p) is followed by a character other than LF, grouped by context, in
// increasing order inside each group, in one array of positions, with the
// character after each beside it. A group is found through a hash table of
// the contexts' exact packed keys (context_key.h, context_table.h). Nothing
// else as long as the text is kept.
//
// Every pass over the text computes the keys rolling, in constant time per
// position whatever the context length. Then:
// - Few contexts (short ones): one table, small enough for the cache. A pass
//   counts each context's positions (giving up as soon as the contexts are
//   too many); the counts become group boundaries; after checking that the
//   memory is there, a last pass puts every position in its place.
// - Many contexts (long ones, varied text): one table would be far bigger
//   than the cache and every position would miss it twice. A census pass
//   estimates the distinct contexts and how their hashes spread, so that
//   everything is allocated once, after checking that the memory is there.
//   The contexts are split by the high bits of their hash into thousands of
//   partitions; a pass deals the positions out to their partitions'
//   stretches of the positions array (census and dealing take half the text
//   per core); then two threads take the partitions one at a time and index
//   each in a table of their own that the cache holds (count, lay out, put
//   the positions in order). Of that table the index keeps, per slot, where
//   the group ends and a tag of the key's hash, not the key: a lookup checks
//   a candidate against the text (KeylessTable).
// - Partitions that do not suit (a few contexts hold most positions, or a
//   partition holds more contexts than estimated): one big table.
//
// ContextIndex<Key> is that index for one width of key. Its two ways of
// building are in context_index_one_table.cpp and
// context_index_partitions.cpp, the rest in context_index.cpp.

template <typename Key> class ContextIndex final : public OccurrenceFinder {
public:
    ContextIndex(const QString &source, int contextLength, SourceAlphabet alphabet)
        : m_source(source), m_text(reinterpret_cast<const char16_t *>(source.utf16())),
          m_contextLength(contextLength), m_rank(std::move(alphabet.rank)),
          m_characters(std::move(alphabet.characters)),
          m_keepFollowing(alphabet.bits <= 8), m_packing{alphabet.bits,
                                                         alphabet.bits * contextLength},
          m_seedWordStarts(FindSeedWordStarts(text(), source.size(), contextLength))
    {
    }

    // Throws std::bad_alloc when memory fails after the check.
    Status build(const Cancellation *cancel);

    Result<std::span<const SourcePosition>> seedWordStarts() override
    {
        return std::span<const SourcePosition>(m_seedWordStarts);
    }

    Result<Occurrences> occurrences(QStringView context) override
    {
        const qsizetype length = context.size();
        if (length == m_contextLength)
            return lookUp(reinterpret_cast<const char16_t *>(context.utf16()));
        // A source no longer than the context has no indexed position; the
        // generator then asks about the whole source, which cannot be
        // followed by anything. Any shorter context is answered by a scan of
        // those few characters.
        if (length < m_contextLength && m_source.size() <= m_contextLength)
            return scanShortSource(context);
        return InternalGeneratorError(
            QStringLiteral("context of %1 characters asked at context length %2")
                .arg(length)
                .arg(m_contextLength));
    }

private:
    // How the building goes; see above.
    static constexpr char16_t kLineFeed = u'\n';
    static constexpr int kBatch = 16;
    // The single table is sized for this load at the estimated count of
    // contexts and doubles beyond kFullLoad (an estimate fell short).
    static constexpr double kLoad = 0.75;
    static constexpr double kFullLoad = 0.9;
    // A partition's table stays in the cache, where a higher load costs
    // little; it is sized for the contexts a partition may hold, and when
    // it fills anyway the index is built again as a single table.
    static constexpr double kPartitionLoad = 0.8;
    static constexpr double kSpread = 6;
    static constexpr double kPartitionFullLoad = 0.97;
    static constexpr size_t kFewContextsCapacity = 1'024;  // grows as needed
    static constexpr size_t kSmallTable = size_t(1) << 16; // two threads place its positions
    // Above this many contexts, partitions; about this many in each of
    // them. Partitions keep their positions in memory of their own while
    // they are indexed, so none may hold too many; then the single table
    // serves.
    static constexpr double kPartitionAbove = 8'192;
    static constexpr double kContextsPerPartition = 12'000;
    static constexpr double kPositionsPerPartition = 100'000;
    static constexpr std::uint32_t kLargestPartition = 2'000'000;
    static constexpr int kCountingBits = 16; // partition sizes are counted this finely
    static constexpr qsizetype kCancellationStride = qsizetype(1) << 16;

    // The Error with which a way of building gives up for another.
    static Error tooManyError()
    {
        return Error{QString(), QStringLiteral("too many for this way of building")};
    }
    static bool gaveUp(const Status &status)
    {
        return !status && status.error().detail == tooManyError().detail;
    }

    using Table = ContextTable<Key>;
    using Slot = typename Table::Slot;

    // What the first pass learns: an estimate of the distinct contexts, the
    // number of indexed positions, and how they spread over the high bits
    // of their hashes; for the whole text, and for each of its two halves
    // (counted by one thread each).
    struct CensusOfPart {
        DistinctCounter distinct;
        std::vector<std::uint32_t> byHighBits;
    };
    struct Census {
        std::array<CensusOfPart, 2> halves;
        DistinctCounter distinct;
        qsizetype positions = 0;
        std::vector<std::uint32_t> byHighBits;
    };

    enum class Outcome { Done, Cancelled, Full };

    const char16_t *text() const { return m_text; }
    int partitionOf(std::uint64_t hash) const
    {
        return m_partitionBits ? int(hash >> (64 - m_partitionBits)) : 0;
    }
    // The bits of a hash that choose the slot within its partition's table.
    std::uint64_t inPartition(std::uint64_t hash) const { return hash << m_partitionBits; }
    Key keyAt(qsizetype p) const
    {
        Key key{};
        for (int i = 0; i < m_contextLength; ++i)
            key = ShiftIn(key, m_rank[text()[p + i]], m_packing);
        return key;
    }

    // Positions that have a context and a character after it.
    qsizetype candidates() const { return m_source.size() - m_contextLength; }
    template <typename Visit>
    bool forEachContext(const Cancellation *cancel, Visit visit,
                        const bool *enough = nullptr) const;
    template <typename Visit>
    bool forEachContextIn(qsizetype first, qsizetype last, const Cancellation *cancel, Visit visit,
                          const bool *enough = nullptr) const;
    // forEachContext for the first (0) or the second (1) half of the
    // positions, as two threads share them.
    template <typename Visit>
    bool forEachContextInHalf(int half, const Cancellation *cancel, Visit visit) const
    {
        const qsizetype middle = candidates() / 2;
        return half == 0 ? forEachContextIn(0, middle, cancel, visit)
                         : forEachContextIn(middle, candidates(), cancel, visit);
    }
    bool takeCensus(Census &census, const Cancellation *cancel) const;
    template <typename Visit>
    bool probeInBatches(const Cancellation *cancel, Visit visit, const bool *enough = nullptr);
    Status checkMemoryFor(std::int64_t bytes) const
    {
        return CheckMemoryFor(m_source.size(), m_contextLength + 1, bytes);
    }
    Status buildOneTable(size_t capacity, size_t mostContexts, const Cancellation *cancel);
    Status buildPartitions(const Census &census, const Cancellation *cancel);
    Outcome indexPartitions(std::atomic<int> &unclaimed, size_t capacity,
                            const Cancellation *cancel);
    bool placeInHalves(const Cancellation *cancel);
    void growOneTable();
    Occurrences lookUp(const char16_t *context) const;
    Occurrences group(std::uint32_t begin, std::uint32_t end) const;
    Occurrences scanShortSource(QStringView context);

    const QString &m_source;
    const char16_t *const m_text;
    const int m_contextLength;
    const std::vector<ContextRank> m_rank;
    const std::vector<char16_t> m_characters;
    // With at most 255 distinct characters, the character after each
    // position is kept beside it as a one-byte rank, so that a draw reads
    // one place at random instead of two (the position, then the text).
    const bool m_keepFollowing;
    const KeyPacking m_packing;
    std::vector<SourcePosition> m_seedWordStarts;

    // One table with its keys (few contexts, or partitions did not suit)...
    LargeArray<Slot> m_slots;
    Table m_table;
    // ...or one table per partition, without keys, one after the other.
    int m_partitionBits = 0;
    LargeArray<std::uint32_t> m_ends;
    LargeArray<std::uint8_t> m_tags;
    std::vector<KeylessTable> m_partitions;
    std::vector<std::uint32_t> m_partitionStart; // of each partition's positions
    LargeArray<SourcePosition> m_positions;
    LargeArray<std::uint8_t> m_following; // ranks, beside m_positions

    std::uint8_t followingRank(SourcePosition p) const
    {
        return std::uint8_t(m_rank[text()[p + m_contextLength]]);
    }
    bool allocatePositions(qsizetype positions);
    std::int64_t positionBytes() const
    {
        return std::int64_t(sizeof(SourcePosition)) + (m_keepFollowing ? 1 : 0);
    }

    std::vector<SourcePosition> m_shortSourceMatches;
};

// Calls visit(p, key, hash) for every position p whose context is followed
// by a character other than LF, in increasing order. False when cancelled,
// or stopped early because `enough` became true.
template <typename Key>
template <typename Visit>
bool ContextIndex<Key>::forEachContext(const Cancellation *cancel, Visit visit,
                                       const bool *enough) const
{
    return forEachContextIn(0, candidates(), cancel, visit, enough);
}

// forEachContext for the positions from `first` up to `last`.
template <typename Key>
template <typename Visit>
bool ContextIndex<Key>::forEachContextIn(qsizetype first, qsizetype last,
                                         const Cancellation *cancel, Visit visit,
                                         const bool *enough) const
{
    const char16_t *s = text();
    const ContextRank *rank = m_rank.data();
    Key key{};
    for (int i = 0; i + 1 < m_contextLength; ++i)
        key = ShiftIn(key, rank[s[first + i]], m_packing);
    for (qsizetype start = first; start < last; start += kCancellationStride) {
        if (IsCancelled(cancel) || (enough && *enough))
            return false;
        const qsizetype end = std::min(last, start + kCancellationStride);
        for (qsizetype p = start; p < end; ++p) {
            key = ShiftIn(key, rank[s[p + m_contextLength - 1]], m_packing);
            if (s[p + m_contextLength] != kLineFeed)
                visit(p, key, HashOf(key));
        }
    }
    return true;
}

// Each file of the index instantiates what it defines for every key width.
extern template class ContextIndex<std::uint64_t>;
extern template class ContextIndex<ContextKey128>;
extern template class ContextIndex<ContextKey144>;
