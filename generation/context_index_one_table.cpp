#include "context_index.h"

#include "side_by_side.h"

#include <array>
#include <new>

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
bool ContextIndex<Key>::probeInBatches(const Cancellation *cancel, Visit visit, const bool *enough)
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

// Builds the index with one table of `capacity` slots (doubled as needed),
// or gives up with tooManyError() as soon as there are more than `mostContexts`.
template <typename Key>
Status ContextIndex<Key>::buildOneTable(size_t capacity, size_t mostContexts,
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
        return tooManyError();
    if (!counted)
        return CancelledError();

    const Status fitsToo = checkMemoryFor(std::int64_t(positions) * positionBytes());
    if (!fitsToo)
        return fitsToo;
    if (!allocatePositions(positions))
        throw std::bad_alloc();
    m_table.layOut(0);
    if (m_table.capacity() <= kSmallTable)
        return placeInHalves(cancel) ? Status(Done{}) : Status(CancelledError());
    const bool finished = probeInBatches(cancel, [&](const Probe<Key> &probe) {
        Table &table = m_table;
        const std::uint32_t place = table.nextPlace(table.find(probe.key, probe.home));
        m_positions[place] = probe.position;
        if (m_keepFollowing)
            m_following[place] = followingRank(probe.position);
    });
    return finished ? Status(Done{}) : Status(CancelledError());
}

// Puts every position in its place in the laid-out table, each half of the
// text by a thread of its own. The table is only read: each thread keeps
// where its next position of each context goes, and since the second half's
// positions of a context go after the first half's, the second thread first
// counts the first half's. For a table small enough that copying its starts
// costs nothing. False when cancelled.
template <typename Key> bool ContextIndex<Key>::placeInHalves(const Cancellation *cancel)
{
    const size_t capacity = m_table.capacity();
    std::array<std::vector<std::uint32_t>, 2> next;
    next[0].resize(capacity);
    for (size_t slot = 0; slot < capacity; ++slot)
        next[0][slot] = m_table.end(slot); // laid out: where the group begins
    next[1] = next[0];

    const auto slotOf = [this](Key key, std::uint64_t hash) {
        return m_table.find(key, m_table.homeOf(hash));
    };
    const auto placer = [&](std::uint32_t *place) {
        return [&, place](qsizetype p, Key key, std::uint64_t hash) {
            const std::uint32_t at = place[slotOf(key, hash)]++;
            m_positions[at] = SourcePosition(p);
            if (m_keepFollowing)
                m_following[at] = followingRank(SourcePosition(p));
        };
    };
    bool finished[2] = {};
    RunSideBySide([&] { finished[0] = forEachContextInHalf(0, cancel, placer(next[0].data())); },
                  [&] {
                      std::uint32_t *place = next[1].data();
                      finished[1] =
                          forEachContextInHalf(0, cancel,
                                               [&](qsizetype, Key key, std::uint64_t hash) {
                                                   ++place[slotOf(key, hash)];
                                               }) &&
                          forEachContextInHalf(1, cancel, placer(place));
                  });
    for (size_t slot = 0; slot < capacity; ++slot)
        m_table.setEnd(slot, next[1][slot]);
    return finished[0] && finished[1];
}

// Doubles the single table when the estimate fell short; every key is
// distinct, so putting them back needs no comparison.
template <typename Key> void ContextIndex<Key>::growOneTable()
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

template class ContextIndex<std::uint64_t>;
template class ContextIndex<ContextKey128>;
template class ContextIndex<ContextKey144>;
