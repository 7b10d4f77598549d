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
    size_t homeOf(std::uint64_t hash) const
    {
        return size_t((ContextKey128(hash) * m_capacity) >> 64);
    }
    const Slot *address(size_t slot) const { return m_slots + slot; }

    // Writes the (still zero) slots once, in order: their pages are faulted
    // in and their cache lines fetched in one sweep, not one random probe
    // at a time.
    void warmUp() { std::memset(static_cast<void *>(m_slots), 0, m_capacity * sizeof(Slot)); }

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
