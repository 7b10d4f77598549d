#pragma once

#include "context_key.h"
#include "large_array.h"

#include <algorithm>
#include <cstdint>
#include <new>

// An open-addressing table (linear probing) from a context's exact key to
// its group of positions. A slot holds the key (zero when empty) and one
// number: while counting, how many positions have the context; then where
// its group begins in the positions array; once the positions are in, where
// it ends. A group begins where the previous slot's ends, so a slot costs
// the key and four bytes.
template <typename Key> class ContextTable {
public:
    struct __attribute__((packed)) Slot {
        Key key;
        std::uint32_t end;
    };
    static constexpr size_t kNotFound = ~size_t(0);

    // An empty table of `capacity` slots; false when the memory is refused.
    bool allocate(size_t capacity)
    {
        m_slots = LargeArray<Slot>(std::max<size_t>(capacity, 2));
        m_capacity = m_slots.size();
        m_contexts = 0;
        m_growAt = m_capacity - 1 - m_capacity / 10; // grows beyond 90% load
        return bool(m_slots);
    }

    size_t capacity() const { return m_capacity; }
    size_t homeOf(std::uint64_t hash) const
    {
        return size_t((ContextKey128(hash) * m_capacity) >> 64);
    }
    const Slot *address(size_t slot) const { return &m_slots[slot]; }

    // One more position for `key`, whose search starts at `home` if the
    // table still has `homeCapacity` slots. Throws std::bad_alloc when the
    // table must grow and cannot.
    void count(Key key, std::uint64_t hash, size_t home, size_t homeCapacity)
    {
        if (m_contexts >= m_growAt) {
            grow();
            home = homeOf(hash);
        } else if (homeCapacity != m_capacity) {
            home = homeOf(hash);
        }
        for (size_t slot = home;; slot = after(slot)) {
            const Key found = m_slots[slot].key;
            if (found == key) {
                ++m_slots[slot].end;
                return;
            }
            if (found == Key{}) {
                m_slots[slot].key = key;
                m_slots[slot].end = 1;
                ++m_contexts;
                return;
            }
        }
    }

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

    // The next place in the group of `key`, which was counted.
    std::uint32_t nextPlace(Key key, size_t home)
    {
        size_t slot = home;
        while (!(Key(m_slots[slot].key) == key))
            slot = after(slot);
        return m_slots[slot].end++;
    }

    // The slot of `key`, or kNotFound.
    size_t find(Key key, std::uint64_t hash) const
    {
        if (m_capacity == 0)
            return kNotFound;
        for (size_t slot = homeOf(hash);; slot = after(slot)) {
            const Key found = m_slots[slot].key;
            if (found == key)
                return slot;
            if (found == Key{})
                return kNotFound;
        }
    }

    // Where the group of a found slot begins and ends.
    std::uint32_t begin(size_t slot) const { return slot == 0 ? m_base : m_slots[slot - 1].end; }
    std::uint32_t end(size_t slot) const { return m_slots[slot].end; }

private:
    size_t after(size_t slot) const { return slot + 1 == m_capacity ? 0 : slot + 1; }

    // Doubles the table when the estimate of the contexts fell short; every
    // key is distinct, so re-inserting needs no comparison.
    void grow()
    {
        const LargeArray<Slot> old = std::move(m_slots);
        const size_t oldCapacity = m_capacity;
        if (!allocate(2 * oldCapacity))
            throw std::bad_alloc();
        for (size_t i = 0; i < oldCapacity; ++i) {
            const Key key = old[i].key;
            if (key == Key{})
                continue;
            size_t slot = homeOf(HashOf(key));
            while (!(Key(m_slots[slot].key) == Key{}))
                slot = after(slot);
            m_slots[slot].key = key;
            m_slots[slot].end = old[i].end;
            ++m_contexts;
        }
    }

    LargeArray<Slot> m_slots;
    size_t m_capacity = 0;
    size_t m_contexts = 0;
    size_t m_growAt = 0;
    std::uint32_t m_base = 0;
};
