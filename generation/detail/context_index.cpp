#include "context_index.h"

#include "memory_budget.h"
#include "seed_words.h"
#include "side_by_side.h"

#include <array>
#include <atomic>
#include <cmath>
#include <new>
#include <numeric>

namespace {

constexpr char16_t kLineFeed = u'\n';

} // namespace

// What the census pass learns, for each half of the text (one per thread):
// the distinct contexts (an estimate) and the positions per bucket of the
// hash's IndexTuning::countingBits high bits.
struct ContextIndex::Census {
    std::array<DistinctCounter, 2> distinct;
    std::array<std::vector<std::uint32_t>, 2> byHighBits;
};

// What the threads that index the partitions share.
struct ContextIndex::PartitionWork {
    std::vector<std::uint32_t> ends; // of each partition's stretch
    size_t plannedContexts = 0;      // per partition
    std::atomic<int> unclaimed{0};
    std::atomic<int> regrown{0};
};

ContextIndex::ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning)
    : m_source(source), m_text(reinterpret_cast<const char16_t *>(source.utf16())),
      m_length(contextLength), m_tuning(tuning), m_alphabet(RankAlphabet(m_text, source.size())),
      m_keys(m_alphabet.bits, contextLength, tuning.keyBits), m_keepFollowing(m_alphabet.bits <= 8),
      m_seedWordStarts(FindSeedWordStarts(m_text, source.size(), contextLength))
{
    m_shape.exactKeys = m_keys.exact();
    m_shape.followingKept = m_keepFollowing;
}

Status ContextIndex::build(const Cancellation *cancel)
{
    if (m_source.size() <= m_length)
        return Done{};
    Result<Outcome> outcome = buildOneTable(cancel);
    if (outcome && outcome.value() == Outcome::DoesNotSuit)
        outcome = buildPartitions(cancel);
    if (!outcome)
        return outcome.error();
    if (outcome.value() != Outcome::Built)
        return CancelledError();
    m_shape.partitions = int(m_tables.size());
    return Done{};
}

template <typename Visit>
bool ContextIndex::forEachContext(qsizetype first, qsizetype last, const Cancellation *cancel,
                                  Visit visit) const
{
    const char16_t *s = m_text;
    const ContextRank *rank = m_alphabet.rank.data();
    std::uint64_t rolling = 0;
    for (int i = 0; i + 1 < m_length; ++i)
        rolling = m_keys.in(rolling, rank[s[first + i]]);
    for (qsizetype start = first; start < last; start += m_tuning.cancellationStride) {
        if (IsCancelled(cancel))
            return false;
        const qsizetype end = std::min(last, start + m_tuning.cancellationStride);
        for (qsizetype p = start; p < end; ++p) {
            rolling = m_keys.in(rolling, rank[s[p + m_length - 1]]);
            if (s[p + m_length] != kLineFeed) {
                const std::uint64_t key = m_keys.key(rolling);
                if (!visit(p, key, MixBits(key)))
                    return false;
            }
            rolling = m_keys.out(rolling, rank[s[p]]);
        }
    }
    return true;
}

template <typename Visit>
bool ContextIndex::forEachContextInHalf(int half, const Cancellation *cancel, Visit visit) const
{
    const qsizetype candidates = m_source.size() - m_length;
    const qsizetype middle = candidates / 2;
    return half == 0 ? forEachContext(0, middle, cancel, visit)
                     : forEachContext(middle, candidates, cancel, visit);
}

std::uint64_t ContextIndex::keyAt(const char16_t *context) const
{
    std::uint64_t rolling = 0;
    for (int i = 0; i < m_length; ++i)
        rolling = m_keys.in(rolling, m_alphabet.rank[context[i]]);
    return m_keys.key(rolling);
}

void ContextIndex::put(std::uint32_t place, qsizetype p)
{
    m_positions[place] = SourcePosition(p);
    if (m_keepFollowing)
        m_following[place] = followingRank(p);
}

