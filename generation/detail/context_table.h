#pragma once

#include "context_key.h"
#include "occurrence_finder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// The partition of a context's hash: its `partitionBits` high bits.
inline size_t PartitionOf(std::uint64_t hash, int partitionBits)
{
    return partitionBits ? size_t(hash >> (64 - partitionBits)) : 0;
}

// Where a search for `hash` starts in its partition's table of `capacity`
// slots: the hash's bits below the partition's choose.
inline size_t HomeSlot(std::uint64_t hash, int partitionBits, size_t capacity)
{
    __extension__ typedef unsigned __int128 Wide;
    return size_t((Wide(hash << partitionBits) * capacity) >> 64);
}

// The byte of a hash a KeptTable keeps: never 0, which marks an empty slot.
inline std::uint8_t TagOf(std::uint64_t hash)
{
    return std::max(std::uint8_t(1), std::uint8_t(hash));
}

// Per slot, the end of its group of positions (which begins where the previous
// slot's ends, slot 0's at `base`) and the tag of its context's hash (0: empty).
struct __attribute__((packed)) KeptSlot {
    std::uint32_t end;
    std::uint8_t tag;
};
struct KeptTable {
    std::uint32_t base = 0;
    std::vector<KeptSlot> entries;
};

// Per context of the positions it is shown: its key, the first position
// where it was met (negative: an empty slot) and how many positions have it,
// by open addressing with linear probing. Contexts that share a key are told
// apart by their text, unless keys are exact.
class CountingTable {
public:
    struct Slot {
        std::uint64_t key;
        SourcePosition first;
        std::uint32_t count;
    };
    static constexpr std::uint32_t kFull = ~std::uint32_t(0);

    // For contexts of `length` characters of `text` in a partition chosen by
    // `partitionBits` of the hash; at most `load` of the slots are used.
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
    }
    size_t capacity() const { return m_slots.size(); }

    // Counts position `p`, whose context has `key` and `hash`: its slot, or
    // kFull when the context is new and there is no room left.
    std::uint32_t count(std::uint64_t key, std::uint64_t hash, SourcePosition p)
    {
        const std::uint32_t slot = find(key, hash, p);
        Slot &found = m_slots[slot];
        if (found.first < 0) {
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
        for (std::uint32_t slot = HomeSlot(hash, m_partitionBits, m_slots.size());;
             slot = slot + 1 == m_slots.size() ? 0 : slot + 1) {
            const Slot &s = m_slots[slot];
            if (s.first < 0 ||
                (s.key == key && (m_exact || std::equal(m_text + s.first,
                                                        m_text + s.first + m_length, m_text + p))))
                return slot;
        }
    }

    // Lays the groups out in slot order from `base`: where each starts, and
    // the KeptTable that finds them once they are filled.
    KeptTable layOut(std::uint32_t base, std::vector<std::uint32_t> &starts) const
    {
        KeptTable kept{base, std::vector<KeptSlot>(m_slots.size())};
        starts.resize(m_slots.size());
        for (size_t slot = 0; slot < m_slots.size(); ++slot) {
            const Slot &s = m_slots[slot];
            starts[slot] = base;
            base += s.count;
            kept.entries[slot] = {base, s.first < 0 ? std::uint8_t(0) : TagOf(MixBits(s.key))};
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
