#include "context_index.h"

#include "distinct_counter.h"
#include "memory_budget.h"
#include "seed_words.h"
#include "side_by_side.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

// What a thread holds while it reorders a partition, per position: its key,
// its slot, a copy of it and its follower's rank. Grown only, and left
// uninitialised: making room for a partition that holds most positions is no
// pass of its own, which could not look at the cancellation.
struct PartitionWork {
    std::unique_ptr<std::uint64_t[]> keyOf;
    std::unique_ptr<std::uint32_t[]> slotOf;
    std::unique_ptr<SourcePosition[]> dealt;
    std::unique_ptr<FollowerRank[]> rankAfter;
    size_t room = 0;

    void makeRoom(size_t positions)
    {
        if (positions <= room)
            return;
        *this = PartitionWork(); // the old arrays go before the new ones come
        keyOf.reset(new std::uint64_t[positions]);
        slotOf.reset(new std::uint32_t[positions]);
        dealt.reset(new SourcePosition[positions]);
        rankAfter.reset(new FollowerRank[positions]);
        room = positions;
    }
    static constexpr std::int64_t bytesPerPosition()
    {
        return sizeof(decltype(keyOf)::element_type) + sizeof(decltype(slotOf)::element_type) +
               sizeof(decltype(dealt)::element_type) + sizeof(decltype(rankAfter)::element_type);
    }
};

} // namespace

ContextIndex::ContextIndex(const QString &source, int contextLength, const IndexTuning &tuning,
                           const Cancellation *cancel)
    : m_source(source), m_text(reinterpret_cast<const char16_t *>(source.utf16())),
      m_length(contextLength), m_tuning(tuning), m_cancel(cancel),
      m_alphabet(RankAlphabet(m_text, source.size(), cancel, tuning.cancellationStride)),
      m_keys(m_alphabet.bits, contextLength, tuning.keyBits),
      m_seedWordStarts(FindSeedWordStarts(m_text, source.size(), contextLength, cancel,
                                          tuning.cancellationStride))
{
}

Status ContextIndex::build()
{
    if (stopped()) // the alphabet and the seed words may be cut short
        return CancelledError();
    if (m_source.size() <= m_length)
        return Done{};
    Result<Outcome> outcome = buildOneTable();
    if (outcome && outcome.value() == Outcome::DoesNotSuit)
        outcome = buildPartitions();
    if (!outcome)
        return outcome.error();
    return outcome.value() == Outcome::Built ? Status(Done{}) : Status(CancelledError());
}

template <typename Visit> bool ContextIndex::forEachContext(int half, Visit visit) const
{
    const qsizetype all = m_source.size() - m_length, middle = all / 2;
    const qsizetype first = half ? middle : 0, last = half ? all : middle;
    // Locals, which a visit's stores cannot alias, unlike the members.
    const char16_t *text = m_text;
    const int length = m_length;
    const ContextRank *rank = m_alphabet.rank.data();
    const ContextKeys keys = m_keys;
    std::uint64_t rolling = keys.before(rank, text + first);
    return InStrides(
        first, last, m_tuning.cancellationStride, [this] { return stopped(); },
        [&](qsizetype p) {
            const std::uint64_t key = keys.next(rolling, rank, text + p);
            return text[p + length] == u'\n' || visit(p, key, MixBits(key));
        });
}

template <typename Visit> bool ContextIndex::forEachContextInHalves(Visit visit)
{
    return RunSideBySide(
        m_sideFailed, [&] { return forEachContext(0, visit(0)); },
        [&] { return forEachContext(1, visit(1)); });
}

template <typename Classify>
bool ContextIndex::dealOut(const std::vector<Stretch> &stretches, Classify classify)
{
    std::array<std::vector<std::uint32_t>, 2> next; // per half, where its next position goes
    for (const Stretch &stretch : stretches) {
        next[0].push_back(stretch.begin);
        next[1].push_back(stretch.secondHalf);
    }
    if (!forEachContextInHalves([&](int half) {
            return [&, place = next[size_t(half)].data()](qsizetype p, auto key, auto hash) {
                const std::uint32_t at = place[classify(p, key, hash)]++;
                m_positions[at] = SourcePosition(p);
                if (m_followerRanks)
                    m_followerRanks[at] = followerRank(p);
                return true;
            };
        }))
        return false;
    for (size_t i = 0; i < stretches.size(); ++i)
        Ensure(next[0][i] == stretches[i].secondHalf && next[1][i] == stretches[i].end,
               "the deal fills each stretch exactly as counted");
    return true;
}

