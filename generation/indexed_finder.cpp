#include "indexed_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr char16_t kLineFeed = u'\n';

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

// The index: every position p whose context (the contextLength characters
// from p) is followed by a character other than LF, grouped by context, in
// increasing order inside each group. A group is found through a hash table
// keyed by the context.
//
// The key of a context is exact when it fits in 64 bits: each character is
// replaced by its rank in the source's alphabet and the ranks are packed,
// which always fits for short contexts and, for long ones, whenever the
// source uses few distinct characters (the usual case for prose). Otherwise
// the key is a hash and a key match is confirmed by comparing characters.
class IndexedFinder final : public OccurrenceFinder {
public:
    IndexedFinder(const QString &source, int contextLength)
        : m_source(source), m_contextLength(contextLength)
    {
        if (m_contextLength > 0) {
            indexSeedWords();
            indexContexts();
        }
    }

    Result<std::span<const SourcePosition>> seedWordStarts() override
    {
        if (m_contextLength == 0)
            return internalError(QStringLiteral("seed words asked at context length 0"));
        return std::span<const SourcePosition>(m_seedWordStarts);
    }

    std::span<const char16_t> lastFollowing() const override { return m_lastFollowing; }

    Result<std::span<const SourcePosition>> occurrences(QStringView context) override
    {
        m_lastFollowing = {};
        const qsizetype length = context.size();
        if (m_contextLength > 0 && length == m_contextLength)
            return lookUp(reinterpret_cast<const char16_t *>(context.utf16()));
        // A source shorter than the context length has no indexed position;
        // the generator then asks about the whole source, which cannot be
        // followed by anything. Any shorter context is answered by a scan of
        // those few characters.
        if (m_contextLength > 0 && length < m_contextLength &&
            m_source.size() <= m_contextLength)
            return scanShortSource(context);
        return internalError(QStringLiteral("context of %1 characters asked at context length %2")
                                 .arg(length)
                                 .arg(m_contextLength));
    }

private:
    const char16_t *text() const { return reinterpret_cast<const char16_t *>(m_source.utf16()); }

    // Starts of maximal runs of at least contextLength word characters: a
    // match of \b(\w{O,}) can only begin where a run begins, and greedily
    // takes the whole run.
    void indexSeedWords()
    {
        const char16_t *s = text();
        const qsizetype n = m_source.size();
        qsizetype p = 0;
        while (p < n) {
            if (!isWordCharacter(s[p])) {
                ++p;
                continue;
            }
            const qsizetype start = p;
            while (p < n && isWordCharacter(s[p]))
                ++p;
            if (p - start >= m_contextLength)
                m_seedWordStarts.push_back(SourcePosition(start));
        }
    }

    void indexContexts()
    {
        const qsizetype n = m_source.size();
        const qsizetype candidates = n - m_contextLength; // positions p with p + O < n
        if (candidates <= 0)
            return;
        const char16_t *s = text();

        rankAlphabet();

        // First pass: the group of every position, and each group's size.
        // Groups are numbered in order of first appearance, so a group's
        // first position is the one that opened it. While building, a slot's
        // `first` holds its group's number.
        std::vector<std::int32_t> groupOf(static_cast<size_t>(candidates));
        std::vector<SourcePosition> groupSize;
        std::vector<SourcePosition> firstPosition;
        resizeTable(10);
        for (qsizetype p = 0; p < candidates; ++p) {
            if (s[p + m_contextLength] == kLineFeed) {
                groupOf[size_t(p)] = -1;
                continue;
            }
            const std::uint64_t key = keyOf(s + p);
            std::uint64_t slot = slotOf(key);
            std::int32_t group;
            for (;;) {
                Slot &entry = m_slots[slot];
                if (entry.count == 0) {
                    group = std::int32_t(groupSize.size());
                    entry = Slot{key, group, 1};
                    groupSize.push_back(0);
                    firstPosition.push_back(SourcePosition(p));
                    if (groupSize.size() * 2 > m_slots.size())
                        resizeTable(std::countr_zero(m_slots.size()) + 1);
                    break;
                }
                if (entry.key == key &&
                    (m_exactKeys || sameContext(s + firstPosition[size_t(entry.first)], s + p))) {
                    group = entry.first;
                    break;
                }
                slot = (slot + 1) & m_slotMask;
            }
            groupOf[size_t(p)] = group;
            ++groupSize[size_t(group)];
        }
        firstPosition = {};

        // Second pass: a counting sort of the positions by group, stable, so
        // each group keeps increasing order. The slots then hold where their
        // group lies, so a look-up touches one slot only.
        std::vector<SourcePosition> groupStart(groupSize.size());
        SourcePosition total = 0;
        for (size_t g = 0; g < groupSize.size(); ++g) {
            groupStart[g] = total;
            total += groupSize[g];
        }
        for (Slot &entry : m_slots) {
            if (entry.count == 0)
                continue;
            const size_t group = size_t(entry.first);
            entry.first = groupStart[group];
            entry.count = groupSize[group];
        }
        std::vector<SourcePosition> &next = groupStart; // reused as the fill cursor
        m_positions.resize(size_t(total));
        m_following.resize(size_t(total));
        const char16_t *source = text();
        for (qsizetype p = 0; p < candidates; ++p) {
            const std::int32_t group = groupOf[size_t(p)];
            if (group >= 0) {
                const size_t at = size_t(next[size_t(group)]++);
                m_positions[at] = SourcePosition(p);
                m_following[at] = source[p + m_contextLength];
            }
        }
    }

