#include "engine.h"

#include "indexed_finder.h"
#include "memory_budget.h"
#include "prepare_source_text.h"
#include "reference_finder.h"
#include "regexp.h"
#include "source_text.h"

#include <new>

namespace {

using FinderResult = Result<std::unique_ptr<OccurrenceFinder>>;

std::optional<Error> badOrder(int order)
{
    if (order >= 1 && order <= 10)
        return std::nullopt;
    return Error{QStringLiteral("L'ordine deve essere compreso tra 1 e 10"),
                 QStringLiteral("order %1").arg(order)};
}

// A run holding the source text prepared from `content`, nothing else yet.
Result<GenerationRun> prepared(const QString &content, const PreparationOptions &options, int order,
                               const Cancellation *cancel)
{
    GenerationRun run;
    run.options = options;
    run.pattern = std::make_unique<RegExp>();
    run.pattern->setGlobal(true);
    run.pattern->setMultiline(true);

    // Qt reports an allocation that fails as std::bad_alloc; here it becomes
    // the same refusal as a text found too big beforehand.
    try {
        Result<QString> text = PrepareSourceText(content, options, cancel);
        if (!text)
            return text.error();
        run.source = std::make_unique<const QString>(std::move(text).value());
    } catch (const std::bad_alloc &) {
        return NotEnoughMemory(content.size(), order, std::nullopt, AvailableMemoryBytes());
    }
    return run;
}

// Completes a run whose source text is prepared: the finder (built unless
// `finder` already holds one for this order), the random source and the
// generator with its seed context.
Result<GenerationRun> seeded(GenerationRun run, int order, Engine engine, std::uint64_t seed,
                             const Cancellation *cancel, std::optional<FinderResult> finder)
{
    const int contextLength = order - 1;
    if (!finder)
        finder = MakeFinder(engine, *run.source, contextLength, *run.pattern, cancel);
    if (!*finder)
        return finder->error();

    run.random = std::make_unique<RandomSource>(seed);
    run.generator =
        std::make_unique<ChainGenerator>(*run.source, contextLength, SeparatorFor(run.options),
                                         std::move(*finder).value(), *run.random);
    if (contextLength > 0) {
        Result<QString> seedContext = run.generator->SeedContext();
        if (!seedContext)
            return seedContext.error();
    }
    return run;
}

} // namespace

Result<std::unique_ptr<OccurrenceFinder>> MakeFinder(Engine engine, const QString &source,
                                                     int contextLength, RegExp &pattern,
                                                     const Cancellation *cancel)
{
    if (contextLength == 0)
        return std::unique_ptr<OccurrenceFinder>();
    switch (engine) {
    case Engine::Reference:
        return std::unique_ptr<OccurrenceFinder>(
            std::make_unique<ReferenceFinder>(source, contextLength, pattern));
    case Engine::Indexed:
        return MakeIndexedFinder(source, contextLength, cancel);
    }
    return Error{QStringLiteral("Motore di generazione sconosciuto"), QString()};
}

Result<GenerationRun> StartGeneration(const QString &content, const PreparationOptions &options,
                                      int order, Engine engine, std::uint64_t seed,
                                      const Cancellation *cancel)
{
    if (std::optional<Error> error = badOrder(order))
        return *error;
    Result<GenerationRun> run = prepared(content, options, order, cancel);
    if (!run)
        return run.error();
    return seeded(std::move(run).value(), order, engine, seed, cancel, std::nullopt);
}

namespace {

Result<GenerationRun> startFromFile(const QString &path, const PreparationOptions &options,
                                    int order, Engine engine, std::uint64_t seed,
                                    const Cancellation *cancel, std::optional<GenerationRun> kept,
                                    bool &fileRead)
{
    if (std::optional<Error> error = badOrder(order))
        return *error;
    // A kept run is compared with the file first, by a digest read in small
    // blocks: taking it over then costs no memory and no time in proportion to
    // the file's size but the reading.
    if (kept && kept->generator && kept->fileDigest && kept->options == options) {
        Result<ContentDigest> digest = DigestSourceFile(path);
        if (!digest)
            return digest.error();
        if (digest.value() == *kept->fileDigest) {
            fileRead = true;
            GenerationRun run;
            run.source = std::move(kept->source);
            run.pattern = std::move(kept->pattern);
            run.fileDigest = kept->fileDigest;
            run.options = options;
            std::optional<FinderResult> finder;
            if (kept->generator->contextLength() == order - 1)
                finder = kept->generator->releaseFinder();
            // An index for another order goes before the new one is built.
            kept.reset();
            ReturnFreedMemory();
            return seeded(std::move(run), order, engine, seed, cancel, std::move(finder));
        }
    }

    // Nothing of the kept run serves: it goes, all of it, before the file is
    // read. Its small tables were made on a worker thread, whose arena would
    // keep them after free and raise the next build's peak.
    kept.reset();
    ReturnFreedMemory();
    std::optional<QByteArray> bytes;
    {
        Result<QByteArray> read = ReadSourceBytes(path, cancel);
        if (!read)
            return read.error();
        bytes = std::move(read).value();
    }
    const std::optional<ContentDigest> digest =
        DigestOf(*bytes, [cancel] { return IsCancelled(cancel); });
    if (!digest)
        return CancelledError();
    fileRead = true;

    Result<GenerationRun> run = [&]() -> Result<GenerationRun> {
        Result<QString> content = DecodeSourceText(path, *bytes, cancel);
        bytes.reset();
        if (!content) {
            fileRead = false; // the file cannot be used: said as a reading error is
            return content.error();
        }
        return prepared(content.value(), options, order, cancel);
    }(); // the file's text is freed here, before the index is built
    if (!run)
        return run.error();
    run.value().fileDigest = *digest;
    return seeded(std::move(run).value(), order, engine, seed, cancel, std::nullopt);
}

} // namespace

Result<GenerationRun> StartGenerationFromFile(const QString &path,
                                              const PreparationOptions &options, int order,
                                              Engine engine, std::uint64_t seed,
                                              const Cancellation *cancel,
                                              std::optional<GenerationRun> kept)
{
    bool fileRead = false;
    Result<GenerationRun> run =
        startFromFile(path, options, order, engine, seed, cancel, std::move(kept), fileRead);
    if (run || !fileRead)
        return run;
    return Error{
        QStringLiteral("Impossibile elaborare il file \"%1\":\n%2").arg(path, run.error().message),
        run.error().detail};
}
