#include "random_source.h"

#include <QTime>

#include <atomic>
#include <chrono>

namespace {

// SplitMix64 finaliser: spreads every input bit over the whole word, so seeds
// that differ in a few low bits (two clock readings a microsecond apart) give
// unrelated engine states.
std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

} // namespace

std::uint64_t RandomSource::timeOfDaySeed()
{
    // The time of day alone has millisecond resolution: a pause and a quick
    // continuation, or two programs started together, would then draw the same
    // text. The high-resolution clock and a per-process counter separate them.
    static std::atomic<std::uint64_t> calls{0};
    const auto millisecondsSinceMidnight =
        std::uint64_t(QTime::currentTime().msecsSinceStartOfDay());
    const auto ticks =
        std::uint64_t(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    const std::uint64_t call = calls.fetch_add(1, std::memory_order_relaxed);
    return mix(millisecondsSinceMidnight) ^ mix(ticks ^ mix(call));
}

double RandomSource::next()
{
    // The top 53 bits of one engine output, scaled by 2^-53: every value is a
    // multiple of 2^-53 in [0, 1), exactly, on every compiler.
    return double(m_engine() >> 11) * 0x1.0p-53;
}
