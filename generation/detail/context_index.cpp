#include "context_index.h"

#include "memory_budget.h"
#include "seed_words.h"
#include "side_by_side.h"

#include <array>
#include <atomic>
#include <cmath>
#include <new>
#include <numeric>

ContextIndex::ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning,
                           const Cancellation *cancel)
    : m_source(source), m_text(reinterpret_cast<const char16_t *>(source.utf16())),
      m_length(contextLength), m_tuning(tuning),
      m_alphabet(RankAlphabet(m_text, source.size(), cancel, tuning.cancellationStride)),
      m_keys(m_alphabet.bits, contextLength, tuning.keyBits), m_keepFollowing(m_alphabet.bits <= 8),
      m_seedWordStarts(FindSeedWordStarts(m_text, source.size(), contextLength, cancel,
                                          tuning.cancellationStride))
{
}

Status ContextIndex::build(const Cancellation *cancel)
{
    if (IsCancelled(cancel)) // the alphabet and the seed words may be cut short
        return CancelledError();
    if (m_source.size() <= m_length)
        return Done{};
    Result<Outcome> outcome = buildOneTable(cancel);
    if (outcome && outcome.value() == Outcome::DoesNotSuit)
        outcome = buildPartitions(cancel);
    if (!outcome)
        return outcome.error();
    return outcome.value() == Outcome::Built ? Status(Done{}) : Status(CancelledError());
}

template <typename Visit>
bool ContextIndex::forEachContext(int half, const Cancellation *cancel, Visit visit) const
{
    const qsizetype middle = (m_source.size() - m_length) / 2;
    const qsizetype first = half == 1 ? middle : 0;
    const qsizetype last = half == 0 ? middle : m_source.size() - m_length;
    // Copies in locals: a visit's stores to bytes could otherwise be the
    // members', which the loop would read again after each one.
    const ContextRank *rank = m_alphabet.rank.data();
    const char16_t *text = m_text;
    const ContextKeys keys = m_keys;
    const int length = m_length;
    std::uint64_t rolling = 0;
    for (int i = 0; i + 1 < length; ++i)
        rolling = keys.in(rolling, rank[text[first + i]]);
    for (qsizetype start = first; start < last; start += m_tuning.cancellationStride) {
        if (IsCancelled(cancel))
            return false;
        const qsizetype end = std::min(last, start + m_tuning.cancellationStride);
        for (qsizetype p = start; p < end; ++p) {
            rolling = keys.in(rolling, rank[text[p + length - 1]]);
            if (text[p + length] != u'\n') {
                const std::uint64_t key = keys.key(rolling);
                if (!visit(p, key, MixBits(key)))
                    return false;
            }
            rolling = keys.out(rolling, rank[text[p]]);
        }
    }
    return true;
}

template <typename Visit>
bool ContextIndex::forEachContextInHalves(const Cancellation *cancel, Visit visit) const
{
    bool finished[2] = {};
    RunSideBySide([&] { finished[0] = forEachContext(0, cancel, visit(0)); },
                  [&] { finished[1] = forEachContext(1, cancel, visit(1)); });
    return finished[0] && finished[1];
}

template <typename Classify>
bool ContextIndex::dealOut(std::array<std::vector<std::uint32_t>, 2> &next, bool withFollowing,
                           const Cancellation *cancel, Classify classify)
{
    return forEachContextInHalves(cancel, [&](int half) {
        return [&, place = next[size_t(half)].data()](qsizetype p, auto key, auto hash) {
            const std::uint32_t at = place[classify(p, key, hash)]++;
            m_positions[at] = SourcePosition(p);
            if (withFollowing)
                m_following[at] = followingRank(p);
            return true;
        };
    });
}

