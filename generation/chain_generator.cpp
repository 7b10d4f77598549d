#include "chain_generator.h"

namespace {

Error noFinderError()
{
    return InternalGeneratorError(QStringLiteral("a context was asked about without a finder"));
}

} // namespace

ChainGenerator::ChainGenerator(const QString &source, int contextLength, QChar separator,
                               OccurrenceFinder *finder, RandomSource &random)
    : m_source(source), m_contextLength(contextLength), m_separator(separator), m_finder(finder),
      m_random(random)
{
}

Result<QString> ChainGenerator::SeedContext()
{
    if (!m_finder)
        return noFinderError();
    Result<std::span<const SourcePosition>> words = m_finder->seedWordStarts();
    if (!words)
        return words.error();

    // Every occurrence of a long enough word is equally likely; without one,
    // generation starts at the beginning of the source text.
    const std::span<const SourcePosition> starts = words.value();
    if (!starts.empty())
        m_context =
            m_source.mid(starts[size_t(m_random.index(qsizetype(starts.size())))], m_contextLength);
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

    if (!m_finder)
        return noFinderError();
    Result<Occurrences> found = m_finder->occurrences(m_context);
    if (!found)
        return found.error();

    const Occurrences &occurrences = found.value();
    if (occurrences.empty()) {
        // Dead end: the context occurs only at the very end, only before an
        // LF, or nowhere. Restart from the beginning of the source text.
        m_context = m_source.left(m_contextLength);
        return m_separator + m_context;
    }

    const QChar next = occurrences.following(size_t(m_random.index(qsizetype(occurrences.size()))));
    m_context.remove(0, 1);
    m_context.append(next);
    return QString(next);
}