Status ContextIndex::allocatePositions(qsizetype positions, std::int64_t otherBytes)
{
    Ensure(positions <= std::numeric_limits<std::uint32_t>::max(), "group ends fit in 32 bits");
    const bool keepFollowers = m_alphabet.characters.size() - 1 <= kMaxKeptRank;
    const std::int64_t bytesPerPosition =
        sizeof(SourcePosition) + (keepFollowers ? sizeof(FollowerRank) : 0);
    const Status fits = CheckMemoryFor(m_source.size(), m_length + 1,
                                       std::int64_t(positions) * bytesPerPosition + otherBytes);
    if (fits)
        m_positions = LargeArray<SourcePosition>(size_t(positions));
    if (fits && keepFollowers)
        m_followerRanks = LargeArray<FollowerRank>(size_t(positions));
    if (fits && (!m_positions || (keepFollowers && !m_followerRanks)))
        throw std::bad_alloc();
    return fits;
}

Result<ContextIndex::Outcome> ContextIndex::buildOneTable()
{
    CountingTable counting(m_text, m_length, m_keys.exact(), 0, m_tuning.load);
    counting.reset(m_tuning.fewContexts);
    // Counted in one pass, with each context's count in the first half on
    // the side: the second half's positions go after the first half's.
    std::vector<std::uint32_t> inFirstHalf(counting.capacity());
    bool full = false;
    const auto count = [&](int half) {
        return [&, half](qsizetype p, std::uint64_t key, std::uint64_t hash) {
            const std::uint32_t slot = counting.count(key, hash, SourcePosition(p));
            full = slot == CountingTable::kFull;
            if (!full)
                inFirstHalf[slot] += half == 0;
            return !full;
        };
    };
    if (!(forEachContext(0, count(0)) && forEachContext(1, count(1))))
        return full ? Outcome::DoesNotSuit : Outcome::Cancelled;
    std::vector<std::uint32_t> groupBegin;
    m_tables.push_back(counting.layOut(0, groupBegin));
    const std::vector<KeptSlot> &entries = m_tables[0].entries;
    std::vector<Stretch> groups;
    for (size_t slot = 0; slot < entries.size(); ++slot)
        groups.push_back(
            {groupBegin[slot], groupBegin[slot] + inFirstHalf[slot], entries[slot].end});
    const Status fits = allocatePositions(entries.back().end, 0);
    if (!fits)
        return fits.error();
    const auto slotOf = [&](qsizetype p, std::uint64_t key, std::uint64_t hash) {
        return counting.find(key, hash, SourcePosition(p));
    };
    return dealOut(groups, slotOf) ? Outcome::Built : Outcome::Cancelled;
}

