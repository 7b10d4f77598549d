#include "indexed_finder.h"

#include "context_key.h"
#include "large_array.h"
#include "memory_budget.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

// The index: every position p whose context (the contextLength characters
// from p) is followed by a character other than LF, grouped by context, in
// increasing order inside each group, in one array of positions. A group is
// found through an open-addressing table keyed by the context's exact
// packed key (context_key.h); a slot holds the key and where its group ends.
//
// Building takes three sequential passes over the text, each computing the
// keys rolling: the first estimates how many distinct contexts there are
// (so that the table is allocated once, at its final size, after checking
// that the memory is there), the second counts each context's positions,
// and, after the counts have become group boundaries, the third puts every
// position in its place. The second and third passes touch a table far
// bigger than the cache at random; they prefetch the slots of a batch of
// positions before visiting them, so that the cache misses overlap. Nothing
// as long as the text is kept besides the positions themselves.

namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr int kBatch = 16;
// The table is sized for this load at the estimated count of contexts and
// grows (doubling) only if the estimate was short by more than 20%.
constexpr double kLoad = 0.75;
constexpr double kGrowAtLoad = 0.9;
constexpr qsizetype kCancellationStride = qsizetype(1) << 22;

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
    int bits = 1;
};

Alphabet rankAlphabet(const char16_t *s, qsizetype n)
{
    Alphabet alphabet;
    alphabet.rank.assign(size_t(std::numeric_limits<char16_t>::max()) + 1, 0);
    for (qsizetype i = 0; i < n; ++i)
        alphabet.rank[s[i]] = 1;
    std::uint32_t size = 0;
    for (ContextRank &rank : alphabet.rank)
        if (rank)
            rank = ContextRank(++size);
    alphabet.bits = std::max(1, int(std::bit_width(size)));
    return alphabet;
}

template <typename Key> class IndexedFinder final : public OccurrenceFinder {
public:
    IndexedFinder(const QString &source, int contextLength, Alphabet alphabet)
        : m_source(source), m_contextLength(contextLength), m_rank(std::move(alphabet.rank)),
          m_packing{alphabet.bits, alphabet.bits * contextLength},
          m_seedWordStarts(findSeedWordStarts(text(), source.size(), contextLength))
    {
    }

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
    // A table slot: the key of a context (zero when empty) and where its
    // group ends in m_positions; it begins where the previous slot's ends.
    struct __attribute__((packed)) Slot {
        Key key;
        std::uint32_t end;
    };

    // A position on its way into the table, with the slot its search starts
    // at, computed for a table of `capacity` slots.
    struct Probe {
        Key key;
        size_t home;
        size_t capacity;
        SourcePosition position;
    };

    const char16_t *text() const { return reinterpret_cast<const char16_t *>(m_source.utf16()); }
    size_t homeOf(Key key) const
    {
        return size_t((ContextKey128(HashOf(key)) * m_capacity) >> 64);
    }
    size_t after(size_t slot) const { return slot + 1 == m_capacity ? 0 : slot + 1; }

    template <typename Visit> bool forEachContext(const Cancellation *cancel, Visit visit) const;
    template <typename Visit> bool probeInBatches(const Cancellation *cancel, Visit visit);
    bool allocateTable(size_t capacity);
    void count(const Probe &probe);
    void grow();
    Occurrences lookUp(const char16_t *context) const;
    Occurrences scanShortSource(QStringView context);

    const QString &m_source;
    const int m_contextLength;
    const std::vector<ContextRank> m_rank;
    const KeyPacking m_packing;
    std::vector<SourcePosition> m_seedWordStarts;

    LargeArray<Slot> m_slots;
    size_t m_capacity = 0;
    size_t m_contexts = 0;
    size_t m_growAt = 0;
    LargeArray<SourcePosition> m_positions;

    std::vector<SourcePosition> m_shortSourceMatches;
};

// Calls visit(p, key) for every position p whose context is followed by
// a character other than LF, in increasing order. False when cancelled.
template <typename Key>
template <typename Visit>
bool IndexedFinder<Key>::forEachContext(const Cancellation *cancel, Visit visit) const
{
    const char16_t *s = text();
    const qsizetype candidates = m_source.size() - m_contextLength;
    const ContextRank *rank = m_rank.data();
    Key key{};
    for (int i = 0; i + 1 < m_contextLength; ++i)
        key = ShiftIn(key, rank[s[i]], m_packing);
    for (qsizetype start = 0; start < candidates; start += kCancellationStride) {
        if (IsCancelled(cancel))
            return false;
        const qsizetype end = std::min(candidates, start + kCancellationStride);
        for (qsizetype p = start; p < end; ++p) {
            key = ShiftIn(key, rank[s[p + m_contextLength - 1]], m_packing);
            if (s[p + m_contextLength] != kLineFeed)
                visit(p, key);
        }
    }
    return true;
}

