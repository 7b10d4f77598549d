#pragma once

#include "context_key.h"
#include "index_tuning.h"
#include "occurrence_finder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// The partition of a context's hash: its `partitionBits` high bits. The
// census and the deal both partition with it.
inline size_t PartitionOf(std::uint64_t hash, int partitionBits)
{
    return partitionBits ? size_t(hash >> (64 - partitionBits)) : 0;
}

// The first slot where ends(slot) holds, from `hash`'s home slot on (chosen by
// its bits below the partition's) and wrapping round, in a partition's table
// of `capacity` slots. Every table keeps an empty slot, which ends every search.
template <typename Ends>
size_t Probe(std::uint64_t hash, int partitionBits, size_t capacity, const Ends &ends)
{
    __extension__ typedef unsigned __int128 Wide;
    auto slot = size_t((Wide(hash << partitionBits) * capacity) >> 64);
    while (!ends(slot))
        slot = slot + 1 == capacity ? 0 : slot + 1;
    return slot;
}

// The byte of a hash a KeptTable keeps: never 0, which marks an empty slot.
inline std::uint8_t TagOf(std::uint64_t hash)
{
    return std::max(std::uint8_t(1), std::uint8_t(hash));
}

// Per slot, the end of its group of positions (which begins where the previous
// slot's ends, slot 0's at `begin`) and the tag of its context's hash (0: empty).
struct __attribute__((packed)) KeptSlot {
    std::uint32_t end;
    std::uint8_t tag;
};

// What is kept of a partition's CountingTable once its positions are grouped.
struct KeptTable {
    std::uint32_t begin = 0;
    int partitionBits = 0;
    std::vector<KeptSlot> entries; // empty until the partition is indexed

    struct Group {
        std::uint32_t begin = 0, end = 0;
    };
    // The group of the context with `hash` for which isContext(group's first
    // position's index) holds, or an empty one.
    template <typename IsContext> Group find(std::uint64_t hash, const IsContext &isContext) const
    {
        const auto groupBegin = [&](size_t slot) { return slot ? entries[slot - 1].end : begin; };
        const size_t slot = Probe(hash, partitionBits, entries.size(), [&](size_t s) {
            return entries[s].tag == 0 ||
                   (entries[s].tag == TagOf(hash) && isContext(groupBegin(s)));
        });
        return entries[slot].tag ? Group{groupBegin(slot), entries[slot].end} : Group{};
    }
};

// Per context of the positions it is shown: its key, the position where it
// was first seen (negative: an empty slot) and how many positions have it,
// by open addressing with linear probing. Contexts that share a key are told
// apart by their text, unless keys are exact.
class CountingTable {
public:
    struct Slot {
        std::uint64_t key;
        SourcePosition firstSeen;
        std::uint32_t count;
    };
    static constexpr std::uint32_t kFull = ~std::uint32_t(0);

    // For contexts of `length` characters of `text` in a partition chosen by
    // `partitionBits` of the hash; at most `load` (0 to 1) of the slots are used.
    CountingTable(const char16_t *text, int length, bool exactKeys, int partitionBits, double load)
        : m_text(text), m_length(length), m_exact(exactKeys), m_partitionBits(partitionBits),
          m_load(load)
    {
    }

    // Empties the table and makes it room for `contexts` contexts.
    void reset(size_t contexts)
    {
        m_slots.assign(size_t(double(contexts) / m_load) + 1, Slot{0, -1, 0});
        m_room = contexts;
        Ensure(m_slots.size() > m_room, "a table keeps an empty slot");
    }
    size_t capacity() const { return m_slots.size(); }

    // Counts position `p`, whose context has `key` and `hash`: its slot, or
    // kFull when the context is new and there is no room left.
    std::uint32_t count(std::uint64_t key, std::uint64_t hash, SourcePosition p)
    {
        const std::uint32_t slot = find(key, hash, p);
        Slot &found = m_slots[slot];
        if (found.firstSeen < 0) {
            if (m_room == 0)
                return kFull;
            --m_room;
            found = Slot{key, p, 0};
        }
        ++found.count;
        return slot;
    }

    // The slot of the context of `p`, or the empty one where it would go.
    std::uint32_t find(std::uint64_t key, std::uint64_t hash, SourcePosition p) const
    {
        return std::uint32_t(Probe(hash, m_partitionBits, m_slots.size(), [&](size_t slot) {
            const Slot &s = m_slots[slot];
            return s.firstSeen < 0 ||
                   (s.key == key &&
                    (m_exact || std::equal(m_text + s.firstSeen, m_text + s.firstSeen + m_length,
                                           m_text + p)));
        }));
    }

    // Lays the groups out in slot order from `begin`: where each starts, and
    // the KeptTable that finds them once they are filled.
    KeptTable layOut(std::uint32_t begin, std::vector<std::uint32_t> &starts) const
    {
        KeptTable kept{begin, m_partitionBits, std::vector<KeptSlot>(m_slots.size())};
        starts.resize(m_slots.size());
        std::uint32_t end = begin;
        for (size_t slot = 0; slot < m_slots.size(); ++slot) {
            const Slot &s = m_slots[slot];
            starts[slot] = end;
            end += s.count;
            kept.entries[slot] = {end, s.firstSeen < 0 ? std::uint8_t(0) : TagOf(MixBits(s.key))};
        }
        return kept;
    }

private:
    const char16_t *m_text;
    int m_length;
    bool m_exact;
    int m_partitionBits;
    double m_load;
    std::vector<Slot> m_slots;
    size_t m_room = 0;
};