// Checks that the positions and `otherBytes` more fit, then allocates the
// positions (and the following characters' ranks).
Status ContextIndex::allocatePositions(qsizetype positions, std::int64_t otherBytes)
{
    const std::int64_t bytes =
        std::int64_t(positions) * std::int64_t(sizeof(SourcePosition) + (m_keepFollowing ? 1 : 0));
    const Status fits = CheckMemoryFor(m_source.size(), m_length + 1, bytes + otherBytes);
    if (!fits)
        return fits;
    m_positions = LargeArray<SourcePosition>(size_t(positions));
    if (m_keepFollowing)
        m_following = LargeArray<std::uint8_t>(size_t(positions));
    if (!m_positions || (m_keepFollowing && !m_following))
        throw std::bad_alloc();
    return Done{};
}

Result<ContextIndex::Outcome> ContextIndex::buildOneTable(const Cancellation *cancel)
{
    CountingTable table(m_text, m_length, m_keys.exact(), 0, m_tuning.load);
    table.reset(m_tuning.fewContexts);
    qsizetype positions = 0;
    bool full = false;
    const bool counted = forEachContext(
        0, m_source.size() - m_length, cancel, [&](qsizetype p, auto key, auto hash) {
            full = table.count(key, hash, SourcePosition(p)) == CountingTable::kFull;
            ++positions;
            return !full;
        });
    if (full)
        return Outcome::DoesNotSuit;
    if (!counted)
        return Outcome::Cancelled;
    const Status fits = allocatePositions(positions, 0);
    if (!fits)
        return fits.error();

    // Each thread keeps where its next position of each context goes. The
    // second half's positions of a context go after the first half's, so
    // the second thread first counts the first half's.
    std::array<std::vector<std::uint32_t>, 2> next;
    table.layOut(0, next[0]);
    next[1] = next[0];
    const auto placer = [&](std::uint32_t *place) {
        return [&, place](qsizetype p, auto key, auto hash) {
            put(place[table.find(key, hash, SourcePosition(p))]++, p);
            return true;
        };
    };
    bool placed[2] = {};
    RunSideBySide([&] { placed[0] = forEachContextInHalf(0, cancel, placer(next[0].data())); },
                  [&] {
                      std::uint32_t *place = next[1].data();
                      placed[1] = forEachContextInHalf(
                                      0, cancel,
                                      [&](qsizetype p, auto key, auto hash) {
                                          ++place[table.find(key, hash, SourcePosition(p))];
                                          return true;
                                      }) &&
                                  forEachContextInHalf(1, cancel, placer(place));
                  });
    if (!placed[0] || !placed[1])
        return Outcome::Cancelled;
    m_tables.push_back(table.keep(0));
    return Outcome::Built;
}

bool ContextIndex::takeCensus(Census &census, const Cancellation *cancel) const
{
    const int shift = 64 - m_tuning.countingBits;
    bool finished[2] = {};
    const auto count = [&](int half) {
        std::vector<std::uint32_t> &buckets = census.byHighBits[size_t(half)];
        DistinctCounter &distinct = census.distinct[size_t(half)];
        buckets.assign(size_t(1) << m_tuning.countingBits, 0);
        finished[half] = forEachContextInHalf(half, cancel, [&](qsizetype, auto, auto hash) {
            distinct.add(hash);
            ++buckets[hash >> shift];
            return true;
        });
    };
    RunSideBySide([&] { count(0); }, [&] { count(1); });
    return finished[0] && finished[1];
}

