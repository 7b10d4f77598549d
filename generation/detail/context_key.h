#pragma once

// Keys and hashes of the contexts of one source text. A context of L characters
// with ranks r_0..r_{L-1} in the source's alphabet (from 1) has the key
// sum(r_i * M^(L-1-i)) mod 2^64, rolled in constant time per position. With
// rank bits * L <= 64, M = 2^rank bits: the ranks sit side by side. Otherwise M
// is a large odd number. Keys keep the low key bits (tests: fewer, to collide);
// inexact keys may be shared by contexts, whose texts tell them apart.

#include <QtGlobal>

#include <algorithm>
#include <cstdint>

// A code unit's rank: 1 to 65,536, and 0 for one the text lacks.
using ContextRank = std::uint32_t;

class ContextKeys {
public:
    ContextKeys() = default;
    ContextKeys(int rankBits, int length, int keyBits)
        : m_length(length), m_exact(rankBits * length <= std::min(keyBits, 64)),
          m_shift(rankBits * length <= 64 ? rankBits : 0),
          m_base(m_shift ? std::uint64_t(1) << m_shift : 0x9E3779B97F4A7C15ULL),
          m_mask(keyBits >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << keyBits) - 1)
    {
        for (int i = 1; i < length; ++i)
            m_weight *= m_base;
    }

    bool exact() const { return m_exact; }
    // Rolls the keys of the contexts at positions from `context` on: the first
    // L - 1 ranks; then for each position, the key of its context, leaving
    // `rolling` ready for the next. A context's key alone is the first of a
    // roll from it: both ways share one definition.
    std::uint64_t before(const ContextRank *rank, const char16_t *context) const
    {
        std::uint64_t rolling = 0;
        for (int i = 0; i + 1 < m_length; ++i)
            rolling = in(rolling, rank[context[i]]);
        return rolling;
    }
    std::uint64_t next(std::uint64_t &rolling, const ContextRank *rank,
                       const char16_t *context) const
    {
        rolling = in(rolling, rank[context[m_length - 1]]);
        const std::uint64_t key = rolling & m_mask;
        rolling -= rank[context[0]] * m_weight; // the first character's share
        return key;
    }

private:
    // `rank` added at the end: by a shift where M is a power of two (each
    // position then waits for the one before).
    std::uint64_t in(std::uint64_t rolling, ContextRank rank) const
    {
        return (m_shift ? rolling << m_shift : rolling * m_base) + rank;
    }

    int m_length = 0;
    bool m_exact = true;
    int m_shift = 0; // log2 M, or 0 when M is odd
    std::uint64_t m_base = 0;
    std::uint64_t m_mask = 0;
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
