// The cost of one generated piece with each engine, order by order, on about
// 1 MB of Italian-like text: one pattern search of the whole source per step
// against one look-up in the index. Both generators start from the same seed;
// "same_text" says whether their first pieces agree, as they must.

#include "bench_support.h"

#include <QCoreApplication>

namespace {

constexpr qsizetype kCharacters = 1'000'000;
constexpr int kComparedPieces = 200;
constexpr int kBatches = 5;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString content = BenchText(kCharacters);
    const PreparationOptions options;

    for (int order = 1; order <= 10; ++order) {
        const std::uint64_t seed = 1000 + order;
        GenerationRun reference = StartOrFail(content, options, order, Engine::Reference, seed);
        GenerationRun indexed = StartOrFail(content, options, order, Engine::Indexed, seed);

        const bool sameText = reference.generator->context() == indexed.generator->context() &&
                              PiecesOrFail(*reference.generator, kComparedPieces) ==
                                  PiecesOrFail(*indexed.generator, kComparedPieces);

        // The reference is held to a few hundred pieces per order: a batch
        // ends after 0.1 s, and a piece takes milliseconds.
        const double referenceSeconds =
            MedianSecondsPerPiece(*reference.generator, kBatches, 0.1, 4);
        const double indexedSeconds =
            MedianSecondsPerPiece(*indexed.generator, kBatches, 0.1, 4096);

        QJsonObject line{
            {"benchmark", "piece_cost"},
            {"text_characters", double(content.size())},
            {"source_characters", double(reference.source().size())},
            {"order", order},
            {"reference_us_per_piece", referenceSeconds * 1e6},
            {"indexed_ns_per_piece", indexedSeconds * 1e9},
            {"speedup", referenceSeconds / indexedSeconds},
            {"same_text", sameText},
        };
        if (order >= 2 && order <= 4)
            line.insert("target_speedup_at_least", 10000);
        PrintJsonLine(line);
    }
    return 0;
}
