// The wait between a click on the run button and the first piece: read the
// file from disk, decode it, prepare it, build the index and choose the seed,
// for files of about 1 MB and 10 MB. "total_s" is the path a run takes
// (ReadTextFile, then StartGeneration); the steps are also timed one by one.
// The file is read from the page cache, as on a second run.

#include "bench_support.h"

#include "code_units.h"
#include "indexed_finder.h"
#include "prepare_source_text.h"
#include "temp_files.h"
#include "text_file.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

struct Steps {
    std::vector<double> read, prepare, index, seed, total;
};

QString readOrFail(const QString &path)
{
    Result<QString> content = ReadTextFile(path);
    if (!content)
        BenchFail(QStringLiteral("ReadTextFile: ") + content.error().detail);
    return std::move(content).value();
}

// One run of each step on its own, in the order a run takes them.
void timeSteps(const QString &path, const PreparationOptions &options, int order, Steps &steps)
{
    Stopwatch watch;
    const QString content = readOrFail(path);
    steps.read.push_back(watch.seconds());

    watch = Stopwatch();
    Result<QString> prepared = PrepareSourceText(content, options);
    if (!prepared)
        BenchFail(QStringLiteral("PrepareSourceText: ") + prepared.error().detail);
    steps.prepare.push_back(watch.seconds());

    watch = Stopwatch();
    Result<std::unique_ptr<OccurrenceFinder>> finder =
        MakeIndexedFinder(prepared.value(), order - 1);
    if (!finder)
        BenchFail(QStringLiteral("MakeIndexedFinder: ") + finder.error().detail);
    steps.index.push_back(watch.seconds());

    watch = Stopwatch();
    RandomSource random(order);
    ChainGenerator generator(prepared.value(), order - 1, SeparatorFor(options),
                             finder.value().get(), random);
    if (!generator.SeedContext())
        BenchFail(QStringLiteral("SeedContext failed"));
    steps.seed.push_back(watch.seconds());
}

void timeTotal(const QString &path, const PreparationOptions &options, int order, Steps &steps)
{
    const Stopwatch watch;
    const QString content = readOrFail(path);
    GenerationRun run = StartOrFail(content, options, order, Engine::Indexed, order);
    steps.total.push_back(watch.seconds());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    const struct {
        qsizetype characters;
        int repeats;
        double target;
    } sizes[] = {{1'000'000, 7, 0.25}, {10'000'000, 3, 0.6}};

    PreparationOptions allOn;
    allOn.ignoreDigits = allOn.ignoreLineBreaks = allOn.ignorePunctuation = allOn.lowerCase =
        allOn.keepMultipleSpaces = true;
    const struct {
        const char *name;
        PreparationOptions options;
    } optionSets[] = {{"all off", PreparationOptions()}, {"all on", allOn}};

    for (const auto &size : sizes) {
        const QByteArray bytes = EncodeUtf8(BenchText(size.characters));
        const QString path = WriteTempFile(dir, QStringLiteral("testo.txt"), bytes);
        for (const auto &optionSet : optionSets) {
            for (int order : {4, 10}) {
                Steps steps;
                for (int i = 0; i < size.repeats; ++i) {
                    timeTotal(path, optionSet.options, order, steps);
                    timeSteps(path, optionSet.options, order, steps);
                }
                PrintJsonLine(QJsonObject{
                    {"benchmark", "first_piece"},
                    {"file_bytes", double(bytes.size())},
                    {"options", optionSet.name},
                    {"order", order},
                    {"read_s", Median(steps.read)},
                    {"prepare_s", Median(steps.prepare)},
                    {"index_s", Median(steps.index)},
                    {"seed_s", Median(steps.seed)},
                    {"total_s", Median(steps.total)},
                    {"target_s_at_most", size.target},
                });
            }
        }
    }
    return 0;
}
