#include "indexed_finder.h"

#include "context_key.h"
#include "context_table.h"
#include "large_array.h"
#include "memory_budget.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

// The index: every position p whose context (the contextLength characters
// from p) is followed by a character other than LF, grouped by context, in
// increasing order inside each group, in one array of positions. A group is
// found through a table keyed by the context's exact packed key
// (context_key.h, context_table.h). Nothing as long as the text is kept
// besides the positions.
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
//   partitions, each with a table of its own that fits in the cache; a pass
//   deals the positions out to their partitions' stretches of the positions
//   array; then each partition is indexed on its own (count, lay out, put
//   its positions in order), all in the cache, by two threads.
// - Partitions that do not suit (a few contexts hold most positions, or a
//   partition holds more contexts than estimated): one big table.

namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr int kBatch = 16;
// The single table is sized for this load at the estimated count of
// contexts and doubles beyond kFullLoad (an estimate fell short).
constexpr double kLoad = 0.75;
constexpr double kFullLoad = 0.9;
// A partition's table stays in the cache, where a higher load costs little;
// it is sized from its share of the positions with a margin, and when it
// fills anyway the index is built again as a single table.
constexpr double kPartitionLoad = 0.8;
constexpr double kPartitionMargin = 1.1;
constexpr double kPartitionFullLoad = 0.97;
constexpr size_t kFewContextsCapacity = 1'024; // grows as needed
// Above this many contexts, partitions; about this many in each of them.
// Partitions keep their positions in memory of their own while they are
// indexed, so none may hold too many; then the single table serves.
constexpr double kPartitionAbove = 8'192;
constexpr double kContextsPerPartition = 12'000;
constexpr double kPositionsPerPartition = 100'000;
constexpr std::uint32_t kLargestPartition = 2'000'000;
constexpr int kCountingBits = 16; // partition sizes are counted this finely
constexpr qsizetype kCancellationStride = qsizetype(1) << 16;
// The detail of the Error with which a way of building gives up for another.
const QString kTooMany = QStringLiteral("too many for this way of building");

// The pattern dialect's \w: ASCII letters, digits and underscore only.
bool isWordCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
}

Error internalError(const QString &detail)
{
    return Error{QStringLiteral("Errore interno del generatore di testo"), detail};
}

// Runs first() on this thread and second() beside it on another, when
// there is a second core and a thread to be had; else one after the other.
// Neither may throw.
template <typename First, typename Second> void RunSideBySide(First first, Second second)
{
    std::thread helper;
    if (std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(second);
        } catch (const std::system_error &) {
            // No thread to be had: this one does both.
        }
    }
    first();
    if (helper.joinable())
        helper.join();
    else
        second();
}

// Starts of maximal runs of at least `length` word characters: a match of
// \b(\w{O,}) can only begin where a run begins, and greedily takes the
// whole run.
std::vector<SourcePosition> findSeedWordStarts(const char16_t *s, qsizetype n, int length)
{
    std::vector<SourcePosition> starts;
    qsizetype p = 0;
    while (p < n) {
        if (!isWordCharacter(s[p])) {
            ++p;
            continue;
        }
        const qsizetype start = p;
        while (p < n && isWordCharacter(s[p]))
            ++p;
        if (p - start >= length)
            starts.push_back(SourcePosition(start));
    }
    return starts;
}

// Per code unit, its rank in the source's alphabet (code-unit order, from 1),
// 0 for one the source lacks; and how many bits a rank needs.
struct Alphabet {
    std::vector<ContextRank> rank;
    std::vector<char16_t> characters; // by rank; [0] unused
    int bits = 1;
};

Alphabet rankAlphabet(const char16_t *s, qsizetype n)
{
    Alphabet alphabet;
    alphabet.rank.assign(size_t(std::numeric_limits<char16_t>::max()) + 1, 0);
    for (qsizetype i = 0; i < n; ++i)
        alphabet.rank[s[i]] = 1;
    std::uint32_t size = 0;
    alphabet.characters.push_back(0);
    for (size_t c = 0; c < alphabet.rank.size(); ++c) {
        if (alphabet.rank[c]) {
            alphabet.rank[c] = ContextRank(++size);
            alphabet.characters.push_back(char16_t(c));
        }
    }
    alphabet.bits = std::max(1, int(std::bit_width(size)));
    return alphabet;
}

