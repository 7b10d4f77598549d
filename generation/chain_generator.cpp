#include "chain_generator.h"

ChainGenerator::ChainGenerator(const QString &source, int contextLength, QChar separator,
                               std::unique_ptr<OccurrenceFinder> finder, RandomSource &random)
    : m_source(source), m_contextLength(contextLength), m_separator(separator),
      m_finder(std::move(finder)), m_random(random)
{
}

Result<QString> ChainGenerator::SeedContext()
{
    Result<std::span<const SourcePosition>> words = m_finder->seedWordStarts();
    if (!words)
        return words.error();

    // Every occurrence of a long enough word is equally likely; without one,
    // generation starts at the beginning of the source text.
    const std::span<const SourcePosition> starts = words.value();
    if (!starts.empty())
        m_context = m_source.mid(starts[size_t(m_random.index(qsizetype(starts.size())))],
                                 m_contextLength);
    else
        m_context = m_source.left(m_contextLength);
    return m_context;
}

Result<QString> ChainGenerator::NextPiece()
{
    if (m_contextLength == 0) {
        // Order 1: single characters with their frequencies in the source.
        if (m_source.isEmpty())
            return QString();
        return QString(m_source[m_random.index(m_source.size())]);
    }

    Result<std::span<const SourcePosition>> found = m_finder->occurrences(m_context);
    if (!found)
        return found.error();

    const std::span<const SourcePosition> positions = found.value();
    if (positions.empty()) {
        // Dead end: the context occurs only at the very end, only before an
        // LF, or nowhere. Restart from the beginning of the source text.
        m_context = m_source.left(m_contextLength);
        return m_separator + m_context;
    }

    const size_t chosen = size_t(m_random.index(qsizetype(positions.size())));
    const std::span<const char16_t> following = m_finder->lastFollowing();
    const QChar next = following.empty() ? m_source[positions[chosen] + m_contextLength]
                                         : QChar(following[chosen]);
    m_context.remove(0, 1);
    m_context.append(next);
    return QString(next);
}
