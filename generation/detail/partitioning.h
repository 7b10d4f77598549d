#pragma once

#include <cstddef>
#include <cstdint>

// Where a context's hash places it: its `bits` high bits are its partition
// (none: the one table), the bits below them its home slot in that
// partition's table, where a probe starts. All that places or finds a hash
// asks this type. A change of partitioning must keep:
// - one answer for a hash in the census, the deal, the counting and the lookup;
// - each census bucket inside one partition (bits <= the census's bits), so
//   that the census counts each partition's positions exactly (the deal checks);
// - home slots from the bits that vary inside a partition, spread evenly;
// - count() kept tables, which the memory check counts.
struct Partitioning {
    int bits = 0;

    size_t count() const { return size_t(1) << bits; }
    size_t of(std::uint64_t hash) const { return bits ? size_t(hash >> (64 - bits)) : 0; }
    // The partition of the census's bucket `bucket`: that of its hashes.
    size_t ofBucket(size_t bucket, Partitioning census) const
    {
        return of(std::uint64_t(bucket) << (64 - census.bits));
    }
    // The first slot of a table of `size` where ends(slot) holds, from `hash`'s
    // home slot on, wrapping round. Every table keeps an empty slot: the only exit.
    template <typename Ends> size_t probe(std::uint64_t hash, size_t size, const Ends &ends) const
    {
        __extension__ typedef unsigned __int128 Wide;
        size_t slot = size_t((Wide(hash << bits) * size) >> 64); // the home slot
        while (!ends(slot))
            slot = slot + 1 == size ? 0 : slot + 1;
        return slot;
    }
};
