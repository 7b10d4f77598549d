#pragma once

// Keys and hashes of the contexts of one source text. A context of L
// characters with ranks r_0..r_{L-1} in the source's alphabet (from 1) has
// the key sum(r_i * M^(L-1-i)) mod 2^64, computed rolling in constant time
// per position. With M = 2^rank bits and rank bits * L <= key bits the ranks
// sit side by side and the key is exact; otherwise M is a large odd number
// and two contexts may share a key (their texts tell them apart). Fewer than
// 64 key bits keep only the low bits, so that tests can make keys collide.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

using ContextRank = std::uint16_t;

class ContextKeys {
public:
    ContextKeys(int rankBits, int length, int keyBits)
        : m_exact(rankBits * length <= std::min(keyBits, 64)),
          m_shift(rankBits * length <= 64 ? rankBits : 0),
          m_base(m_shift ? std::uint64_t(1) << m_shift : 0x9E3779B97F4A7C15ULL),
          m_mask(keyBits >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << keyBits) - 1)
    {
        for (int i = 1; i < length; ++i)
            m_weight *= m_base;
    }

    bool exact() const { return m_exact; }
    // A rolling value with `rank` added at the end; with the rank of a whole
    // context's first character taken away; the key of a whole context.
    // (A shift where M is a power of two: a multiplication takes longer,
    // and every position waits for the one before.)
    std::uint64_t in(std::uint64_t rolling, ContextRank rank) const
    {
        return (m_shift ? rolling << m_shift : rolling * m_base) + rank;
    }
    std::uint64_t out(std::uint64_t rolling, ContextRank rank) const
    {
        return rolling - rank * m_weight;
    }
    std::uint64_t key(std::uint64_t rolling) const { return rolling & m_mask; }

private:
    bool m_exact;
    int m_shift; // log2 M, or 0 when M is odd
    std::uint64_t m_base;
    std::uint64_t m_mask;
    std::uint64_t m_weight = 1; // M^(L-1)
};

// A well-mixed 64-bit hash (the finalizer of MurmurHash3): every bit of the
// key moves the high bits, which choose the partition and the table slot.
inline std::uint64_t MixBits(std::uint64_t key)
{
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ULL;
    return key ^ (key >> 33);
}

// Estimates how many distinct hashes it was shown (HyperLogLog, 2^14
// registers: within about 1% of the truth), in 16 KiB whatever the count.
class DistinctCounter {
public:
    void add(std::uint64_t hash)
    {
        const std::uint64_t rest = hash << kIndexBits;
        const auto rank = std::uint8_t(rest ? std::countl_zero(rest) + 1 : 64 - kIndexBits + 1);
        std::uint8_t &slot = m_registers[hash >> (64 - kIndexBits)];
        slot = std::max(slot, rank);
    }

    // Takes in what `other` was shown, as if this had been shown it too.
    void add(const DistinctCounter &other)
    {
        for (int i = 0; i < kRegisters; ++i)
            m_registers[i] = std::max(m_registers[i], other.m_registers[i]);
    }

    double estimate() const
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
        return raw <= 2.5 * m && zeros > 0 ? m * std::log(m / zeros) : raw;
    }

private:
    static constexpr int kIndexBits = 14;
    static constexpr int kRegisters = 1 << kIndexBits;
    std::uint8_t m_registers[kRegisters] = {};
};