Result<ContextIndex::Outcome> ContextIndex::buildPartitions(const Cancellation *cancel)
{
    auto census = std::make_unique<Census>();
    if (!takeCensus(*census, cancel))
        return Outcome::Cancelled;
    census->distinct[0].add(census->distinct[1]);
    // Positions per partition, per half: the buckets of each partition added up.
    const auto positionsIn = [&](int half, size_t partition) {
        const size_t per = census->byHighBits[0].size() >> m_partitionBits;
        const auto first =
            census->byHighBits[size_t(half)].begin() + std::ptrdiff_t(partition * per);
        return std::accumulate(first, first + std::ptrdiff_t(per), std::uint32_t(0));
    };
    qsizetype positions = 0;
    for (const std::vector<std::uint32_t> &buckets : census->byHighBits)
        positions += std::accumulate(buckets.begin(), buckets.end(), qsizetype(0));

    const double contexts = std::min(double(positions), census->distinct[0].estimate());
    const double wanted = std::max(contexts / m_tuning.contextsPerPartition,
                                   double(positions) / m_tuning.positionsPerPartition);
    m_partitionBits = std::clamp(int(std::ceil(std::log2(wanted))), 1, m_tuning.countingBits);
    const size_t partitions = size_t(1) << m_partitionBits;
    const double mean = contexts / double(partitions);
    const auto planned = size_t(mean + m_tuning.spread * std::sqrt(mean)) + 1;

    // Where each partition's stretch begins, and where each half's
    // positions of it go when dealt out.
    PartitionWork work;
    work.plannedContexts = planned;
    std::array<std::vector<std::uint32_t>, 2> next;
    std::uint32_t largest = 0;
    m_tables.resize(partitions);
    for (size_t p = 0, start = 0; p < partitions; ++p) {
        const std::uint32_t first = positionsIn(0, p), size = first + positionsIn(1, p);
        m_tables[p].base = std::uint32_t(start);
        next[0].push_back(std::uint32_t(start));
        next[1].push_back(std::uint32_t(start + first));
        start += size;
        work.ends.push_back(std::uint32_t(start));
        largest = std::max(largest, size);
    }
    // The kept tables, then each thread's counting table and what it
    // gathers of the largest partition (key, slot, position, rank).
    const auto slotCount = std::int64_t(double(planned) / m_tuning.load) + 1;
    const Status fits = allocatePositions(
        positions, slotCount * std::int64_t(partitions * sizeof(KeptSlot)) +
                       2 * (slotCount * std::int64_t(sizeof(CountingTable::Slot)) +
                            std::int64_t(largest) * 17));
    if (!fits)
        return fits.error();

    bool dealt[2] = {};
    const auto deal = [&](int half) {
        std::uint32_t *place = next[size_t(half)].data();
        dealt[half] = forEachContextInHalf(half, cancel, [&](qsizetype p, auto, auto hash) {
            m_positions[place[PartitionOf(hash, m_partitionBits)]++] = SourcePosition(p);
            return true;
        });
    };
    RunSideBySide([&] { deal(0); }, [&] { deal(1); });
    if (!dealt[0] || !dealt[1])
        return Outcome::Cancelled;

    // Two threads take the partitions one at a time, so that a thread the
    // system lets run less does less.
    std::atomic<bool> failed{false};
    bool finished[2] = {};
    const auto index = [&](int thread) {
        try {
            finished[thread] = indexPartitions(work, cancel);
        } catch (const std::bad_alloc &) {
            failed = true;
        }
    };
    RunSideBySide([&] { index(0); }, [&] { index(1); });
    if (failed)
        throw std::bad_alloc();
    m_shape.regrownPartitions = work.regrown;
    return finished[0] && finished[1] ? Outcome::Built : Outcome::Cancelled;
}

