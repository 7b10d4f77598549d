#include "engine.h"

#include "indexed_finder.h"
#include "prepare_source_text.h"
#include "reference_finder.h"
#include "regexp.h"

namespace {

Error CancelledError()
{
    return Error{QStringLiteral("Preparazione annullata"), QStringLiteral("cancelled")};
}

} // namespace

Result<std::unique_ptr<OccurrenceFinder>> MakeFinder(Engine engine, const QString &source,
                                                     int contextLength, RegExp &pattern)
{
    switch (engine) {
    case Engine::Reference:
        return std::unique_ptr<OccurrenceFinder>(
            std::make_unique<ReferenceFinder>(source, contextLength, pattern));
    case Engine::Indexed:
        return MakeIndexedFinder(source, contextLength);
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

    Result<QString> prepared = PrepareSourceText(content, options, *run.pattern);
    if (!prepared)
        return prepared.error();
    run.source = std::make_unique<const QString>(std::move(prepared).value());
    if (cancel && cancel->cancelled())
        return CancelledError();

    const int contextLength = order - 1;
    Result<std::unique_ptr<OccurrenceFinder>> finder =
        MakeFinder(engine, *run.source, contextLength, *run.pattern);
    if (!finder)
        return finder.error();
    if (cancel && cancel->cancelled())
        return CancelledError();

    run.random = std::make_unique<RandomSource>(seed);
    run.generator = std::make_unique<ChainGenerator>(*run.source, contextLength,
                                                     SeparatorFor(options),
                                                     std::move(finder).value(), *run.random);
    if (contextLength > 0) {
        Result<QString> seedContext = run.generator->SeedContext();
        if (!seedContext)
            return seedContext.error();
        run.firstPiece = std::move(seedContext).value();
    }
    return run;
}
