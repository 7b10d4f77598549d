#include "indexed_finder.h"

#include "context_index.h"
#include "memory_budget.h"

#include <limits>
#include <new>

qint64 IndexWork(const QString &source)
{
    return ContextIndex::Work(source);
}

Result<std::unique_ptr<OccurrenceFinder>> MakeIndexedFinder(const QString &source,
                                                            int contextLength, Cancellation *cancel)
{
    return MakeIndexedFinder(source, contextLength, LookAt(cancel), IndexTuning());
}

Result<std::unique_ptr<OccurrenceFinder>> MakeIndexedFinder(const QString &source,
                                                            int contextLength, const WorkLook &look,
                                                            const IndexTuning &tuning,
                                                            IndexShape *shape)
{
    // Out of range, the tables would have fewer slots than contexts (load),
    // the loops would not advance (stride) or a shift would be undefined.
    Ensure(tuning.fewContexts > 0, "IndexTuning::fewContexts must be positive");
    Ensure(tuning.contextsPerPartition >= 1, "IndexTuning::contextsPerPartition must be >= 1");
    Ensure(tuning.positionsPerPartition >= 1, "IndexTuning::positionsPerPartition must be >= 1");
    Ensure(tuning.load > 0 && tuning.load <= 1, "IndexTuning::load must be in (0, 1]");
    Ensure(tuning.spread >= 0, "IndexTuning::spread must not be negative");
    Ensure(tuning.keyBits >= 1 && tuning.keyBits <= 64, "IndexTuning::keyBits must be in 1..64");
    Ensure(tuning.readAhead >= 0, "IndexTuning::readAhead must not be negative");
    Ensure(tuning.cancellationStride > 0, "IndexTuning::cancellationStride must be positive");
    if (contextLength < 1 || contextLength > 9)
        return InternalGeneratorError(
            QStringLiteral("context length %1 out of range").arg(contextLength));
    if (source.size() >= std::numeric_limits<SourcePosition>::max())
        return Error{QStringLiteral("Il testo è troppo lungo"),
                     QStringLiteral("%1 characters").arg(source.size())};
    try {
        auto index = std::make_unique<ContextIndex>(source, contextLength, tuning);
        const Status built = index->build(look);
        if (!built)
            return built.error();
        if (shape)
            *shape = index->shape();
        return std::unique_ptr<OccurrenceFinder>(std::move(index));
    } catch (const std::bad_alloc &) {
        return NotEnoughMemory(source.size(), contextLength + 1, std::nullopt,
                               AvailableMemoryBytes());
    }
}
