#include "indexed_finder.h"

#include "context_index.h"

#include <limits>
#include <new>

namespace {

template <typename Key>
Result<std::unique_ptr<OccurrenceFinder>> buildFinder(const QString &source, int contextLength,
                                                      SourceAlphabet alphabet,
                                                      const Cancellation *cancel)
{
    auto finder = std::make_unique<ContextIndex<Key>>(source, contextLength, std::move(alphabet));
    const Status built = finder->build(cancel);
    if (!built)
        return built.error();
    return std::unique_ptr<OccurrenceFinder>(std::move(finder));
}

} // namespace

Result<std::unique_ptr<OccurrenceFinder>>
MakeIndexedFinder(const QString &source, int contextLength, const Cancellation *cancel)
{
    if (contextLength < 1 || contextLength > 9)
        return InternalGeneratorError(
            QStringLiteral("context length %1 out of range").arg(contextLength));
    if (source.size() >= std::numeric_limits<SourcePosition>::max())
        return Error{QStringLiteral("Il testo è troppo lungo"),
                     QStringLiteral("%1 characters").arg(source.size())};
    try {
        SourceAlphabet alphabet =
            RankAlphabet(reinterpret_cast<const char16_t *>(source.utf16()), source.size());
        const int keyBits = alphabet.bits * contextLength;
        if (keyBits <= 64)
            return buildFinder<std::uint64_t>(source, contextLength, std::move(alphabet), cancel);
        if (keyBits <= 128)
            return buildFinder<ContextKey128>(source, contextLength, std::move(alphabet), cancel);
        return buildFinder<ContextKey144>(source, contextLength, std::move(alphabet), cancel);
    } catch (const std::bad_alloc &) {
        return NotEnoughMemory(source.size(), contextLength + 1, std::nullopt,
                               AvailableMemoryBytes());
    }
}
