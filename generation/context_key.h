#pragma once

// Exact keys for the contexts of one source text, computed rolling: each
// character is replaced by its rank in the source's alphabet (1..alphabet
// size, so that no key of a real context is zero) and the ranks of a
// context are packed side by side. Moving one position on shifts the oldest
// rank out and the new one in, whatever the context length.
//
// Three widths, the narrowest that holds rank bits x context length: 64
// bits (prose at every order), 128 bits, and 144 bits for a source of more
// than 16383 distinct code units at the longest context.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

using ContextRank = std::uint16_t;
__extension__ typedef unsigned __int128 ContextKey128;

// Packed, so that a table slot holding one stays small.
struct __attribute__((packed)) ContextKey144 {
    ContextKey128 low;
    std::uint16_t high;
    friend bool operator==(ContextKey144 a, ContextKey144 b)
    {
        return a.low == b.low && a.high == b.high;
    }
};

// How ranks are packed: `bits` per rank, `total` for a whole context.
struct KeyPacking {
    int bits = 1;
    int total = 1;
};

inline std::uint64_t ShiftIn(std::uint64_t key, ContextRank rank, KeyPacking packing)
{
    key = key << packing.bits | rank;
    return packing.total >= 64 ? key : key & ((std::uint64_t(1) << packing.total) - 1);
}

inline ContextKey128 ShiftIn(ContextKey128 key, ContextRank rank, KeyPacking packing)
{
    key = key << packing.bits | rank;
    return packing.total >= 128 ? key : key & ((ContextKey128(1) << packing.total) - 1);
}

// Only used when total > 128, so 1..16 bits live in `high`.
inline ContextKey144 ShiftIn(ContextKey144 key, ContextRank rank, KeyPacking packing)
{
    key.high = std::uint16_t(
        (std::uint32_t(key.high) << packing.bits | std::uint32_t(key.low >> (128 - packing.bits))) &
        ((std::uint32_t(1) << (packing.total - 128)) - 1));
    key.low = key.low << packing.bits | rank;
    return key;
}

// A well-mixed 64-bit hash (the finalizer of MurmurHash3): every bit of the
// key moves the high bits, which choose the table slot.
inline std::uint64_t MixBits(std::uint64_t key)
{
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ULL;
    key ^= key >> 33;
    return key;
}

inline std::uint64_t HashOf(std::uint64_t key)
{
    return MixBits(key);
}
inline std::uint64_t HashOf(ContextKey128 key)
{
    return MixBits(std::uint64_t(key) ^ MixBits(std::uint64_t(key >> 64)));
}
inline std::uint64_t HashOf(ContextKey144 key)
{
    return MixBits(HashOf(key.low) ^ key.high);
}

// Estimates how many distinct hashes it was shown (HyperLogLog, 2^14
// registers: within about 1% of the truth), in 16 KiB whatever the count.
// The index sizes its table with it before placing a single context.
class DistinctCounter {
public:
    void add(std::uint64_t hash)
    {
        const std::uint64_t rest = hash << kIndexBits;
        const auto rank = std::uint8_t(rest ? std::countl_zero(rest) + 1 : 64 - kIndexBits + 1);
        std::uint8_t &slot = m_registers[hash >> (64 - kIndexBits)];
        if (rank > slot)
            slot = rank;
    }

    // Takes in what `other` was shown, as if this had been shown it too.
    void add(const DistinctCounter &other)
    {
        for (int i = 0; i < kRegisters; ++i)
            m_registers[i] = std::max(m_registers[i], other.m_registers[i]);
    }

    double estimate() const;

private:
    static constexpr int kIndexBits = 14;
    static constexpr int kRegisters = 1 << kIndexBits;
    std::uint8_t m_registers[kRegisters] = {};
};

inline double DistinctCounter::estimate() const
{
    double sum = 0;
    int zeros = 0;
    for (const std::uint8_t rank : m_registers) {
        sum += 1.0 / double(std::uint64_t(1) << rank);
        zeros += rank == 0;
    }
    const double m = kRegisters;
    const double raw = 0.7213 / (1 + 1.079 / m) * m * m / sum;
    // Few distinct values: count the empty registers instead (linear counting).
    if (raw <= 2.5 * m && zeros > 0)
        return m * std::log(m / zeros);
    return raw;
}
