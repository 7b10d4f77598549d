#include "indexed_finder.h"

#include "context_index.h"
#include "memory_budget.h"

#include <limits>
#include <new>

Result<std::unique_ptr<OccurrenceFinder>>
MakeIndexedFinder(const QString &source, int contextLength, const Cancellation *cancel,
                  const IndexTuning &tuning, IndexShape *shape)
{
    if (contextLength < 1 || contextLength > 9)
        return InternalGeneratorError(
            QStringLiteral("context length %1 out of range").arg(contextLength));
    if (source.size() >= std::numeric_limits<SourcePosition>::max())
        return Error{QStringLiteral("Il testo è troppo lungo"),
                     QStringLiteral("%1 characters").arg(source.size())};
    try {
        auto index = std::make_unique<ContextIndex>(source, contextLength, tuning, cancel);
        const Status built = index->build(cancel);
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
