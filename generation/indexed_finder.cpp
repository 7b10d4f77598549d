#include "indexed_finder.h"

#include "context_key.h"
#include "context_table.h"
#include "memory_budget.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

// The index: every position p whose context (the contextLength characters
// from p) is followed by a character other than LF, grouped by context, in
// increasing order inside each group, in one array of positions. A group is
// found through a table keyed by the context's exact packed key
// (context_key.h, context_table.h); one bit of the key's hash picks one of
// two tables, which share nothing, so that two threads build them at once.
//
// Building takes three sequential passes over the text, each computing the
// keys rolling: the first estimates how many distinct contexts there are
// (so that the tables are allocated once, at their final size, after
// checking that the memory is there), the second counts each context's
// positions, and, after the counts have become group boundaries, the third
// puts every position in its place. The second and third passes touch a
// table far bigger than the cache at random; they prefetch the slots of a
// batch of positions before visiting them, so that the cache misses
// overlap. Nothing as long as the text is kept besides the positions.

namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr int kBatch = 16;
// The tables are sized for this load at the estimated count of contexts and
// grow (doubling) only if the estimate was short by more than 20%.
constexpr double kLoad = 0.75;
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
    // When the table is far bigger than the cache, building it waits on
    // memory, and a second core doubles the misses in flight: the contexts
    // are then split by one bit of their hash between two tables that share
    // nothing, filled by two threads at once. A smaller table stays whole
    // (splitting costs a second scan of the text per pass).
    static constexpr int kShards = 2;
    static constexpr double kSplitTableBytes = 64.0 * 1024 * 1024;
    int shardOf(std::uint64_t hash) const { return int(hash & std::uint64_t(m_shardCount - 1)); }

    const char16_t *text() const { return reinterpret_cast<const char16_t *>(m_source.utf16()); }

    template <typename Visit>
    bool forEachContext(int shard, const Cancellation *cancel, Visit visit) const;
    template <typename Visit> bool probeInBatches(int shard, const Cancellation *cancel, Visit visit);
    template <typename Work> Status onEveryShard(Work work);
    Occurrences lookUp(const char16_t *context) const;
    Occurrences scanShortSource(QStringView context);

    const QString &m_source;
    const int m_contextLength;
    const std::vector<ContextRank> m_rank;
    const KeyPacking m_packing;
    std::vector<SourcePosition> m_seedWordStarts;

    int m_shardCount = 1;
    std::array<ContextTable<Key>, kShards> m_tables;
    LargeArray<SourcePosition> m_positions;

    std::vector<SourcePosition> m_shortSourceMatches;
};

// Calls visit(p, key, hash) for every position p whose context is followed
// by a character other than LF and falls in `shard`, in increasing order.
// False when cancelled.
template <typename Key>
template <typename Visit>
bool IndexedFinder<Key>::forEachContext(int shard, const Cancellation *cancel, Visit visit) const
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
            if (s[p + m_contextLength] == kLineFeed)
                continue;
            const std::uint64_t hash = HashOf(key);
            if (shardOf(hash) == shard)
                visit(p, key, hash);
        }
    }
    return true;
}

// A position on its way into the table, with the slot its search starts at
// in a table of `capacity` slots.
template <typename Key> struct Probe {
    Key key;
    std::uint64_t hash;
    size_t home;
    size_t capacity;
    SourcePosition position;
};

// forEachContext, with the home slots of kBatch positions prefetched before
// the first of them is visited, so that their cache misses overlap.
template <typename Key>
template <typename Visit>
bool IndexedFinder<Key>::probeInBatches(int shard, const Cancellation *cancel, Visit visit)
{
    ContextTable<Key> &table = m_tables[size_t(shard)];
    std::array<Probe<Key>, kBatch> batch;
    int filled = 0;
    const auto flush = [&] {
        for (int i = 0; i < filled; ++i)
            visit(table, batch[size_t(i)]);
        filled = 0;
    };
    const bool finished = forEachContext(shard, cancel, [&](qsizetype p, Key key, std::uint64_t hash) {
        const size_t home = table.homeOf(hash);
        __builtin_prefetch(table.address(home), 1);
        batch[size_t(filled++)] = Probe<Key>{key, hash, home, table.capacity(), SourcePosition(p)};
        if (filled == kBatch)
            flush();
    });
    flush();
    return finished;
}

