#include "context_index.h"

#include "cancellation.h"
#include "distinct_counter.h"
#include "memory_budget.h"
#include "seed_words.h"
#include "side_by_side.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <new>

namespace {

// What a thread holds per position while it reorders a partition. Left
// uninitialised: making room is then no pass that could not look at the stop.
struct __attribute__((packed)) PartitionWork {
    std::uint64_t key;
    std::uint32_t slot;
    SourcePosition position;
    FollowerRank rankAfter;
};

} // namespace

// A build's own, so that a later run may take the index over once the one that
// built it is gone. Every look tells and asks the caller.
struct ContextIndex::Stop {
    const WorkLook &asked;
    std::atomic<bool> sideFailed{false}; // one side of a pass failed: the other stops
    mutable std::atomic<qint64> told{0}; // positions told of so far
    bool operator()(qint64 units = 0) const
    {
        told.fetch_add(units, std::memory_order_relaxed);
        return (asked && asked(units)) || sideFailed;
    }
};

ContextIndex::ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning)
    : m_source(source), m_text(reinterpret_cast<const char16_t *>(source.utf16())),
      m_length(contextLength), m_tuning(tuning)
{
}

Status ContextIndex::build(const WorkLook &look)
{
    Stop stop{look};
    m_alphabet =
        RankAlphabet(m_text, m_source.size(), std::cref(stop), m_tuning.cancellationStride);
    m_keys = ContextKeys(m_alphabet.bits, m_length, m_tuning.keyBits);
    m_seedWordStarts = FindSeedWordStarts(m_text, m_source.size(), m_length, std::cref(stop),
                                          m_tuning.cancellationStride);
    if (stop()) // the alphabet and the seed words may be cut short
        return CancelledError();
    if (m_source.size() <= m_length)
        return Done{};
    Result<Outcome> outcome = buildOneTable(stop);
    if (outcome && outcome.value() == Outcome::DoesNotSuit)
        outcome = buildPartitions(stop);
    if (!outcome)
        return outcome.error();
    if (outcome.value() != Outcome::Built)
        return CancelledError();
    // What a shorter way of building left untold; a look like any other.
    if (stop(std::max<qint64>(0, Work(m_source) - stop.told)))
        return CancelledError();
    return Done{};
}

template <typename Visit>
bool ContextIndex::forEachContext(Stop &stop, qsizetype first, qsizetype last, Visit visit)
{
    // Locals, which a visit's stores cannot alias, unlike the members.
    const char16_t *text = m_text;
    const int length = m_length;
    const ContextRank *rank = m_alphabet.rank.data();
    const ContextKeys keys = m_keys;
    std::uint64_t rolling = keys.before(rank, text + first);
    return InStrides(first, last, m_tuning.cancellationStride, stop, [&](qsizetype p) {
        const std::uint64_t key = keys.next(rolling, rank, text + p);
        return text[p + length] == u'\n' || visit(p, key, MixBits(key));
    });
}

template <typename VisitOf> bool ContextIndex::forEachContextInHalves(Stop &stop, VisitOf visitOf)
{
    return RunSideBySide(
        stop.sideFailed, [&] { return forEachContext(stop, 0, halfway(), visitOf(0)); },
        [&] { return forEachContext(stop, halfway(), m_source.size() - m_length, visitOf(1)); });
}

template <typename Classify>
bool ContextIndex::dealOut(Stop &stop, const std::vector<Stretch> &stretches, Classify classify)
{
    std::array<std::vector<std::uint32_t>, 2> next; // per half, where its next position goes
    for (const Stretch &stretch : stretches) {
        next[0].push_back(stretch.begin);
        next[1].push_back(stretch.secondHalf);
    }
    const auto deal = [&](std::uint32_t *place) {
        return [&, place](qsizetype p, std::uint64_t key, std::uint64_t hash) {
            const std::uint32_t at = place[classify(p, key, hash)]++;
            m_positions[at] = SourcePosition(p);
            if (m_followerRanks)
                m_followerRanks[at] = followerRank(p);
            return true;
        };
    };
    if (!forEachContextInHalves(stop, [&](int half) { return deal(next[size_t(half)].data()); }))
        return false;
    for (size_t i = 0; i < stretches.size(); ++i)
        Ensure(next[0][i] == stretches[i].secondHalf && next[1][i] == stretches[i].end,
               "the deal fills each stretch exactly as counted");
    return true;
}