// Checks that the positions and `otherBytes` more fit, then allocates them.
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
    // Counted in one pass, with each context's count in the first half on
    // the side: the second half's positions go after the first half's.
    std::vector<std::uint32_t> inFirstHalf(table.capacity());
    const qsizetype middle = (m_source.size() - m_length) / 2;
    qsizetype positions = 0;
    bool full = false;
    const auto count = [&](qsizetype p, std::uint64_t key, std::uint64_t hash) {
        const size_t slot = table.count(key, hash, SourcePosition(p));
        full = slot == CountingTable::kFull;
        if (!full)
            inFirstHalf[slot] += p < middle;
        ++positions;
        return !full;
    };
    const bool counted = forEachContext(0, cancel, count) && forEachContext(1, cancel, count);
    if (full)
        return Outcome::DoesNotSuit;
    if (!counted)
        return Outcome::Cancelled;
    const Status fits = allocatePositions(positions, 0);
    if (!fits)
        return fits.error();

    std::array<std::vector<std::uint32_t>, 2> next;
    table.layOut(0, next[0]);
    next[1] = next[0];
    for (size_t slot = 0; slot < table.capacity(); ++slot)
        next[1][slot] += inFirstHalf[slot];
    if (!dealOut(next, m_keepFollowing, cancel,
                 [&](qsizetype p, std::uint64_t key, std::uint64_t hash) {
                     return table.find(key, hash, SourcePosition(p));
                 }))
        return Outcome::Cancelled;
    // The one table keeps its keys when they are exact: a lookup then
    // needs no read of the positions and the text to confirm a slot.
    m_tables.push_back(table.keep(0, m_keys.exact()));
    return Outcome::Built;
}

Result<ContextIndex::Outcome> ContextIndex::buildPartitions(const Cancellation *cancel)
{
    // The census: per half of the text, the distinct contexts (an estimate)
    // and the positions per bucket of the hash's countingBits high bits.
    std::array<DistinctCounter, 2> distinct;
    const std::vector<std::uint32_t> none(size_t(1) << m_tuning.countingBits, 0);
    std::array<std::vector<std::uint32_t>, 2> buckets{none, none};
    const int shift = 64 - m_tuning.countingBits;
    if (!forEachContextInHalves(cancel, [&](int half) {
            return [&, half](qsizetype, std::uint64_t, std::uint64_t hash) {
                distinct[size_t(half)].add(hash);
                ++buckets[size_t(half)][hash >> shift];
                return true;
            };
        }))
        return Outcome::Cancelled;
    distinct[0].add(distinct[1]);
    qsizetype positions = 0;
    for (const std::vector<std::uint32_t> &counts : buckets)
        positions += std::accumulate(counts.begin(), counts.end(), qsizetype(0));

    const double contexts = std::min(double(positions), distinct[0].estimate());
    const double wanted = std::max(contexts / m_tuning.contextsPerPartition,
                                   double(positions) / m_tuning.positionsPerPartition);
    m_partitionBits = std::clamp(int(std::ceil(std::log2(wanted))), 1, m_tuning.countingBits);
    const size_t partitions = size_t(1) << m_partitionBits;
    const double mean = contexts / double(partitions);
    const size_t planned = size_t(mean + m_tuning.spread * std::sqrt(mean)) + 1;

    // Each partition's stretch, and where each half's positions go in it.
    std::array<std::vector<std::uint32_t>, 2> next;
    std::vector<std::uint32_t> ends;
    std::uint32_t largest = 0;
    m_tables.resize(partitions);
    const size_t per = buckets[0].size() >> m_partitionBits;
    for (size_t p = 0, start = 0; p < partitions; ++p) {
        const auto in = [&](int half) {
            const auto first = buckets[size_t(half)].begin() + std::ptrdiff_t(p * per);
            return std::accumulate(first, first + std::ptrdiff_t(per), std::uint32_t(0));
        };
        const std::uint32_t first = in(0), size = first + in(1);
        m_tables[p].base = std::uint32_t(start);
        next[0].push_back(std::uint32_t(start));
        next[1].push_back(std::uint32_t(start + first));
        start += size;
        ends.push_back(std::uint32_t(start));
        largest = std::max(largest, size);
    }
    // The kept tables, then each thread's counting table and what it
    // gathers of the largest partition (key, slot, position, rank).
    const auto slotsPerTable = std::int64_t(double(planned) / m_tuning.load) + 1;
    const Status fits = allocatePositions(
        positions, slotsPerTable * std::int64_t(partitions * sizeof(KeptSlot)) +
                       2 * (slotsPerTable * std::int64_t(sizeof(CountingTable::Slot)) +
                            std::int64_t(largest) * 17));
    if (!fits)
        return fits.error();
    if (!dealOut(next, false, cancel, [this](qsizetype, std::uint64_t, std::uint64_t hash) {
            return PartitionOf(hash, m_partitionBits);
        }))
        return Outcome::Cancelled;

    // Two threads take the partitions one at a time, so that a thread the
    // system lets run less does less.
    std::atomic<int> unclaimed{0}, regrown{0};
    std::atomic<bool> failed{false};
    bool finished[2] = {};
    const auto index = [&](int thread) {
        try {
            finished[thread] = indexPartitions(ends, planned, unclaimed, regrown, cancel);
        } catch (const std::bad_alloc &) {
            failed = true;
        }
    };
    RunSideBySide([&] { index(0); }, [&] { index(1); });
    if (failed)
        throw std::bad_alloc();
    m_regrownPartitions = regrown;
    return finished[0] && finished[1] ? Outcome::Built : Outcome::Cancelled;
}

