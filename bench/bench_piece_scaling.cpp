// Whether the indexed engine's cost per piece depends on the text: a large
// text at a low order (long lists of occurrences, an index far bigger than
// the caches) against a small text at the highest order.

#include "bench_support.h"

#include <QCoreApplication>

namespace {

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
    PrintJsonLine(QJsonObject{
        {"benchmark", "piece_cost_scaling"},
        {"large", largeFigures},
        {"small", smallFigures},
        {"ratio", largeSeconds / smallSeconds},
        {"target_ratio_at_most", 2},
    });
    return 0;
}
