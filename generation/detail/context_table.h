#pragma once

#include "context_key.h"
#include "index_tuning.h"
#include "occurrence_finder.h"
#include "partitioning.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// The byte of a hash a KeptTable keeps: never 0, which marks an empty slot.
inline std::uint8_t TagOf(std::uint64_t hash)
{
    return std::max(std::uint8_t(1), std::uint8_t(hash));
}

// A partition's CountingTable once its positions are grouped: per slot, the
// end of its context's group (which begins where the previous slot's ends,
// slot 0's at `begin`) and TagOf its hash (0: empty). A slot with the right tag
// is the context's when its group's first position holds it in the text.
struct KeptTable {
    struct __attribute__((packed)) Slot {
        std::uint32_t end;
        std::uint8_t tag;
    };
    std::uint32_t begin = 0;
    Partitioning partitioning;
    std::vector<Slot> entries; // empty until the partition is indexed

    std::uint32_t groupBegin(size_t slot) const { return slot ? entries[slot - 1].end : begin; }
    // The slot of the context with `hash` for which isContext(its group's
    // begin) holds, or an empty one.
    template <typename IsContext> size_t find(std::uint64_t hash, const IsContext &isContext) const
    {
        return partitioning.probe(hash, entries.size(), [&](size_t s) {
            return entries[s].tag == 0 ||
                   (entries[s].tag == TagOf(hash) && isContext(groupBegin(s)));
        });
    }
};

// Per context of the positions it is shown: its key, the position where it was
// first seen (negative: an empty slot) and how many positions have it. Contexts
// that share a key are told apart by their text, unless keys are exact.
struct CountingTable {
    struct Slot {
        std::uint64_t key;
        SourcePosition firstSeen;
        std::uint32_t count;
    };
    static constexpr std::uint32_t kFull = ~std::uint32_t(0);
    // Contexts of `length` characters of `text` in one partition of
    // `partitioning`, in at most `load` (0 to 1) of the slots.
    const char16_t *text;
    int length;
    bool exactKeys;
    Partitioning partitioning;
    double load;
    std::vector<Slot> entries = {};
    size_t room = 0;

    static size_t slotsFor(size_t n, double load) { return size_t(double(n) / load) + 1; }
    // Empties the table and makes it room for `contexts` contexts.
    void reset(size_t contexts)
    {
        entries.assign(slotsFor(contexts, load), Slot{0, -1, 0});
        room = contexts;
        Ensure(entries.size() > room, "a table keeps an empty slot");
    }
    // Counts position `p`, whose context has `key` and `hash`: its slot, or
    // kFull when the context is new and there is no room left.
    std::uint32_t count(std::uint64_t key, std::uint64_t hash, SourcePosition p)
    {
        const std::uint32_t slot = find(key, hash, p);
        Slot &found = entries[slot];
        if (found.firstSeen < 0) {
            if (room == 0)
                return kFull;
            --room;
            found = Slot{key, p, 0};
        }
        ++found.count;
        return slot;
    }
    // The slot of the context of `p`, or the empty one where it would go.
    std::uint32_t find(std::uint64_t key, std::uint64_t hash, SourcePosition p) const
    {
        return std::uint32_t(partitioning.probe(hash, entries.size(), [&](size_t slot) {
            const Slot &s = entries[slot];
            return s.firstSeen < 0 ||
                   (s.key == key &&
                    (exactKeys ||
                     std::equal(text + s.firstSeen, text + s.firstSeen + length, text + p)));
        }));
    }
    // Lays the groups out in slot order from `begin`: where each starts, and
    // the KeptTable that finds them once they are filled.
    KeptTable layOut(std::uint32_t begin, std::vector<std::uint32_t> &starts) const
    {
        KeptTable kept{begin, partitioning, std::vector<KeptTable::Slot>(entries.size())};
        starts.resize(entries.size());
        for (size_t slot = 0; slot < entries.size(); ++slot) {
            const Slot &s = entries[slot];
            starts[slot] = begin;
            kept.entries[slot] = {begin += s.count,
                                  s.firstSeen < 0 ? std::uint8_t(0) : TagOf(MixBits(s.key))};
        }
        return kept;
    }
};