template <typename Key> class IndexedFinder final : public OccurrenceFinder {
public:
    IndexedFinder(const QString &source, int contextLength, Alphabet alphabet)
        : m_source(source), m_text(reinterpret_cast<const char16_t *>(source.utf16())),
          m_contextLength(contextLength), m_rank(std::move(alphabet.rank)),
          m_characters(std::move(alphabet.characters)),
          m_keepFollowing(alphabet.bits <= 8), m_packing{alphabet.bits,
                                                         alphabet.bits * contextLength},
          m_seedWordStarts(findSeedWordStarts(text(), source.size(), contextLength))
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
        return internalError(QStringLiteral("context of %1 characters asked at context length %2")
                                 .arg(length)
                                 .arg(m_contextLength));
    }

private:
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
        qsizetype middle = 0; // the first position of the second half
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
    bool takeCensus(Census &census, const Cancellation *cancel) const;
    template <typename Visit>
    bool probeInBatches(const Cancellation *cancel, Visit visit, const bool *enough = nullptr);
    Status checkMemoryFor(std::int64_t bytes) const
    {
        return CheckMemoryFor(m_source.size(), m_contextLength + 1, bytes);
    }
    Status buildOneTable(size_t capacity, size_t mostContexts, const Cancellation *cancel);
    Status buildPartitions(const Census &census, const Cancellation *cancel);
    Outcome indexPartitions(std::atomic<int> &unclaimed, size_t largestCapacity,
                            const Cancellation *cancel);
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
bool IndexedFinder<Key>::forEachContext(const Cancellation *cancel, Visit visit,
                                        const bool *enough) const
{
    return forEachContextIn(0, candidates(), cancel, visit, enough);
}

