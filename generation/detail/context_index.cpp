#include "context_index.h"

#include "distinct_counter.h"
#include "memory_budget.h"
#include "seed_words.h"
#include "side_by_side.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>

ContextIndex::ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning,
                           const Cancellation *cancel)
    : m_source(source), m_text(reinterpret_cast<const char16_t *>(source.utf16())),
      m_length(contextLength), m_tuning(tuning),
      m_alphabet(RankAlphabet(m_text, source.size(), cancel, tuning.cancellationStride)),
      m_keys(m_alphabet.bits, contextLength, tuning.keyBits),
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
    const qsizetype all = m_source.size() - m_length, middle = all / 2;
    const qsizetype first = half ? middle : 0, last = half ? all : middle;
    // Locals, which a visit's stores cannot alias, unlike the members.
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
    return RunSideBySide([&] { return forEachContext(0, cancel, visit(0)); },
                         [&] { return forEachContext(1, cancel, visit(1)); });
}

template <typename Classify>
bool ContextIndex::dealOut(Places &next, const Cancellation *cancel, Classify classify)
{
    return forEachContextInHalves(cancel, [&](int half) {
        return [&, place = next[size_t(half)].data()](qsizetype p, auto key, auto hash) {
            const std::uint32_t at = place[classify(p, key, hash)]++;
            m_positions[at] = SourcePosition(p);
            if (m_following)
                m_following[at] = followingRank(p);
            return true;
        };
    });
}

Status ContextIndex::allocatePositions(qsizetype positions, std::int64_t otherBytes)
{
    const bool following = m_alphabet.bits <= 8;
    const Status fits = CheckMemoryFor(m_source.size(), m_length + 1,
                                       std::int64_t(positions) * (4 + following) + otherBytes);
    if (fits)
        m_positions = LargeArray<SourcePosition>(size_t(positions));
    if (fits && following)
        m_following = LargeArray<std::uint8_t>(size_t(positions));
    if (fits && (!m_positions || (following && !m_following)))
        throw std::bad_alloc();
    return fits;
}

Result<ContextIndex::Outcome> ContextIndex::buildOneTable(const Cancellation *cancel)
{
    CountingTable table(m_text, m_length, m_keys.exact(), 0, m_tuning.load);
    table.reset(m_tuning.fewContexts);
    // Counted in one pass, with each context's count in the first half on
    // the side: the second half's positions go after the first half's.
    std::vector<std::uint32_t> inFirstHalf(table.capacity());
    bool full = false;
    const auto count = [&](int half) {
        return [&, half](qsizetype p, std::uint64_t key, std::uint64_t hash) {
            const std::uint32_t slot = table.count(key, hash, SourcePosition(p));
            full = slot == CountingTable::kFull;
            if (!full)
                inFirstHalf[slot] += half == 0;
            return !full;
        };
    };
    if (!(forEachContext(0, cancel, count(0)) && forEachContext(1, cancel, count(1))))
        return full ? Outcome::DoesNotSuit : Outcome::Cancelled;
    Places next;
    m_tables.push_back(table.layOut(0, next[0]));
    const Status fits = allocatePositions(m_tables[0].entries.back().end, 0);
    if (!fits)
        return fits.error();
    std::transform(next[0].begin(), next[0].end(), inFirstHalf.begin(), std::back_inserter(next[1]),
                   std::plus<>());
    const auto slotOf = [&](qsizetype p, std::uint64_t key, std::uint64_t hash) {
        return table.find(key, hash, SourcePosition(p));
    };
    return dealOut(next, cancel, slotOf) ? Outcome::Built : Outcome::Cancelled;
}

Result<ContextIndex::Outcome> ContextIndex::buildPartitions(const Cancellation *cancel)
{
    // The census, per half of the text: the distinct contexts (an estimate)
    // and the positions per bucket of the hash's kCensusBits high bits.
    constexpr int kCensusBits = 16; // the most partition bits there can be
    std::array<DistinctCounter, 2> distinct;
    Places buckets{std::vector<std::uint32_t>(1 << kCensusBits),
                   std::vector<std::uint32_t>(1 << kCensusBits)};
    if (!forEachContextInHalves(cancel, [&](int half) {
            return [&distinct = distinct[size_t(half)], count = buckets[size_t(half)].data()](
                       qsizetype, std::uint64_t, std::uint64_t hash) {
                distinct.add(hash);
                ++count[hash >> (64 - kCensusBits)];
                return true;
            };
        }))
        return Outcome::Cancelled;
    distinct[0].add(distinct[1]);
    const auto positions = double(m_source.size() - m_length); // at most
    const double contexts = std::min(positions, distinct[0].estimate());
    const double wanted = std::max(contexts / m_tuning.contextsPerPartition,
                                   positions / m_tuning.positionsPerPartition);
    m_partitionBits = std::clamp(int(std::ceil(std::log2(wanted))), 1, kCensusBits);
    const size_t partitions = size_t(1) << m_partitionBits;
    const double mean = contexts / double(partitions);
    const size_t planned = size_t(mean + m_tuning.spread * std::sqrt(mean)) + 1;

    // Each partition's stretch, and where each half's positions go in it.
    Places next{std::vector<std::uint32_t>(partitions), std::vector<std::uint32_t>(partitions)};
    for (size_t half = 0; half < 2; ++half)
        for (size_t b = 0; b < buckets[half].size(); ++b)
            next[half][b >> (kCensusBits - m_partitionBits)] += buckets[half][b];
    std::uint32_t start = 0, largest = 0;
    m_tables.resize(partitions);
    for (size_t p = 0; p < partitions; ++p) {
        const std::uint32_t first = next[0][p], size = first + next[1][p];
        m_tables[p].base = next[0][p] = start;
        next[1][p] = start + first;
        largest = std::max(largest, size);
        start += size;
    }
    // The kept tables and each thread's counting table; what the threads
    // gather of their partitions (key, slot, position, rank): one may have the
    // largest, the other at most as many as the rest, or the largest again.
    const auto tableSlots = std::int64_t(double(planned) / m_tuning.load) + 1;
    const Status fits = allocatePositions(
        start,
        tableSlots * std::int64_t(partitions * sizeof(KeptSlot) + 2 * sizeof(CountingTable::Slot)) +
            std::int64_t(largest + std::min(largest, start - largest)) * 17);
    if (!fits)
        return fits.error();
    const auto partitionOf = [this](qsizetype, std::uint64_t, std::uint64_t hash) {
        return PartitionOf(hash, m_partitionBits);
    };
    if (!dealOut(next, cancel, partitionOf))
        return Outcome::Cancelled;

    // Two threads take the partitions one at a time (a thread the system lets
    // run less does less); each stretch now ends where its second half does.
    std::atomic<int> unclaimed{0};
    const auto index = [&] { return indexPartitions(next[1], planned, unclaimed, cancel); };
    return RunSideBySide(index, index) ? Outcome::Built : Outcome::Cancelled;
}