Result<ContextIndex::Outcome> ContextIndex::buildPartitions()
{
    // The census, per half of the text: the distinct contexts (an estimate)
    // and the positions in each of the finest partitions there can be.
    std::array<DistinctCounter, 2> distinct;
    std::array<std::vector<std::uint32_t>, 2> census;
    census.fill(std::vector<std::uint32_t>(size_t(1) << kCensusBits));
    if (!forEachContextInHalves([&](int half) {
            return [&distinct = distinct[size_t(half)], count = census[size_t(half)].data()](
                       qsizetype, std::uint64_t, std::uint64_t hash) {
                distinct.add(hash);
                ++count[PartitionOf(hash, kCensusBits)];
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

    // Each partition's positions per half, from the census's partitions it
    // covers (the hash bits each stands for, put back in place), then its stretch.
    std::vector<std::array<std::uint32_t, 2>> inPartition(partitions);
    for (size_t half = 0; half < 2; ++half)
        for (size_t b = 0; b < census[half].size(); ++b)
            inPartition[PartitionOf(std::uint64_t(b) << (64 - kCensusBits), m_partitionBits)]
                       [half] += census[half][b];
    std::vector<Stretch> stretches;
    std::uint32_t end = 0, largest = 0;
    for (const auto &[first, second] : inPartition) {
        stretches.push_back({end, end + first, end + first + second});
        end = stretches.back().end;
        largest = std::max(largest, first + second);
    }
    m_tables.resize(partitions);
    // The kept tables and each thread's counting table; what the threads
    // hold of their partitions: one may have the largest, the other at most
    // as many as the rest, or the largest again.
    const auto tableSlots = std::int64_t(double(planned) / m_tuning.load) + 1;
    const Status fits =
        allocatePositions(end, tableSlots * std::int64_t(partitions * sizeof(KeptSlot) +
                                                         2 * sizeof(CountingTable::Slot)) +
                                   std::int64_t(largest + std::min(largest, end - largest)) *
                                       PartitionWork::bytesPerPosition());
    if (!fits)
        return fits.error();
    const auto partitionOf = [this](qsizetype, std::uint64_t, std::uint64_t hash) {
        return PartitionOf(hash, m_partitionBits);
    };
    if (!dealOut(stretches, partitionOf))
        return Outcome::Cancelled;

    // Two threads take the partitions one at a time (a thread the system lets
    // run less does less).
    std::atomic<int> unclaimed{0};
    const auto index = [&] { return indexPartitions(stretches, planned, unclaimed); };
    return RunSideBySide(m_sideFailed, index, index) ? Outcome::Built : Outcome::Cancelled;
}

bool ContextIndex::indexPartitions(const std::vector<Stretch> &stretches, size_t planned,
                                   std::atomic<int> &unclaimed)
{
    CountingTable counting(m_text, m_length, m_keys.exact(), m_partitionBits, m_tuning.load);
    PartitionWork work;
    std::vector<std::uint32_t> groupBegin;
    const auto stopped = [this] { return this->stopped(); };
    const qsizetype ahead = m_tuning.readAhead, stride = m_tuning.cancellationStride;
    for (int partition = unclaimed++; partition < int(m_tables.size()); partition = unclaimed++) {
        const Stretch stretch = stretches[size_t(partition)];
        const SourcePosition *positions = m_positions.data() + stretch.begin;
        const qsizetype size = stretch.end - stretch.begin;
        work.makeRoom(size_t(size));
        // The text is read at random, with the reads asked for well ahead;
        // the table is probed afterwards, so that the two waits do not add up.
        if (!InStrides(0, size, stride, stopped, [&](qsizetype i) {
                if (i + ahead < size)
                    __builtin_prefetch(m_text + positions[i + ahead]);
                work.dealt[i] = positions[i];
                work.keyOf[i] = keyAt(m_text + positions[i]);
                if (m_followerRanks)
                    work.rankAfter[i] = followerRank(positions[i]);
                return true;
            }))
            return false;
        // A partition holds at most as many contexts as positions; one that
        // holds more than planned is counted again in a table twice as big.
        for (size_t room = std::min(size_t(size), planned);; room *= 2, ++m_regrown) {
            counting.reset(room);
            bool full = false;
            if (InStrides(0, size, stride, stopped, [&](qsizetype i) {
                    const std::uint64_t key = work.keyOf[i];
                    work.slotOf[i] = counting.count(key, MixBits(key), positions[i]);
                    full = work.slotOf[i] == CountingTable::kFull;
                    return !full;
                }))
                break;
            if (!full)
                return false;
        }
        m_tables[size_t(partition)] = counting.layOut(stretch.begin, groupBegin);
        if (!InStrides(0, size, stride, stopped, [&](qsizetype i) {
                const std::uint32_t place = groupBegin[work.slotOf[i]]++;
                m_positions[place] = work.dealt[i];
                if (m_followerRanks)
                    m_followerRanks[place] = work.rankAfter[i];
                return true;
            }))
            return false;
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
    const KeptTable::Group group =
        m_tables[PartitionOf(hash, m_partitionBits)].find(hash, [&](std::uint32_t begin) {
            return std::equal(context, context + m_length, m_text + m_positions[begin]);
        });
    const std::span<const SourcePosition> positions(m_positions.data() + group.begin,
                                                    group.end - group.begin);
    if (m_followerRanks)
        return Occurrences(positions, m_followerRanks.data() + group.begin,
                           m_alphabet.characters.data());
    return Occurrences(positions, m_text, m_length);
}