// forEachContext for the positions from `first` up to `last`.
template <typename Key>
template <typename Visit>
bool IndexedFinder<Key>::forEachContextIn(qsizetype first, qsizetype last,
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

// A position on its way into the single table, with the slot its search
// starts at in a table of `capacity` slots.
template <typename Key> struct Probe {
    Key key;
    std::uint64_t hash;
    size_t home;
    size_t capacity;
    SourcePosition position;
};

// forEachContext for the single table, with the home slots of kBatch
// positions prefetched before the first of them is visited.
template <typename Key>
template <typename Visit>
bool IndexedFinder<Key>::probeInBatches(const Cancellation *cancel, Visit visit, const bool *enough)
{
    std::array<Probe<Key>, kBatch> batch;
    int filled = 0;
    const auto flush = [&] {
        for (int i = 0; i < filled; ++i)
            visit(batch[size_t(i)]);
        filled = 0;
    };
    const bool finished = forEachContext(
        cancel,
        [&](qsizetype p, Key key, std::uint64_t hash) {
            const Table &table = m_table;
            const size_t home = table.homeOf(hash);
            __builtin_prefetch(table.address(home), 1);
            batch[size_t(filled++)] =
                Probe<Key>{key, hash, home, table.capacity(), SourcePosition(p)};
            if (filled == kBatch)
                flush();
        },
        enough);
    flush();
    return finished;
}

template <typename Key> bool IndexedFinder<Key>::allocatePositions(qsizetype positions)
{
    m_positions = LargeArray<SourcePosition>(size_t(positions));
    if (m_keepFollowing)
        m_following = LargeArray<std::uint8_t>(size_t(positions));
    return m_positions && (m_following || !m_keepFollowing);
}

template <typename Key> Status IndexedFinder<Key>::build(const Cancellation *cancel)
{
    if (m_source.size() <= m_contextLength)
        return Done{};

    // Few contexts (short ones, or a text with few words) are counted
    // straight into one table that the cache holds.
    Status built = buildOneTable(kFewContextsCapacity, size_t(kPartitionAbove), cancel);
    if (built || built.error().detail != kTooMany)
        return built;

    auto census = std::make_unique<Census>();
    if (!takeCensus(*census, cancel))
        return CancelledError();
    built = buildPartitions(*census, cancel);
    if (built || built.error().detail != kTooMany)
        return built;

    // Partitions did not suit: a partition held more contexts than
    // estimated, or too many positions. One big table, then.
    m_partitionBits = 0;
    m_partitions.clear();
    m_ends = {};
    m_tags = {};
    const double contexts = std::min(double(census->positions), census->distinct.estimate() * 1.02);
    return buildOneTable(size_t(contexts / kLoad) + kBatch, ~size_t(0), cancel);
}

// The census pass, each half of the text on a core of its own. False when
// cancelled.
template <typename Key>
bool IndexedFinder<Key>::takeCensus(Census &census, const Cancellation *cancel) const
{
    census.middle = candidates() / 2;
    for (CensusOfPart &half : census.halves)
        half.byHighBits.assign(size_t(1) << kCountingBits, 0);
    bool finished[2] = {};
    const auto count = [&](int half) {
        CensusOfPart &part = census.halves[size_t(half)];
        finished[half] = forEachContextIn(half == 0 ? 0 : census.middle,
                                          half == 0 ? census.middle : candidates(), cancel,
                                          [&part](qsizetype, Key, std::uint64_t hash) {
                                              part.distinct.add(hash);
                                              ++part.byHighBits[hash >> (64 - kCountingBits)];
                                          });
    };
    RunSideBySide([&] { count(0); }, [&] { count(1); });
    if (!finished[0] || !finished[1])
        return false;

    census.byHighBits = census.halves[0].byHighBits;
    for (size_t i = 0; i < census.byHighBits.size(); ++i)
        census.byHighBits[i] += census.halves[1].byHighBits[i];
    census.distinct = census.halves[0].distinct;
    census.distinct.add(census.halves[1].distinct);
    census.positions =
        std::accumulate(census.byHighBits.begin(), census.byHighBits.end(), qsizetype(0));
    return true;
}

// Builds the index with one table of `capacity` slots (doubled as needed),
// or gives up with kTooMany as soon as there are more than `mostContexts`.
template <typename Key>
Status IndexedFinder<Key>::buildOneTable(size_t capacity, size_t mostContexts,
                                         const Cancellation *cancel)
{
    m_positions = {};
    const Status fits = checkMemoryFor(std::int64_t(capacity * sizeof(Slot)));
    if (!fits)
        return fits;
    m_slots = LargeArray<Slot>(capacity);
    if (!m_slots)
        throw std::bad_alloc();
    m_table = Table(m_slots.data(), capacity, kFullLoad);

    qsizetype positions = 0;
    bool tooMany = false;
    const bool counted = probeInBatches(
        cancel,
        [&](const Probe<Key> &probe) {
            Table &table = m_table;
            size_t home =
                probe.capacity == table.capacity() ? probe.home : table.homeOf(probe.hash);
            while (table.count(probe.key, home) == Table::kNone) {
                growOneTable();
                home = table.homeOf(probe.hash);
            }
            ++positions;
            tooMany = table.contexts() > mostContexts;
        },
        &tooMany);
    if (tooMany)
        return Error{QString(), kTooMany};
    if (!counted)
        return CancelledError();

    const Status fitsToo = checkMemoryFor(std::int64_t(positions) * positionBytes());
    if (!fitsToo)
        return fitsToo;
    if (!allocatePositions(positions))
        throw std::bad_alloc();
    m_table.layOut(0);
    const bool finished = probeInBatches(cancel, [&](const Probe<Key> &probe) {
        Table &table = m_table;
        const std::uint32_t place = table.nextPlace(table.find(probe.key, probe.home));
        m_positions[place] = probe.position;
        if (m_keepFollowing)
            m_following[place] = followingRank(probe.position);
    });
    return finished ? Status(Done{}) : Status(CancelledError());
}

// Doubles the single table when the estimate fell short; every key is
// distinct, so putting them back needs no comparison.
template <typename Key> void IndexedFinder<Key>::growOneTable()
{
    const Table old = m_table;
    LargeArray<Slot> oldSlots = std::move(m_slots);
    m_slots = LargeArray<Slot>(2 * old.capacity());
    if (!m_slots)
        throw std::bad_alloc();
    Table grown(m_slots.data(), 2 * old.capacity(), kFullLoad);
    for (size_t slot = 0; slot < old.capacity(); ++slot) {
        const Key key = old.keyAt(slot);
        if (!(key == Key{}))
            grown.put(key, old.countAt(slot), grown.homeOf(HashOf(key)));
    }
    m_table = grown;
}

template <typename Key>
Status IndexedFinder<Key>::buildPartitions(const Census &census, const Cancellation *cancel)
{
    const double contexts = std::min(double(census.positions), census.distinct.estimate());
    const double wanted = std::max(contexts / kContextsPerPartition,
                                   double(census.positions) / kPositionsPerPartition);
    m_partitionBits = std::clamp(int(std::ceil(std::log2(wanted))), 1, kCountingBits);
    const size_t partitions = size_t(1) << m_partitionBits;
    const size_t countsPer = census.byHighBits.size() / partitions;
    // A partition's share of distinct contexts follows its share of
    // positions, give or take.
    const double distinctShare =
        std::min(1.0, contexts / double(census.positions) * kPartitionMargin);

    m_partitionStart.assign(partitions + 1, 0);
    std::vector<size_t> capacity(partitions);
    std::int64_t slotCount = 0;
    std::uint32_t largest = 0;
    size_t largestCapacity = 0;
    for (size_t p = 0; p < partitions; ++p) {
        const auto first = census.byHighBits.begin() + std::ptrdiff_t(p * countsPer);
        const std::uint32_t size = std::accumulate(first, first + std::ptrdiff_t(countsPer), 0u);
        if (size > kLargestPartition)
            return Error{QString(), kTooMany}; // a few contexts with most positions
        largest = std::max(largest, size);
        m_partitionStart[p + 1] = m_partitionStart[p] + size;
        capacity[p] = size_t(double(size) * distinctShare / kPartitionLoad) + kBatch;
        largestCapacity = std::max(largestCapacity, capacity[p]);
        slotCount += std::int64_t(capacity[p]);
    }
    // Each of two threads fills one partition's table at a time, with the
    // keys, in memory of its own, and copies its positions and notes their
    // keys, slots and following characters.
    const std::int64_t scratchBytes = 2 * (std::int64_t(largestCapacity * sizeof(Slot)) +
                                           std::int64_t(largest) * std::int64_t(9 + sizeof(Key)));
    const Status fits =
        checkMemoryFor(slotCount * std::int64_t(sizeof(std::uint32_t) + 1) +
                       std::int64_t(census.positions) * positionBytes() + scratchBytes);
    if (!fits)
        return fits;
    m_ends = LargeArray<std::uint32_t>(size_t(slotCount));
    m_tags = LargeArray<std::uint8_t>(size_t(slotCount));
    if (!m_ends || !m_tags || !allocatePositions(census.positions))
        throw std::bad_alloc();
    m_partitions.resize(partitions);
    for (size_t p = 0, at = 0; p < partitions; at += capacity[p++])
        m_partitions[p] =
            KeylessTable(m_ends.data() + at, m_tags.data() + at, capacity[p], m_partitionStart[p]);

    // Deal the positions out, in increasing order within each partition:
    // each half of the text by a thread of its own, the second half's
    // positions of a partition after the first half's.
    std::array<std::vector<std::uint32_t>, 2> next;
    next[0].assign(m_partitionStart.begin(), m_partitionStart.end() - 1);
    next[1] = next[0];
    for (size_t p = 0; p < partitions; ++p) {
        const auto first = census.halves[0].byHighBits.begin() + std::ptrdiff_t(p * countsPer);
        next[1][p] += std::accumulate(first, first + std::ptrdiff_t(countsPer), 0u);
    }
    bool dealt[2] = {};
    const auto deal = [&](int half) {
        std::uint32_t *place = next[size_t(half)].data();
        dealt[half] = forEachContextIn(
            half == 0 ? 0 : census.middle, half == 0 ? census.middle : candidates(), cancel,
            [&](qsizetype p, Key, std::uint64_t hash) {
                m_positions[place[partitionOf(hash)]++] = SourcePosition(p);
            });
    };
    RunSideBySide([&] { deal(0); }, [&] { deal(1); });
    if (!dealt[0] || !dealt[1])
        return CancelledError();

    // Two threads take the partitions one at a time, so that a thread the
    // system lets run less does less.
    std::atomic<int> unclaimed{0};
    Outcome outcomes[2] = {Outcome::Done, Outcome::Done};
    RunSideBySide([&] { outcomes[0] = indexPartitions(unclaimed, largestCapacity, cancel); },
                  [&] { outcomes[1] = indexPartitions(unclaimed, largestCapacity, cancel); });
    const Outcome outcome = outcomes[0] != Outcome::Done ? outcomes[0] : outcomes[1];
    if (outcome == Outcome::Cancelled)
        return CancelledError();
    if (outcome == Outcome::Full)
        return Error{QString(), kTooMany};
    return Done{};
}

// Indexes partitions within their stretches of the positions array, taking
// the next unclaimed one until none is left. Its table is filled in slots
// of its own, which the cache keeps from one partition to the next; only the
// ends of the groups are kept. std::bad_alloc is reported as Full.
template <typename Key>
typename IndexedFinder<Key>::Outcome
IndexedFinder<Key>::indexPartitions(std::atomic<int> &unclaimed, size_t largestCapacity,
                                    const Cancellation *cancel)
{
    try {
        std::vector<Slot> own(largestCapacity);
        std::vector<Key> keys;
        std::vector<std::uint32_t> slotOf;
        std::vector<SourcePosition> dealt;
        std::vector<std::uint8_t> following;
        constexpr size_t kTextAhead = 16;
        const int partitions = int(m_partitions.size());
        for (int partition = unclaimed++; partition < partitions; partition = unclaimed++) {
            if (IsCancelled(cancel))
                return Outcome::Cancelled;
            KeylessTable &kept = m_partitions[size_t(partition)];
            Table table(own.data(), kept.capacity(), kPartitionFullLoad);
            const std::uint32_t start = m_partitionStart[size_t(partition)];
            const size_t size = m_partitionStart[size_t(partition) + 1] - start;
            const SourcePosition *positions = m_positions.data() + start;
            keys.resize(size);
            slotOf.resize(size);
            following.resize(m_keepFollowing ? size : 0);
            // The text is read at random, with the reads issued well ahead;
            // the table is probed afterwards, so that the two kinds of wait
            // do not add up.
            for (size_t i = 0; i < size; ++i) {
                if (i + kTextAhead < size)
                    __builtin_prefetch(text() + positions[i + kTextAhead]);
                keys[i] = keyAt(positions[i]);
                if (m_keepFollowing)
                    following[i] = followingRank(positions[i]);
            }
            for (size_t i = 0; i < size; ++i) {
                const size_t slot =
                    table.count(keys[i], table.homeOf(inPartition(HashOf(keys[i]))));
                if (slot == Table::kNone)
                    return Outcome::Full;
                slotOf[i] = std::uint32_t(slot);
            }
            table.layOut(start);
            dealt.assign(positions, positions + size);
            for (size_t i = 0; i < size; ++i) {
                const std::uint32_t place = table.nextPlace(slotOf[i]);
                m_positions[place] = dealt[i];
                if (m_keepFollowing)
                    m_following[place] = following[i];
            }
            kept.takeFrom(table);
            table.clear();
        }
        return Outcome::Done;
    } catch (const std::bad_alloc &) {
        return Outcome::Full;
    }
}

template <typename Key> Occurrences IndexedFinder<Key>::lookUp(const char16_t *context) const
{
    Key key{};
    for (int i = 0; i < m_contextLength; ++i) {
        const ContextRank rank = m_rank[context[i]];
        if (rank == 0)
            return Occurrences(); // a character the source lacks
        key = ShiftIn(key, rank, m_packing);
    }
    const std::uint64_t hash = HashOf(key);
    if (m_partitions.empty()) {
        const size_t slot =
            m_table.capacity() ? m_table.find(key, m_table.homeOf(hash)) : Table::kNone;
        return slot == Table::kNone ? Occurrences() : group(m_table.begin(slot), m_table.end(slot));
    }
    const KeylessTable &table = m_partitions[size_t(partitionOf(hash))];
    const std::uint8_t tag = TagOf(hash);
    for (size_t slot = HomeSlot(inPartition(hash), table.capacity());; slot = table.after(slot)) {
        if (table.tag(slot) == 0)
            return Occurrences();
        const std::uint32_t begin = table.begin(slot);
        if (table.tag(slot) == tag &&
            std::equal(context, context + m_contextLength, text() + m_positions[begin]))
            return group(begin, table.end(slot));
    }
}

// The positions from `begin` to `end` of the index, with what follows them.
template <typename Key>
Occurrences IndexedFinder<Key>::group(std::uint32_t begin, std::uint32_t end) const
{
    const std::span<const SourcePosition> positions(m_positions.data() + begin,
                                                    size_t(end - begin));
    if (m_keepFollowing)
        return Occurrences(positions, m_following.data() + begin, m_characters.data());
    return Occurrences(positions, text(), m_contextLength);
}

template <typename Key> Occurrences IndexedFinder<Key>::scanShortSource(QStringView context)
{
    m_shortSourceMatches.clear();
    const qsizetype length = context.size();
    const qsizetype n = m_source.size();
    for (qsizetype p = 0; p + length < n; ++p)
        if (m_source[p + length] != QChar(kLineFeed) &&
            QStringView(m_source).mid(p, length) == context)
            m_shortSourceMatches.push_back(SourcePosition(p));
    return Occurrences(m_shortSourceMatches, text(), length);
}

template <typename Key>
Result<std::unique_ptr<OccurrenceFinder>> buildFinder(const QString &source, int contextLength,
                                                      Alphabet alphabet, const Cancellation *cancel)
{
    auto finder = std::make_unique<IndexedFinder<Key>>(source, contextLength, std::move(alphabet));
    const Status built = finder->build(cancel);
    if (!built)
        return built.error();
    return std::unique_ptr<OccurrenceFinder>(std::move(finder));
}

} // namespace

Result<std::unique_ptr<OccurrenceFinder>>
MakeIndexedFinder(const QString &source, int contextLength, const Cancellation *cancel)
{
    if (contextLength < 1 || contextLength > 9)
        return internalError(QStringLiteral("context length %1 out of range").arg(contextLength));
    if (source.size() >= std::numeric_limits<SourcePosition>::max())
        return Error{QStringLiteral("Il testo è troppo lungo"),
                     QStringLiteral("%1 characters").arg(source.size())};
    try {
        Alphabet alphabet =
            rankAlphabet(reinterpret_cast<const char16_t *>(source.utf16()), source.size());
        const int keyBits = alphabet.bits * contextLength;
        if (keyBits <= 64)
            return buildFinder<std::uint64_t>(source, contextLength, std::move(alphabet), cancel);
        if (keyBits <= 128)
            return buildFinder<ContextKey128>(source, contextLength, std::move(alphabet), cancel);
        return buildFinder<ContextKey144>(source, contextLength, std::move(alphabet), cancel);
    } catch (const std::bad_alloc &) {
        return NotEnoughMemory(source.size(), contextLength + 1, std::nullopt,
                               AvailableMemoryBytes());
    }
}