// Runs work(shard), which returns false when cancelled, for every shard in
// use: the second on a thread of its own when the machine has a second core.
template <typename Key>
template <typename Work>
Status IndexedFinder<Key>::onEveryShard(Work work)
{
    enum class Outcome { Done, Cancelled, OutOfMemory };
    const auto guarded = [&work](int shard) {
        try {
            return work(shard) ? Outcome::Done : Outcome::Cancelled;
        } catch (const std::bad_alloc &) {
            return Outcome::OutOfMemory;
        }
    };
    std::array<Outcome, kShards> outcomes{};
    std::thread helper;
    if (m_shardCount > 1 && std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread([&] { outcomes[1] = guarded(1); });
        } catch (const std::system_error &) {
            // No thread to be had: the shard is done here, after the first.
        }
    }
    outcomes[0] = guarded(0);
    if (helper.joinable())
        helper.join();
    else if (m_shardCount > 1)
        outcomes[1] = guarded(1);
    if (std::ranges::count(outcomes, Outcome::OutOfMemory) > 0)
        throw std::bad_alloc();
    if (std::ranges::count(outcomes, Outcome::Cancelled) > 0)
        return CancelledError();
    return Done{};
}

template <typename Key> Status IndexedFinder<Key>::build(const Cancellation *cancel)
{
    if (m_source.size() <= m_contextLength)
        return Done{};

    // How many distinct contexts there are, and how many positions, to
    // allocate everything once, at its final size.
    DistinctCounter distinct;
    qsizetype indexed = 0;
    if (!forEachContext(0, cancel, [&](qsizetype, Key, std::uint64_t hash) {
            distinct.add(hash);
            ++indexed;
        }))
        return CancelledError();

    using Slot = typename ContextTable<Key>::Slot;
    const double contexts = std::min(double(indexed), distinct.estimate() * 1.02);
    m_shardCount = contexts / kLoad * sizeof(Slot) > kSplitTableBytes ? kShards : 1;
    const size_t capacity = size_t(contexts / m_shardCount / kLoad) + kBatch;
    const std::int64_t needed = std::int64_t(capacity * sizeof(Slot)) * m_shardCount +
                                std::int64_t(indexed) * std::int64_t(sizeof(SourcePosition));
    const Status fits = CheckMemoryFor(m_source.size(), m_contextLength + 1, needed);
    if (!fits)
        return fits;
    for (int shard = 0; shard < m_shardCount; ++shard)
        if (!m_tables[size_t(shard)].allocate(capacity))
            throw std::bad_alloc();

    Status counted = onEveryShard([&](int shard) {
        return probeInBatches(shard, cancel, [](ContextTable<Key> &table, const Probe<Key> &probe) {
            table.count(probe.key, probe.hash, probe.home, probe.capacity);
        });
    });
    if (!counted)
        return counted;

    std::uint32_t total = 0;
    for (ContextTable<Key> &table : m_tables)
        total = table.layOut(total);
    m_positions = LargeArray<SourcePosition>(total);
    if (!m_positions)
        throw std::bad_alloc();

    return onEveryShard([&](int shard) {
        // A place is prefetched when found and written kBatch positions
        // later, so that the misses of the writes overlap as well.
        std::array<std::pair<std::uint32_t, SourcePosition>, kBatch> held;
        size_t next = 0;
        size_t holding = 0;
        const bool finished = probeInBatches(
            shard, cancel, [&](ContextTable<Key> &table, const Probe<Key> &probe) {
                const std::uint32_t place = table.nextPlace(probe.key, probe.home);
                __builtin_prefetch(&m_positions[place], 1);
                if (holding == kBatch)
                    m_positions[held[next].first] = held[next].second;
                else
                    ++holding;
                held[next] = {place, probe.position};
                next = (next + 1) % kBatch;
            });
        for (size_t i = 0; i < holding; ++i)
            m_positions[held[i].first] = held[i].second;
        return finished;
    });
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
    const ContextTable<Key> &table = m_tables[size_t(shardOf(hash))];
    const size_t slot = table.find(key, hash);
    if (slot == ContextTable<Key>::kNotFound)
        return Occurrences();
    const std::uint32_t begin = table.begin(slot);
    return Occurrences(std::span<const SourcePosition>(m_positions.data() + begin,
                                                       size_t(table.end(slot) - begin)),
                       text(), m_contextLength);
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