Status ContextIndex::allocatePositions(Stop &stop, qsizetype positions, std::int64_t otherBytes)
{
    Ensure(positions <= std::numeric_limits<std::uint32_t>::max(), "group ends fit in 32 bits");
    const bool keepFollowers = m_alphabet.characters.size() - 1 <= kMaxKeptRank;
    m_checkedBytes = positions * std::int64_t(sizeof(SourcePosition) +
                                              (keepFollowers ? sizeof(FollowerRank) : 0)) +
                     otherBytes;
    const Status fits = CheckMemoryFor(m_source.size(), m_length + 1, m_checkedBytes);
    if (!fits)
        return fits;
    m_positions = LargeArray<SourcePosition>(size_t(positions));
    if (keepFollowers)
        m_followerRanks = LargeArray<FollowerRank>(size_t(positions));
    if (!m_positions || (keepFollowers && !m_followerRanks))
        throw std::bad_alloc();
    // The deal writes all over both arrays from its first positions on.
    if (!m_positions.faultIn(size_t(positions), stop) ||
        (keepFollowers && !m_followerRanks.faultIn(size_t(positions), stop)))
        return CancelledError();
    return fits;
}

Result<ContextIndex::Outcome> ContextIndex::buildOneTable(Stop &stop)
{
    CountingTable counting{m_text, m_length, m_keys.exact(), m_partitioning, m_tuning.load};
    counting.reset(std::min(m_tuning.fewContexts, size_t(m_source.size() - m_length)));
    // Counted in one pass, with each context's count in the first half on the
    // side: the second half's positions go after the first half's.
    std::vector<std::uint32_t> inFirstHalf(counting.entries.size());
    const qsizetype middle = halfway();
    bool full = false;
    const auto count = [&](qsizetype p, std::uint64_t key, std::uint64_t hash) {
        const std::uint32_t slot = counting.count(key, hash, SourcePosition(p));
        full = slot == CountingTable::kFull;
        if (!full)
            inFirstHalf[slot] += p < middle;
        return !full;
    };
    if (!forEachContext(stop, 0, m_source.size() - m_length, count))
        return full ? Outcome::DoesNotSuit : Outcome::Cancelled;
    std::vector<std::uint32_t> groupBegin;
    const KeptTable &table = m_tables.emplace_back(counting.layOut(0, groupBegin));
    std::vector<Stretch> groups;
    for (size_t slot = 0; slot < table.entries.size(); ++slot)
        groups.push_back(
            {groupBegin[slot], groupBegin[slot] + inFirstHalf[slot], table.entries[slot].end});
    const Status fits = allocatePositions(stop, table.entries.back().end, 0);
    if (!fits)
        return fits.error();
    const auto slotOf = [&](qsizetype p, std::uint64_t key, std::uint64_t hash) {
        return counting.find(key, hash, SourcePosition(p));
    };
    return dealOut(stop, groups, slotOf) ? Outcome::Built : Outcome::Cancelled;
}

Result<ContextIndex::Outcome> ContextIndex::buildPartitions(Stop &stop)
{
    // The census, per half of the text: the distinct contexts (an estimate)
    // and the positions in each bucket of the finest partitioning there can
    // be, with no more buckets than positions (a short text's census is small).
    std::array<DistinctCounter, 2> distinct;
    const auto positions = std::uint64_t(m_source.size() - m_length);
    const Partitioning finest{std::clamp(int(std::bit_width(positions)), 1, kCensusBits)};
    std::array<std::vector<std::uint32_t>, 2> census;
    census.fill(std::vector<std::uint32_t>(finest.count()));
    const auto take = [&](int half) {
        return [&distinct = distinct[size_t(half)], count = census[size_t(half)].data(),
                finest](qsizetype, std::uint64_t, std::uint64_t hash) {
            distinct.add(hash);
            ++count[finest.of(hash)];
            return true;
        };
    };
    if (!forEachContextInHalves(stop, take))
        return Outcome::Cancelled;
    distinct[0].add(distinct[1]);
    const double contexts = std::min(double(positions), distinct[0].estimate());
    const double wanted = std::max(contexts / m_tuning.contextsPerPartition,
                                   double(positions) / m_tuning.positionsPerPartition);
    m_partitioning.bits = std::clamp(int(std::ceil(std::log2(wanted))), 1, finest.bits);
    m_tables.resize(m_partitioning.count());
    const double mean = contexts / double(m_partitioning.count());
    const size_t planned = size_t(mean + m_tuning.spread * std::sqrt(mean)) + 1;

    // Each partition's positions per half, from the census's buckets it
    // covers, then its stretch.
    std::vector<std::array<std::uint32_t, 2>> inPartition(m_partitioning.count());
    for (size_t half = 0; half < 2; ++half)
        for (size_t b = 0; b < census[half].size(); ++b)
            inPartition[m_partitioning.ofBucket(b, finest)][half] += census[half][b];
    std::vector<Stretch> stretches;
    std::uint32_t end = 0, largest = 0;
    for (const auto &[first, second] : inPartition) {
        stretches.push_back({end, end + first, end + first + second});
        end = stretches.back().end;
        largest = std::max(largest, first + second);
    }
    // The kept tables, each thread's counting table, and what the threads hold:
    // one may have the largest partition, the other the rest or the largest.
    const auto tableSlots = std::int64_t(CountingTable::slotsFor(planned, m_tuning.load));
    const Status fits = allocatePositions(
        stop, end,
        tableSlots * std::int64_t(m_partitioning.count() * sizeof(KeptTable::Slot) +
                                  2 * sizeof(CountingTable::Slot)) +
            std::int64_t(largest + std::min(largest, end - largest)) * sizeof(PartitionWork));
    if (!fits)
        return fits.error();
    if (!dealOut(stop, stretches, [this](qsizetype, std::uint64_t, std::uint64_t hash) {
            return m_partitioning.of(hash);
        }))
        return Outcome::Cancelled;
    // Two threads take the partitions one at a time (a thread the system lets
    // run less does less).
    std::atomic<int> unclaimed{0};
    const auto index = [&] { return indexPartitions(stop, stretches, planned, unclaimed); };
    return RunSideBySide(stop.sideFailed, index, index) ? Outcome::Built : Outcome::Cancelled;
}