// forEachContext, with the home slots of kBatch positions prefetched before
// the first of them is visited.
template <typename Key>
template <typename Visit>
bool IndexedFinder<Key>::probeInBatches(const Cancellation *cancel, Visit visit)
{
    std::array<Probe, kBatch> batch;
    int filled = 0;
    const auto flush = [&] {
        for (int i = 0; i < filled; ++i)
            visit(batch[size_t(i)]);
        filled = 0;
    };
    const bool finished = forEachContext(cancel, [&](qsizetype p, Key key) {
        const size_t home = homeOf(key);
        __builtin_prefetch(&m_slots[home], 1);
        batch[size_t(filled++)] = Probe{key, home, m_capacity, SourcePosition(p)};
        if (filled == kBatch)
            flush();
    });
    flush();
    return finished;
}

template <typename Key> bool IndexedFinder<Key>::allocateTable(size_t capacity)
{
    m_slots = LargeArray<Slot>(capacity);
    m_capacity = m_slots.size();
    m_growAt = std::min(capacity - 1, size_t(double(capacity) * kGrowAtLoad));
    return bool(m_slots);
}

// Counts one more position of the probe's context, opening its slot if new.
template <typename Key> void IndexedFinder<Key>::count(const Probe &probe)
{
    if (m_contexts >= m_growAt)
        grow();
    size_t slot = probe.capacity == m_capacity ? probe.home : homeOf(probe.key);
    for (;; slot = after(slot)) {
        const Key found = m_slots[slot].key;
        if (found == probe.key) {
            ++m_slots[slot].end;
            return;
        }
        if (found == Key{}) {
            m_slots[slot].key = probe.key;
            m_slots[slot].end = 1;
            ++m_contexts;
            return;
        }
    }
}

// Doubles the table when the estimate fell short; every key is distinct, so
// re-inserting needs no comparison.
template <typename Key> void IndexedFinder<Key>::grow()
{
    LargeArray<Slot> old = std::move(m_slots);
    const size_t oldCapacity = m_capacity;
    if (!allocateTable(2 * oldCapacity))
        throw std::bad_alloc();
    for (size_t i = 0; i < oldCapacity; ++i) {
        const Key key = old[i].key;
        if (key == Key{})
            continue;
        size_t slot = homeOf(key);
        while (!(Key(m_slots[slot].key) == Key{}))
            slot = after(slot);
        m_slots[slot].key = key;
        m_slots[slot].end = old[i].end;
    }
}

template <typename Key> Status IndexedFinder<Key>::build(const Cancellation *cancel)
{
    const qsizetype candidates = m_source.size() - m_contextLength;
    if (candidates <= 0)
        return Done{};

    DistinctCounter distinct;
    qsizetype indexed = 0;
    if (!forEachContext(cancel, [&](qsizetype, Key key) {
            distinct.add(HashOf(key));
            ++indexed;
        }))
        return CancelledError();

    const double contexts = std::min(double(indexed), distinct.estimate());
    const size_t capacity = size_t(contexts / kLoad) + kBatch;
    const std::int64_t needed = std::int64_t(capacity * sizeof(Slot)) +
                                std::int64_t(indexed) * std::int64_t(sizeof(SourcePosition));
    const Status fits = CheckMemoryFor(m_source.size(), m_contextLength + 1, needed);
    if (!fits)
        return fits;
    if (!allocateTable(capacity))
        throw std::bad_alloc();

    if (!probeInBatches(cancel, [&](const Probe &probe) { count(probe); }))
        return CancelledError();

    // Counts become boundaries: each slot's `end` holds where its group
    // begins, and once the positions are in, where it ends.
    std::uint32_t total = 0;
    for (size_t slot = 0; slot < m_capacity; ++slot) {
        const std::uint32_t size = m_slots[slot].end;
        m_slots[slot].end = total;
        total += size;
    }

    m_positions = LargeArray<SourcePosition>(size_t(indexed));
    if (!m_positions)
        throw std::bad_alloc();
    const bool finished = probeInBatches(cancel, [&](const Probe &probe) {
        size_t slot = probe.home;
        while (!(Key(m_slots[slot].key) == probe.key))
            slot = after(slot);
        m_positions[m_slots[slot].end++] = probe.position;
    });
    return finished ? Status(Done{}) : Status(CancelledError());
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
    if (m_capacity == 0)
        return Occurrences();
    for (size_t slot = homeOf(key);; slot = after(slot)) {
        const Key found = m_slots[slot].key;
        if (found == Key{})
            return Occurrences();
        if (found == key) {
            const std::uint32_t begin = slot == 0 ? 0 : m_slots[slot - 1].end;
            return Occurrences(
                std::span<const SourcePosition>(m_positions.data() + begin,
                                                size_t(m_slots[slot].end - begin)),
                text(), m_contextLength);
        }
    }
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
                                                      Alphabet alphabet,
                                                      const Cancellation *cancel)
{
    auto finder = std::make_unique<IndexedFinder<Key>>(source, contextLength, std::move(alphabet));
    const Status built = finder->build(cancel);
    if (!built)
        return built.error();
    return std::unique_ptr<OccurrenceFinder>(std::move(finder));
}

} // namespace

Result<std::unique_ptr<OccurrenceFinder>> MakeIndexedFinder(const QString &source,
                                                            int contextLength,
                                                            const Cancellation *cancel)
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
