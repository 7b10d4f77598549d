#include "context_index.h"

#include "side_by_side.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>

// The census pass, each half of the text on a core of its own. False when
// cancelled.
template <typename Key>
bool ContextIndex<Key>::takeCensus(Census &census, const Cancellation *cancel) const
{
    for (CensusOfPart &half : census.halves)
        half.byHighBits.assign(size_t(1) << kCountingBits, 0);
    bool finished[2] = {};
    const auto count = [&](int half) {
        CensusOfPart &part = census.halves[size_t(half)];
        finished[half] =
            forEachContextInHalf(half, cancel, [&part](qsizetype, Key, std::uint64_t hash) {
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

template <typename Key>
Status ContextIndex<Key>::buildPartitions(const Census &census, const Cancellation *cancel)
{
    const double contexts = std::min(double(census.positions), census.distinct.estimate());
    const double wanted = std::max(contexts / kContextsPerPartition,
                                   double(census.positions) / kPositionsPerPartition);
    m_partitionBits = std::clamp(int(std::ceil(std::log2(wanted))), 1, kCountingBits);
    const size_t partitions = size_t(1) << m_partitionBits;
    const size_t countsPer = census.byHighBits.size() / partitions;
    // The hash spreads the distinct contexts evenly over the partitions,
    // however unevenly their positions go (a few contexts of a low order
    // hold most positions): every table is sized for the mean count of
    // contexts and kSpread standard deviations more.
    const double mean = contexts / double(partitions);
    const size_t capacity = size_t((mean + kSpread * std::sqrt(mean)) / kPartitionLoad) + kBatch;
    const std::int64_t slotCount = std::int64_t(capacity * partitions);

    // How many of the counted positions fall in partition p.
    const auto positionsIn = [countsPer](const std::vector<std::uint32_t> &counts, size_t p) {
        const auto first = counts.begin() + std::ptrdiff_t(p * countsPer);
        return std::accumulate(first, first + std::ptrdiff_t(countsPer), 0u);
    };
    m_partitionStart.assign(partitions + 1, 0);
    std::uint32_t largest = 0;
    for (size_t p = 0; p < partitions; ++p) {
        const std::uint32_t size = positionsIn(census.byHighBits, p);
        if (size > kLargestPartition)
            return tooManyError(); // a few contexts with most positions
        largest = std::max(largest, size);
        m_partitionStart[p + 1] = m_partitionStart[p] + size;
    }
    // Each of two threads fills one partition's table at a time, with the
    // keys, in memory of its own, and copies its positions and notes their
    // keys, slots and following characters.
    const std::int64_t scratchBytes = 2 * (std::int64_t(capacity * sizeof(Slot)) +
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
    for (size_t p = 0; p < partitions; ++p)
        m_partitions[p] = KeylessTable(m_ends.data() + p * capacity, m_tags.data() + p * capacity,
                                       capacity, m_partitionStart[p]);

    // Deal the positions out, in increasing order within each partition:
    // each half of the text by a thread of its own, the second half's
    // positions of a partition after the first half's.
    std::array<std::vector<std::uint32_t>, 2> next;
    next[0].assign(m_partitionStart.begin(), m_partitionStart.end() - 1);
    next[1] = next[0];
    for (size_t p = 0; p < partitions; ++p)
        next[1][p] += positionsIn(census.halves[0].byHighBits, p);
    bool dealt[2] = {};
    const auto deal = [&](int half) {
        std::uint32_t *place = next[size_t(half)].data();
        dealt[half] = forEachContextInHalf(half, cancel, [&](qsizetype p, Key, std::uint64_t hash) {
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
    RunSideBySide([&] { outcomes[0] = indexPartitions(unclaimed, capacity, cancel); },
                  [&] { outcomes[1] = indexPartitions(unclaimed, capacity, cancel); });
    const Outcome outcome = outcomes[0] != Outcome::Done ? outcomes[0] : outcomes[1];
    if (outcome == Outcome::Cancelled)
        return CancelledError();
    if (outcome == Outcome::Full)
        return tooManyError();
    return Done{};
}

// Indexes partitions within their stretches of the positions array, taking
// the next unclaimed one until none is left. A partition's table is filled
// in this thread's own slots, which the cache keeps from one partition to
// the next; the index keeps of it only the group ends and the tags.
// std::bad_alloc is reported as Full.
template <typename Key>
typename ContextIndex<Key>::Outcome ContextIndex<Key>::indexPartitions(std::atomic<int> &unclaimed,
                                                                       size_t capacity,
                                                                       const Cancellation *cancel)
{
    try {
        std::vector<Slot> own(capacity);
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

template class ContextIndex<std::uint64_t>;
template class ContextIndex<ContextKey128>;
template class ContextIndex<ContextKey144>;
