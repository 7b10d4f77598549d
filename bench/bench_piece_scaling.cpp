// Whether the indexed engine's cost per piece depends on the text: a large
// text at a low order (long lists of occurrences, an index far bigger than
// the caches) against a small text at the highest order.
//
// A step must read the character at a random index of its context's list,
// and the next context depends on that character, so on a large text each
// step waits for one read from memory. To show what that read costs on this
// machine, the same run measures a chain of dependent reads over a table of
// the size the engine reads from, and over a table of the smallest size any
// exact answer could have (the order-2 lists' entropy).

#include "bench_support.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>

namespace {

// Nanoseconds per read of a chain of dependent reads over `bytes` of memory,
// each read at a random place (one random cycle through the table).
double DependentReadNanoseconds(std::size_t bytes)
{
    std::vector<std::uint32_t> next(std::max<std::size_t>(bytes / sizeof(std::uint32_t), 2));
    std::iota(next.begin(), next.end(), 0u);
    std::mt19937_64 random(11);
    for (std::size_t i = next.size() - 1; i > 0; --i) // Sattolo: one cycle through all
        std::swap(next[i], next[std::uniform_int_distribution<std::size_t>(0, i - 1)(random)]);
    std::vector<double> runs;
    std::uint32_t at = 0;
    for (int run = 0; run < 5; ++run) {
        const int steps = 2'000'000;
        const Stopwatch watch;
        for (int i = 0; i < steps; ++i)
            at = next[at];
        runs.push_back(watch.seconds() * 1e9 / steps);
    }
    if (at == std::uint32_t(-1))
        BenchFail(QStringLiteral("impossible cycle")); // keeps the chain from being optimised away
    return Median(runs);
}

// Bytes the order-2 lists need at the least: for each character, the list of
// the characters that follow it (LF excluded), at its entropy.
double SmallestOrder2TableBytes(const QString &text)
{
    std::map<std::pair<char16_t, char16_t>, double> pairs;
    std::map<char16_t, double> totals;
    for (qsizetype p = 0; p + 1 < text.size(); ++p) {
        if (text[p + 1] == u'\n')
            continue;
        pairs[{text[p].unicode(), text[p + 1].unicode()}] += 1;
        totals[text[p].unicode()] += 1;
    }
    double bits = 0;
    for (const auto &[pair, count] : pairs)
        bits += count * std::log2(totals[pair.first] / count);
    return bits / 8;
}

struct Case {
    qsizetype characters;
    int order;
};

QJsonObject measure(const Case &c, double &secondsPerPiece)
{
    const QString content = BenchText(c.characters);
    GenerationRun run = StartOrFail(content, PreparationOptions(), c.order, Engine::Indexed, 7);
    secondsPerPiece = MedianSecondsPerPiece(*run.generator, 7, 0.2, 4096);
    return QJsonObject{
        {"text_characters", double(c.characters)},
        {"order", c.order},
        {"ns_per_piece", secondsPerPiece * 1e9},
    };
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Case large{10'000'000, 2};
    const Case small{10'000, 10};
    double largeSeconds = 0;
    double smallSeconds = 0;
    const QJsonObject largeFigures = measure(large, largeSeconds);
    const QJsonObject smallFigures = measure(small, smallSeconds);

    // The indexed engine keeps one UTF-16 following character per position.
    const double tableBytes = 2.0 * double(large.characters);
    const double smallestBytes = SmallestOrder2TableBytes(BenchText(large.characters));
    PrintJsonLine(QJsonObject{
        {"benchmark", "dependent_read"},
        {"ns_per_read_2MiB", DependentReadNanoseconds(std::size_t(2) << 20)},
        {"table_bytes", tableBytes},
        {"ns_per_read_table", DependentReadNanoseconds(std::size_t(tableBytes))},
        {"smallest_exact_table_bytes", smallestBytes},
        {"ns_per_read_smallest_table", DependentReadNanoseconds(std::size_t(smallestBytes))},
    });
    PrintJsonLine(QJsonObject{
        {"benchmark", "piece_cost_scaling"},
        {"large", largeFigures},
        {"small", smallFigures},
        {"ratio", largeSeconds / smallSeconds},
        {"target_ratio_at_most", 2},
    });
    return 0;
}