// A partition's table is filled in this thread's own memory, which the
// cache keeps from one partition to the next.
bool ContextIndex::indexPartitions(const std::vector<std::uint32_t> &ends, size_t planned,
                                   std::atomic<int> &unclaimed, std::atomic<int> &regrown,
                                   const Cancellation *cancel)
{
    CountingTable table(m_text, m_length, m_keys.exact(), m_partitionBits, m_tuning.load);
    std::vector<std::uint64_t> keys;
    std::vector<std::uint32_t> slotOf, next;
    std::vector<SourcePosition> dealt;
    std::vector<std::uint8_t> following;
    const auto ahead = size_t(m_tuning.readAhead);
    const auto stride = size_t(m_tuning.cancellationStride);
    for (int partition = unclaimed++; partition < int(m_tables.size()); partition = unclaimed++) {
        if (IsCancelled(cancel))
            return false;
        KeptTable &kept = m_tables[size_t(partition)];
        SourcePosition *positions = m_positions.data() + kept.base;
        const size_t size = ends[size_t(partition)] - kept.base;
        keys.resize(size);
        slotOf.resize(size);
        following.resize(m_keepFollowing ? size : 0);
        // The text is read at random, with the reads asked for well ahead;
        // the table is probed afterwards, so that the two waits do not add up.
        // A partition may hold most positions: the reads look at `cancel`.
        for (size_t start = 0; start < size; start += stride) {
            if (IsCancelled(cancel))
                return false;
            for (size_t i = start; i < std::min(size, start + stride); ++i) {
                if (i + ahead < size)
                    __builtin_prefetch(m_text + positions[i + ahead]);
                keys[i] = keyAt(m_text + positions[i]);
                if (m_keepFollowing)
                    following[i] = followingRank(positions[i]);
            }
        }
        // A partition holds at most as many contexts as positions; one that
        // holds more than planned is counted again in a table twice as big.
        for (size_t room = std::min(size, planned);; room *= 2) {
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
            ++regrown;
        }
        table.layOut(0, next);
        dealt.assign(positions, positions + size);
        for (size_t i = 0; i < size; ++i) {
            const std::uint32_t place = next[slotOf[i]]++;
            positions[place] = dealt[i];
            if (m_keepFollowing)
                m_following[kept.base + place] = following[i];
        }
        kept = table.keep(kept.base, false);
    }
    return true;
}

Occurrences ContextIndex::lookUp(const char16_t *context) const
{
    // A character the source lacks has rank 0: its context is in no slot.
    const std::uint64_t key = keyAt(context);
    const std::uint64_t hash = MixBits(key);
    const KeptTable &table = m_tables[PartitionOf(hash, m_partitionBits)];
    const size_t capacity = table.entries.size();
    for (size_t slot = HomeSlot(hash, m_partitionBits, capacity);;
         slot = slot + 1 == capacity ? 0 : slot + 1) {
        const KeptSlot &kept = table.entries[slot];
        if (kept.tag == 0)
            return Occurrences();
        const std::uint32_t begin = table.begin(slot);
        if (kept.tag != TagOf(hash))
            continue;
        if (table.keys.empty()
                ? std::equal(context, context + m_length, m_text + m_positions[begin])
                : table.keys[slot] == key) {
            const std::span<const SourcePosition> group(m_positions.data() + begin,
                                                        kept.end - begin);
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
    if (context.size() == m_length && !m_tables.empty())
        return lookUp(reinterpret_cast<const char16_t *>(context.utf16()));
    // On a source no longer than the context length the generator asks
    // about the whole source, which nothing follows.
    if (context.size() == m_source.size() && m_source.size() <= m_length)
        return Occurrences();
    return InternalGeneratorError(
        QStringLiteral("context of %1 characters asked at context length %2 of %3")
            .arg(context.size())
            .arg(m_length)
            .arg(m_source.size()));
}
