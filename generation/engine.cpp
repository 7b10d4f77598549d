#include "engine.h"

#include "indexed_finder.h"
#include "memory_budget.h"
#include "prepare_source_text.h"
#include "reference_finder.h"
#include "regexp.h"

#include <new>

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
    if (order < 1 || order > 10)
        return Error{QStringLiteral("L'ordine deve essere compreso tra 1 e 10"),
                     QStringLiteral("order %1").arg(order)};

    GenerationRun run;
    run.pattern = std::make_unique<RegExp>();
    run.pattern->setGlobal(true);
    run.pattern->setMultiline(true);

    // Qt reports an allocation that fails as std::bad_alloc; here it becomes
    // the same refusal as a text found too big beforehand.
    try {
        Result<QString> prepared = PrepareSourceText(content, options, *run.pattern, cancel);
        if (!prepared)
            return prepared.error();
        run.source = std::make_unique<const QString>(std::move(prepared).value());
    } catch (const std::bad_alloc &) {
        return NotEnoughMemory(content.size(), order, std::nullopt, AvailableMemoryBytes());
    }

    const int contextLength = order - 1;
    Result<std::unique_ptr<OccurrenceFinder>> finder =
        MakeFinder(engine, *run.source, contextLength, *run.pattern, cancel);
    if (!finder)
        return finder.error();

    run.random = std::make_unique<RandomSource>(seed);
    run.generator = std::make_unique<ChainGenerator>(
        *run.source, contextLength, SeparatorFor(options), std::move(finder).value(), *run.random);
    if (contextLength > 0) {
        Result<QString> seedContext = run.generator->SeedContext();
        if (!seedContext)
            return seedContext.error();
    }
    return run;
}