bool ContextIndex::indexPartitions(const std::vector<std::uint32_t> &ends, size_t planned,
                                   std::atomic<int> &unclaimed, const Cancellation *cancel)
{
    CountingTable table(m_text, m_length, m_keys.exact(), m_partitionBits, m_tuning.load);
    std::vector<std::uint64_t> keys;
    std::vector<std::uint32_t> slotOf, next;
    std::vector<SourcePosition> dealt;
    std::vector<std::uint8_t> following;
    // Counts the first `size` keys in a table with room for `room` contexts.
    const auto countAll = [&](const SourcePosition *positions, size_t size, size_t room) {
        table.reset(room);
        for (size_t i = 0; i < size; ++i)
            if ((slotOf[i] = table.count(keys[i], MixBits(keys[i]), positions[i])) ==
                CountingTable::kFull)
                return false;
        return true;
    };
    const auto ahead = size_t(m_tuning.readAhead), stride = size_t(m_tuning.cancellationStride);
    for (int partition = unclaimed++; partition < int(m_tables.size()); partition = unclaimed++) {
        KeptTable &kept = m_tables[size_t(partition)];
        SourcePosition *positions = m_positions.data() + kept.base;
        const size_t size = ends[size_t(partition)] - kept.base;
        keys.resize(size);
        slotOf.resize(size);
        following.resize(m_following ? size : 0);
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
                if (m_following)
                    following[i] = followingRank(positions[i]);
            }
        }
        // A partition holds at most as many contexts as positions; one that
        // holds more than planned is counted again in a table twice as big.
        for (size_t room = std::min(size, planned); !countAll(positions, size, room); room *= 2)
            ++m_regrown;
        kept = table.layOut(kept.base, next);
        dealt.assign(positions, positions + size);
        for (size_t i = 0; i < size; ++i) {
            const std::uint32_t place = next[slotOf[i]]++;
            m_positions[place] = dealt[i];
            if (m_following)
                m_following[place] = following[i];
        }
    }
    return true;
}

Result<std::span<const SourcePosition>> ContextIndex::seedWordStarts()
{
    return std::span<const SourcePosition>(m_seedWordStarts);
}

Result<Occurrences> ContextIndex::occurrences(QStringView asked)
{
    // On a source no longer than the context length the generator asks
    // about the whole source, which nothing follows.
    if (asked.size() == m_source.size() && m_source.size() <= m_length)
        return Occurrences();
    if (asked.size() != m_length || m_tables.empty())
        return InternalGeneratorError(
            QString::asprintf("context of %lld characters asked at context length %d of %lld",
                              qlonglong(asked.size()), m_length, qlonglong(m_source.size())));
    const auto *context = reinterpret_cast<const char16_t *>(asked.utf16());
    // A context with a character the source lacks (rank 0) fails every text check.
    const std::uint64_t hash = MixBits(keyAt(context));
    const KeptTable &table = m_tables[PartitionOf(hash, m_partitionBits)];
    for (size_t slot = HomeSlot(hash, m_partitionBits, table.entries.size());;
         slot = slot + 1 == table.entries.size() ? 0 : slot + 1) {
        const KeptSlot &kept = table.entries[slot];
        if (kept.tag == 0)
            return Occurrences();
        const std::uint32_t begin = slot ? table.entries[slot - 1].end : table.base;
        if (kept.tag != TagOf(hash) ||
            !std::equal(context, context + m_length, m_text + m_positions[begin]))
            continue;
        const std::span<const SourcePosition> group(m_positions.data() + begin, kept.end - begin);
        if (m_following)
            return Occurrences(group, m_following.data() + begin, m_alphabet.characters.data());
        return Occurrences(group, m_text, m_length);
    }
}
