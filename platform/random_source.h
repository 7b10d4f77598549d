#pragma once

#include <cstdint>
#include <random>

// Uniform pseudo-random values 0 <= r < 1. The same seed gives the same
// values with every compiler and standard library: the conversion to [0,1) is
// done here, not by a std distribution.
class RandomSource {
public:
    explicit RandomSource(std::uint64_t seed) : m_engine(seed) {}

    // A seed from the time of day, as every run start and continuation
    // needs.
    static std::uint64_t timeOfDaySeed();

    double next();

    // floor(next() * count) for count > 0: an index 0..count-1.
    std::int64_t index(std::int64_t count) { return std::int64_t(next() * double(count)); }

private:
    std::mt19937_64 m_engine;
};
