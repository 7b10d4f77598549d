#include "context_index.h"

#include <algorithm>

template <typename Key> bool ContextIndex<Key>::allocatePositions(qsizetype positions)
{
    m_positions = LargeArray<SourcePosition>(size_t(positions));
    if (m_keepFollowing)
        m_following = LargeArray<std::uint8_t>(size_t(positions));
    return m_positions && (m_following || !m_keepFollowing);
}

template <typename Key> Status ContextIndex<Key>::build(const Cancellation *cancel)
{
    if (m_source.size() <= m_contextLength)
        return Done{};

    // Few contexts (short ones, or a text with few words) are counted
    // straight into one table that the cache holds.
    Status built = buildOneTable(kFewContextsCapacity, size_t(kPartitionAbove), cancel);
    if (built || !gaveUp(built))
        return built;

    auto census = std::make_unique<Census>();
    if (!takeCensus(*census, cancel))
        return CancelledError();
    built = buildPartitions(*census, cancel);
    if (built || !gaveUp(built))
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

template <typename Key> Occurrences ContextIndex<Key>::lookUp(const char16_t *context) const
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
Occurrences ContextIndex<Key>::group(std::uint32_t begin, std::uint32_t end) const
{
    const std::span<const SourcePosition> positions(m_positions.data() + begin,
                                                    size_t(end - begin));
    if (m_keepFollowing)
        return Occurrences(positions, m_following.data() + begin, m_characters.data());
    return Occurrences(positions, text(), m_contextLength);
}

template <typename Key> Occurrences ContextIndex<Key>::scanShortSource(QStringView context)
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

template class ContextIndex<std::uint64_t>;
template class ContextIndex<ContextKey128>;
template class ContextIndex<ContextKey144>;
