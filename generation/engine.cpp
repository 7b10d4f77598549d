#include "engine.h"

#include "indexed_finder.h"
#include "memory_budget.h"
#include "prepare_source_text.h"
#include "reference_finder.h"
#include "regexp.h"
#include "source_text.h"
#include "text_decoding.h"

#include <QFileInfo>

#include <new>

namespace {

std::optional<Error> badOrder(int order)
{
    if (order >= 1 && order <= 10)
        return std::nullopt;
    return Error{QStringLiteral("L'ordine deve essere compreso tra 1 e 10"),
                 QStringLiteral("order %1").arg(order)};
}

// The work an index build tells of as it goes; order 1 and the reference
// finder build nothing.
qint64 finderWork(Engine engine, const QString &source, int contextLength)
{
    return engine == Engine::Indexed && contextLength > 0 ? IndexWork(source) : 0;
}

// The source text prepared from `content`, with the run's pattern object.
Result<PreparedText> prepared(const QString &content, const PreparationOptions &options, int order,
                              Cancellation *cancel)
{
    if (!BeginStage(cancel, RunStage::Preparing, PreparationWork(content)))
        return CancelledError();
    PreparedText text;
    text.options = options;
    text.pattern = std::make_unique<RegExp>();
    text.pattern->setGlobal(true);
    text.pattern->setMultiline(true);
    // Qt reports an allocation that fails as std::bad_alloc; here it becomes
    // the same refusal as a text found too big beforehand.
    try {
        Result<QString> source = PrepareSourceText(content, options, cancel);
        if (!source)
            return source.error();
        text.source = std::make_unique<const QString>(std::move(source).value());
    } catch (const std::bad_alloc &) {
        return NotEnoughMemory(content.size(), order, std::nullopt, AvailableMemoryBytes());
    }
    return text;
}

// Builds the index run.work lacks for this order, then the random source
// and the generator with its seed context.
Status seeded(GenerationRun &run, int order, Engine engine, std::uint64_t seed,
              Cancellation *cancel)
{
    const int contextLength = order - 1;
    const PreparedText &text = *run.work.text;
    if (!run.work.index) {
        if (!BeginStage(cancel, RunStage::Indexing,
                        finderWork(engine, *text.source, contextLength)))
            return CancelledError();
        Result<std::unique_ptr<OccurrenceFinder>> finder =
            MakeFinder(engine, *text.source, contextLength, *text.pattern, cancel);
        if (!finder)
            return finder.error();
        run.work.index = SourceIndex{contextLength, engine, std::move(finder).value()};
    }

    if (!BeginStage(cancel, RunStage::Seeding))
        return CancelledError();
    run.random = std::make_unique<RandomSource>(seed);
    auto generator =
        std::make_unique<ChainGenerator>(*text.source, contextLength, SeparatorFor(text.options),
                                         run.work.index->finder.get(), *run.random);
    if (contextLength > 0) {
        Result<QString> seedContext = generator->SeedContext();
        if (!seedContext)
            return seedContext.error();
    }
    run.generator = std::move(generator);
    return Done{};
}

// The file's text, read and digested afresh: the Error is the reading's own,
// naming the file.
Result<std::pair<QString, ContentDigest>> readAndDigest(const QString &path, Cancellation *cancel)
{
    if (!BeginStage(cancel, RunStage::Reading, QFileInfo(path).size()))
        return CancelledError();
    Result<QByteArray> bytes = ReadSourceBytes(path, cancel);
    if (!bytes)
        return bytes.error();
    if (!BeginStage(cancel, RunStage::Digest, bytes.value().size()))
        return CancelledError();
    const std::optional<ContentDigest> digest = DigestOf(bytes.value(), LookAt(cancel));
    if (!digest)
        return CancelledError();
    if (!BeginStage(cancel, RunStage::Decoding, DecodingWork(bytes.value())))
        return CancelledError();
    Result<QString> content = DecodeSourceText(path, std::move(bytes).value(), cancel);
    if (!content)
        return content.error();
    return std::pair{std::move(content).value(), *digest};
}

// A failure after the file was read: worded as one to process that file.
Error processingFailed(const QString &path, const Error &error)
{
    return Error{
        QStringLiteral("Impossibile elaborare il file \"%1\":\n%2").arg(path, error.message),
        error.detail};
}

} // namespace

Result<std::unique_ptr<OccurrenceFinder>> MakeFinder(Engine engine, const QString &source,
                                                     int contextLength, RegExp &pattern,
                                                     Cancellation *cancel)
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
                                      Cancellation *cancel)
{
    if (std::optional<Error> error = badOrder(order))
        return *error;
    GenerationRun run;
    Result<PreparedText> text = prepared(content, options, order, cancel);
    if (!text)
        return text.error();
    run.work.text = std::move(text).value();
    if (Status status = seeded(run, order, engine, seed, cancel); !status)
        return status.error();
    return run;
}

Status StartGenerationFromFile(GenerationRun &run, const QString &path,
                               const PreparationOptions &options, int order, Engine engine,
                               std::uint64_t seed, Cancellation *cancel)
{
    run.generator.reset();
    run.random.reset();
    if (std::optional<Error> error = badOrder(order))
        return *error;
    KeptWork &work = run.work;
    work.keepWhatMayServe(options, order - 1, engine);
    // A kept text is compared with the file by a digest read in small
    // blocks: taking it over costs no memory in proportion to the file.
    if (work.text) {
        if (!BeginStage(cancel, RunStage::Digest, QFileInfo(path).size()))
            return CancelledError();
        Result<ContentDigest> digest = DigestSourceFile(path, cancel);
        if (!digest)
            return digest.error();
        work.keepIfMadeFrom(digest.value());
    }
    if (!work.text) {
        Result<std::pair<QString, ContentDigest>> content = readAndDigest(path, cancel);
        if (!content)
            return content.error();
        Result<PreparedText> text = prepared(content.value().first, options, order, cancel);
        if (!text)
            return processingFailed(path, text.error());
        text.value().fileDigest = content.value().second;
        work.text = std::move(text).value();
    } // the file's text is freed here, before the index is built
    if (Status status = seeded(run, order, engine, seed, cancel); !status)
        return processingFailed(path, status.error());
    return Done{};
}