    // Ranks the characters that occur in the source (in code-unit order) and
    // decides whether packed ranks make exact keys.
    void rankAlphabet()
    {
        m_rank.assign(size_t(std::numeric_limits<char16_t>::max()) + 1, -1);
        const char16_t *s = text();
        const qsizetype n = m_source.size();
        for (qsizetype i = 0; i < n; ++i)
            m_rank[s[i]] = 0;
        std::int32_t alphabet = 0;
        for (std::int32_t &rank : m_rank)
            if (rank == 0)
                rank = alphabet++;
        m_rankBits = std::max(1, int(std::bit_width(std::uint32_t(alphabet - 1))));
        m_exactKeys = m_rankBits * m_contextLength <= 64;
    }

    // The key of the context that starts at `gram`; every character must
    // occur in the source.
    std::uint64_t keyOf(const char16_t *gram) const
    {
        std::uint64_t key = 0;
        if (m_exactKeys) {
            for (int i = 0; i < m_contextLength; ++i)
                key = (key << m_rankBits) | std::uint64_t(m_rank[gram[i]]);
        } else {
            for (int i = 0; i < m_contextLength; ++i)
                key = (key ^ std::uint64_t(m_rank[gram[i]])) * 0x100000001b3ULL +
                      0x9e3779b97f4a7c15ULL;
        }
        return key;
    }

    // A well-mixed slot for a key (the finalizer of MurmurHash3).
    std::uint64_t slotOf(std::uint64_t key) const
    {
        key ^= key >> 33;
        key *= 0xff51afd7ed558ccdULL;
        key ^= key >> 33;
        key *= 0xc4ceb9fe1a85ec53ULL;
        key ^= key >> 33;
        return key & m_slotMask;
    }

    bool sameContext(const char16_t *a, const char16_t *b) const
    {
        return std::memcmp(a, b, size_t(m_contextLength) * sizeof(char16_t)) == 0;
    }

    // Grows the open-addressing table to 2^bits slots; every entry is distinct,
    // so re-inserting needs no comparison.
    void resizeTable(int bits)
    {
        const std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(size_t(1) << bits, Slot());
        m_slotMask = m_slots.size() - 1;
        for (const Slot &entry : old) {
            if (entry.count == 0)
                continue;
            std::uint64_t slot = slotOf(entry.key);
            while (m_slots[slot].count != 0)
                slot = (slot + 1) & m_slotMask;
            m_slots[slot] = entry;
        }
    }

    Result<std::span<const SourcePosition>> lookUp(const char16_t *context)
    {
        if (m_slots.empty())
            return std::span<const SourcePosition>();
        for (int i = 0; i < m_contextLength; ++i)
            if (m_rank[context[i]] < 0)
                return std::span<const SourcePosition>(); // a character the source lacks
        const std::uint64_t key = keyOf(context);
        for (std::uint64_t slot = slotOf(key);; slot = (slot + 1) & m_slotMask) {
            const Slot &entry = m_slots[slot];
            if (entry.count == 0)
                return std::span<const SourcePosition>();
            if (entry.key == key &&
                (m_exactKeys ||
                 sameContext(text() + m_positions[size_t(entry.first)], context))) {
                m_lastFollowing = std::span<const char16_t>(m_following.data() + entry.first,
                                                            size_t(entry.count));
                return std::span<const SourcePosition>(m_positions.data() + entry.first,
                                                       size_t(entry.count));
            }
        }
    }

    Result<std::span<const SourcePosition>> scanShortSource(QStringView context)
    {
        m_shortSourceMatches.clear();
        const qsizetype length = context.size();
        const qsizetype n = m_source.size();
        for (qsizetype p = 0; p + length < n; ++p)
            if (m_source[p + length] != QChar(kLineFeed) &&
                QStringView(m_source).mid(p, length) == context)
                m_shortSourceMatches.push_back(SourcePosition(p));
        return std::span<const SourcePosition>(m_shortSourceMatches);
    }

    const QString &m_source;
    const int m_contextLength;

    std::vector<SourcePosition> m_seedWordStarts;

    std::vector<std::int32_t> m_rank; // per code unit: rank in the alphabet, -1 if absent
    int m_rankBits = 1;
    bool m_exactKeys = true;

    // One context's group: m_positions[first, first + count). An empty slot
    // has count 0.
    struct Slot {
        std::uint64_t key = 0;
        SourcePosition first = 0;
        SourcePosition count = 0;
    };
    std::vector<Slot> m_slots;
    std::uint64_t m_slotMask = 0;

    std::vector<SourcePosition> m_positions;
    // m_following[i] is the character after m_positions[i]'s context.
    std::vector<char16_t> m_following;
    std::span<const char16_t> m_lastFollowing;

    std::vector<SourcePosition> m_shortSourceMatches;
};

} // namespace

Result<std::unique_ptr<OccurrenceFinder>> MakeIndexedFinder(const QString &source,
                                                            int contextLength)
{
    if (contextLength < 0 || contextLength > 9)
        return internalError(QStringLiteral("context length %1 out of range").arg(contextLength));
    if (source.size() > std::numeric_limits<SourcePosition>::max())
        return Error{QStringLiteral("Il testo è troppo lungo"),
                     QStringLiteral("%1 characters").arg(source.size())};
    return std::unique_ptr<OccurrenceFinder>(
        std::make_unique<IndexedFinder>(source, contextLength));
}
