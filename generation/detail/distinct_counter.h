#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

// Estimates how many distinct hashes it was shown (HyperLogLog, 2^14 one-byte
// registers: within about 1% of the truth, in 16 KiB whatever the count).
class DistinctCounter {
public:
    void add(std::uint64_t hash)
    {
        // One more than the zeros after the register's bits (at most 51).
        const auto rank = std::uint8_t(
            std::countl_zero(hash << kIndexBits | std::uint64_t(1) << (kIndexBits - 1)) + 1);
        std::uint8_t &slot = m_registers[hash >> (64 - kIndexBits)];
        slot = std::max(slot, rank);
    }
    void add(const DistinctCounter &other)
    {
        for (size_t i = 0; i < m_registers.size(); ++i)
            m_registers[i] = std::max(m_registers[i], other.m_registers[i]);
    }
    double estimate() const
    {
        double sum = 0, zeros = 0;
        for (const std::uint8_t rank : m_registers) {
            sum += std::ldexp(1.0, -rank);
            zeros += rank == 0;
        }
        const double m = double(m_registers.size()), raw = 0.7213 / (1 + 1.079 / m) * m * m / sum;
        // Few distinct values: count the empty registers instead (linear counting).
        return raw <= 2.5 * m && zeros > 0 ? m * std::log(m / zeros) : raw;
    }

private:
    static constexpr int kIndexBits = 14;
    std::array<std::uint8_t, size_t(1) << kIndexBits> m_registers{};
};
