#pragma once

#include "context_key.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// One table slot: a context's exact key (zero when empty) and one number:
// while counting, how many positions have the context; then where its group
// begins in the positions array; once the positions are in, where it ends.
// A group begins where the previous slot's ends, so a slot costs the key and
// four bytes.
template <typename Key> struct __attribute__((packed)) ContextSlot {
    Key key;
    std::uint32_t end;
};

// The slot a search for `hash` starts at in a table of `capacity` slots:
// the hash's high bits choose.
inline size_t HomeSlot(std::uint64_t hash, size_t capacity)
{
    return size_t((ContextKey128(hash) * capacity) >> 64);
}

// Open addressing with linear probing over a run of slots that someone else
// owns (the index keeps all its tables in one block of memory). The table
// never grows: count() says when it is full, and the owner decides.
template <typename Key> class ContextTable {
public:
    using Slot = ContextSlot<Key>;
    static constexpr size_t kNone = ~size_t(0);

    ContextTable() = default;
    // `capacity` zeroed slots from `first`; full beyond `fullLoad` (below 1).
    ContextTable(Slot *first, size_t capacity, double fullLoad)
        : m_slots(first), m_capacity(capacity),
          m_limit(std::min(capacity - 1, size_t(double(capacity) * fullLoad)))
    {
    }

    size_t capacity() const { return m_capacity; }
    size_t contexts() const { return m_contexts; }
    // The slot a search for `hash` starts at (its high bits choose).
    size_t homeOf(std::uint64_t hash) const { return HomeSlot(hash, m_capacity); }
    const Slot *address(size_t slot) const { return m_slots + slot; }

    // One more position for `key`, searched from `home`: its slot, or kNone
    // when the key is new and the table is full.
    size_t count(Key key, size_t home)
    {
        for (size_t slot = home;; slot = after(slot)) {
            const Key found = m_slots[slot].key;
            if (found == key) {
                ++m_slots[slot].end;
                return slot;
            }
            if (found == Key{}) {
                if (m_contexts >= m_limit)
                    return kNone;
                m_slots[slot].key = key;
                m_slots[slot].end = 1;
                ++m_contexts;
                return slot;
            }
        }
    }

    // Puts a counted key with its count back (when a table is rebuilt bigger).
    void put(Key key, std::uint32_t count, size_t home)
    {
        size_t slot = home;
        while (!(Key(m_slots[slot].key) == Key{}))
            slot = after(slot);
        m_slots[slot].key = key;
        m_slots[slot].end = count;
        ++m_contexts;
    }

    Key keyAt(size_t slot) const { return m_slots[slot].key; }
    std::uint32_t countAt(size_t slot) const { return m_slots[slot].end; }

    // Turns the counts into the starts of groups laid out one after the
    // other in slot order from `base`; returns where the last one ends.
    std::uint32_t layOut(std::uint32_t base)
    {
        m_base = base;
        for (size_t slot = 0; slot < m_capacity; ++slot) {
            const std::uint32_t size = m_slots[slot].end;
            m_slots[slot].end = base;
            base += size;
        }
        return base;
    }

    // Sets where the group of a laid-out slot ends, once it is filled.
    void setEnd(size_t slot, std::uint32_t end) { m_slots[slot].end = end; }

    // The next place in the group of a laid-out slot.
    std::uint32_t nextPlace(size_t slot) { return m_slots[slot].end++; }

    // The slot of `key`, searched from `home`, or kNone.
    size_t find(Key key, size_t home) const
    {
        for (size_t slot = home;; slot = after(slot)) {
            const Key found = m_slots[slot].key;
            if (found == key)
                return slot;
            if (found == Key{})
                return kNone;
        }
    }

    // Empties the table, so that its slots can serve another table.
    void clear()
    {
        std::memset(static_cast<void *>(m_slots), 0, m_capacity * sizeof(Slot));
        m_contexts = 0;
    }

    // Where the group of a found slot begins and ends, once filled.
    std::uint32_t begin(size_t slot) const { return slot == 0 ? m_base : m_slots[slot - 1].end; }
    std::uint32_t end(size_t slot) const { return m_slots[slot].end; }

private:
    size_t after(size_t slot) const { return slot + 1 == m_capacity ? 0 : slot + 1; }

    Slot *m_slots = nullptr;
    size_t m_capacity = 0;
    size_t m_limit = 0;
    size_t m_contexts = 0;
    std::uint32_t m_base = 0;
};

// A byte of a context's hash that is never zero (zero marks an empty slot
// of a KeylessTable). The low bits, which choose neither partition nor slot.
inline std::uint8_t TagOf(std::uint64_t hash)
{
    return std::max(std::uint8_t(1), std::uint8_t(hash));
}

// What is kept of a filled ContextTable once its keys are no longer needed:
// for each slot, where its group of positions ends and a tag from its key's
// hash. A lookup skips slots with another tag and checks the context of one
// with the same tag against the text at its group's first position.
class KeylessTable {
public:
    KeylessTable() = default;
    // `capacity` slots at `ends` and `tags`; the first group begins at `base`.
    KeylessTable(std::uint32_t *ends, std::uint8_t *tags, size_t capacity, std::uint32_t base)
        : m_ends(ends), m_tags(tags), m_capacity(capacity), m_base(base)
    {
    }

    size_t capacity() const { return m_capacity; }
    std::uint32_t begin(size_t slot) const { return slot == 0 ? m_base : m_ends[slot - 1]; }
    std::uint32_t end(size_t slot) const { return m_ends[slot]; }
    std::uint8_t tag(size_t slot) const { return m_tags[slot]; }
    size_t after(size_t slot) const { return slot + 1 == m_capacity ? 0 : slot + 1; }

    // Takes the ends and tags of a filled table of the same capacity.
    template <typename Key> void takeFrom(const ContextTable<Key> &table)
    {
        for (size_t slot = 0; slot < m_capacity; ++slot) {
            const Key key = table.keyAt(slot);
            m_ends[slot] = table.end(slot);
            m_tags[slot] = key == Key{} ? 0 : TagOf(HashOf(key));
        }
    }

private:
    std::uint32_t *m_ends = nullptr;
    std::uint8_t *m_tags = nullptr;
    size_t m_capacity = 0;
    std::uint32_t m_base = 0;
};