// A partition's table is filled in this thread's own memory, which the
// cache keeps from one partition to the next.
bool ContextIndex::indexPartitions(PartitionWork &work, const Cancellation *cancel)
{
    CountingTable table(m_text, m_length, m_keys.exact(), m_partitionBits, m_tuning.load);
    std::vector<std::uint64_t> keys;
    std::vector<std::uint32_t> slotOf, next;
    std::vector<SourcePosition> dealt;
    std::vector<std::uint8_t> following;
    const int partitions = int(m_tables.size());
    for (int partition = work.unclaimed++; partition < partitions; partition = work.unclaimed++) {
        if (IsCancelled(cancel))
            return false;
        KeptTable &kept = m_tables[size_t(partition)];
        const SourcePosition *positions = m_positions.data() + kept.base;
        const size_t size = work.ends[size_t(partition)] - kept.base;
        keys.resize(size);
        slotOf.resize(size);
        following.resize(m_keepFollowing ? size : 0);
        // The text is read at random, with the reads asked for well ahead;
        // the table is probed afterwards, so that the two waits do not add up.
        for (size_t i = 0; i < size; ++i) {
            if (i + size_t(m_tuning.readAhead) < size)
                __builtin_prefetch(m_text + positions[i + size_t(m_tuning.readAhead)]);
            keys[i] = keyAt(m_text + positions[i]);
            if (m_keepFollowing)
                following[i] = followingRank(positions[i]);
        }
        // A partition holds at most as many contexts as positions; one that
        // holds more than planned is counted again in a table twice as big.
        for (size_t room = std::min(size, work.plannedContexts);; room *= 2) {
            table.reset(room);
            size_t i = 0;
            for (size_t slot; i < size; ++i) {
                slot = table.count(keys[i], MixBits(keys[i]), positions[i]);
                if (slot == CountingTable::kFull)
                    break;
                slotOf[i] = std::uint32_t(slot);
            }
            if (i == size)
                break;
            ++work.regrown;
        }
        table.layOut(kept.base, next);
        dealt.assign(positions, positions + size);
        for (size_t i = 0; i < size; ++i) {
            const std::uint32_t place = next[slotOf[i]]++;
            m_positions[place] = dealt[i];
            if (m_keepFollowing)
                m_following[place] = following[i];
        }
        kept = table.keep(kept.base);
    }
    return true;
}

Occurrences ContextIndex::lookUp(const char16_t *context) const
{
    if (m_tables.empty())
        return Occurrences(); // a source no longer than the context
    for (int i = 0; i < m_length; ++i)
        if (m_alphabet.rank[context[i]] == 0)
            return Occurrences(); // a character the source lacks
    const std::uint64_t hash = MixBits(keyAt(context));
    const KeptTable &table = m_tables[PartitionOf(hash, m_partitionBits)];
    const std::uint8_t tag = TagOf(hash);
    for (size_t slot = HomeSlot(hash, m_partitionBits, table.entries.size());;
         slot = table.after(slot)) {
        if (table.entries[slot].tag == 0)
            return Occurrences();
        const std::uint32_t begin = table.begin(slot);
        if (table.entries[slot].tag == tag &&
            std::equal(context, context + m_length, m_text + m_positions[begin])) {
            const std::span<const SourcePosition> group(m_positions.data() + begin,
                                                        table.entries[slot].end - begin);
            if (m_keepFollowing)
                return Occurrences(group, m_following.data() + begin, m_alphabet.characters.data());
            return Occurrences(group, m_text, m_length);
        }
    }
}

Result<std::span<const SourcePosition>> ContextIndex::seedWordStarts()
{
    return std::span<const SourcePosition>(m_seedWordStarts);
}

Result<Occurrences> ContextIndex::occurrences(QStringView context)
{
    const qsizetype length = context.size();
    if (length == m_length)
        return lookUp(reinterpret_cast<const char16_t *>(context.utf16()));
    // A source no longer than the context has no indexed position; the
    // generator then asks about the whole source, which cannot be followed
    // by anything. Any shorter context is answered by a scan of those few
    // characters.
    if (length < m_length && m_source.size() <= m_length)
        return scanShortSource(context);
    return InternalGeneratorError(
        QStringLiteral("context of %1 characters asked at context length %2")
            .arg(length)
            .arg(m_length));
}

Occurrences ContextIndex::scanShortSource(QStringView context)
{
    m_shortSourceMatches.clear();
    const qsizetype length = context.size();
    for (qsizetype p = 0; p + length < m_source.size(); ++p)
        if (m_source[p + length] != QChar(kLineFeed) &&
            QStringView(m_source).mid(p, length) == context)
            m_shortSourceMatches.push_back(SourcePosition(p));
    return Occurrences(m_shortSourceMatches, m_text, length);
}
