#pragma once

#include <cstddef>
#include <cstdint>

// How a context's hash chooses its place in the index: its `bits` high bits
// are its partition (0 bits: the one table), the bits below them its home slot
// in that partition's table. Everything that places or finds a hash asks this
// type. A change of partitioning must keep:
// - one answer for a hash in the census, the deal, the counting and the lookup;
// - each census bucket inside one partition (bits <= the census's bits), so
//   that the census gives each partition's positions exactly (the deal checks);
// - home slots from bits that vary inside a partition, spread over the table;
// - count() tables, which the memory check counts.
struct Partitioning {
    int bits = 0;

    size_t count() const { return size_t(1) << bits; }
    size_t of(std::uint64_t hash) const { return bits ? size_t(hash >> (64 - bits)) : 0; }
    // The partition of the census's bucket `bucket`: its hashes' partition.
    size_t ofBucket(size_t bucket, const Partitioning &census) const
    {
        return of(std::uint64_t(bucket) << (64 - census.bits));
    }
    // The home slot of `hash` in a table of `capacity` slots.
    size_t homeSlot(std::uint64_t hash, size_t capacity) const
    {
        __extension__ typedef unsigned __int128 Wide;
        return size_t((Wide(hash << bits) * capacity) >> 64);
    }
};