bool ContextIndex::indexPartitions(Stop &stop, const std::vector<Stretch> &stretches,
                                   size_t planned, std::atomic<int> &unclaimed)
{
    CountingTable counting{m_text, m_length, m_keys.exact(), m_partitioning, m_tuning.load};
    std::unique_ptr<PartitionWork[]> work;
    size_t room = 0;
    std::vector<std::uint32_t> groupBegin;
    const qsizetype ahead = m_tuning.readAhead, stride = m_tuning.cancellationStride;
    for (int partition = unclaimed++; partition < int(m_tables.size()); partition = unclaimed++) {
        const Stretch stretch = stretches[size_t(partition)];
        const SourcePosition *positions = m_positions.data() + stretch.begin;
        const qsizetype size = stretch.end - stretch.begin;
        if (size_t(size) > room) {
            work.reset(); // the old array goes before the new one comes
            work.reset(new PartitionWork[size_t(size)]);
            room = size_t(size);
        }
        // The text is read at random, with the reads asked for well ahead; the
        // table is probed afterwards, so that the two waits do not add up.
        if (!InStrides(0, size, stride, stop, [&](qsizetype i) {
                if (i + ahead < size)
                    __builtin_prefetch(m_text + positions[i + ahead]);
                work[i] = {keyAt(m_text + positions[i]), 0, positions[i],
                           m_followerRanks ? followerRank(positions[i]) : FollowerRank(0)};
                return true;
            }))
            return false;
        // A partition holds at most as many contexts as positions; one that
        // holds more than planned is counted again in a table twice as big.
        for (size_t contexts = std::min(size_t(size), planned);; contexts *= 2, ++m_regrown) {
            counting.reset(contexts);
            if (InStrides(0, size, stride, stop, [&](qsizetype i) {
                    work[i].slot = counting.count(work[i].key, MixBits(work[i].key), positions[i]);
                    return work[i].slot != CountingTable::kFull;
                }))
                break;
            if (stop())
                return false;
        }
        m_tables[size_t(partition)] = counting.layOut(stretch.begin, groupBegin);
        if (!InStrides(0, size, stride, stop, [&](qsizetype i) {
                const std::uint32_t place = groupBegin[work[i].slot]++;
                m_positions[place] = work[i].position;
                if (m_followerRanks)
                    m_followerRanks[place] = work[i].rankAfter;
                return true;
            }))
            return false;
    }
    return true;
}

IndexShape ContextIndex::shape() const
{
    return {int(m_tables.size()), m_regrown, m_keys.exact(), bool(m_followerRanks), m_checkedBytes};
}

Result<Occurrences> ContextIndex::occurrences(QStringView asked)
{
    // The generator asks about a whole source no longer than a context.
    if (asked.size() == m_source.size() && m_source.size() <= m_length)
        return Occurrences();
    if (asked.size() != m_length || m_tables.empty())
        return InternalGeneratorError(
            QString::asprintf("context of %lld characters asked at context length %d of %lld",
                              qlonglong(asked.size()), m_length, qlonglong(m_source.size())));
    const auto *context = reinterpret_cast<const char16_t *>(asked.utf16());
    // A context with a character the source lacks (rank 0) fails every text check.
    const std::uint64_t hash = MixBits(keyAt(context));
    const KeptTable &table = m_tables[m_partitioning.of(hash)];
    const size_t slot = table.find(hash, [&](std::uint32_t begin) {
        return std::equal(context, context + m_length, m_text + m_positions[begin]);
    });
    const std::uint32_t begin = table.groupBegin(slot),
                        end = table.entries[slot].tag ? table.entries[slot].end : begin;
    const std::span<const SourcePosition> positions(m_positions.data() + begin, end - begin);
    if (m_followerRanks)
        return Occurrences(positions, m_followerRanks.data() + begin, m_alphabet.characters.data());
    return Occurrences(positions, m_text, m_length);
}
