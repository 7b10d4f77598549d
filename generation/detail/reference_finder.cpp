#include "reference_finder.h"

#include "regexp.h"

namespace {

// Puts the matches' starts into `positions` and returns a view of them.
Result<std::span<const SourcePosition>> collectStarts(RegExp &pattern, const QString &source,
                                                      std::vector<SourcePosition> &positions)
{
    Result<std::vector<qsizetype>> starts = pattern.ExecuteFirstIndexes(source);
    if (!starts)
        return starts.error();
    positions.assign(starts.value().begin(), starts.value().end());
    return std::span<const SourcePosition>(positions);
}

// The pattern that finds `context` in the reference search: the context
// with its metacharacters escaped, split into a head (one character, or two
// when it starts with a backslash) and a look-ahead for the rest and one
// character more.
Result<QString> occurrencePattern(QStringView context, RegExp &pattern)
{
    // A backslash before each of the fourteen metacharacters makes the
    // context a literal; nothing else needs escaping in this dialect.
    pattern.setPattern(QStringLiteral(R"re(([\\^$*+?.|{}[\]()]))re"));
    Result<QString> escaped = pattern.Replace(context, QStringLiteral("\\$1"));
    if (!escaped)
        return escaped.error();

    // The match consumes only the context's first character (one escaped
    // unit); the rest of the context and the character after it are a
    // look-ahead, so overlapping occurrences are all found. `.` refuses LF,
    // so a context followed only by LF is not an occurrence.
    const QString &text = escaped.value();
    const qsizetype headLength = text.startsWith(u'\\') ? 2 : 1;
    return text.left(headLength) + QStringLiteral("(?=") + text.mid(headLength) +
           QStringLiteral(".)");
}

} // namespace

ReferenceFinder::ReferenceFinder(const QString &source, int contextLength, RegExp &pattern)
    : m_source(source), m_contextLength(contextLength), m_pattern(pattern)
{
}

Result<std::span<const SourcePosition>> ReferenceFinder::seedWordStarts()
{
    m_pattern.setPattern(QStringLiteral("\\b(\\w{%1,})").arg(m_contextLength));
    return collectStarts(m_pattern, m_source, m_positions);
}

Result<Occurrences> ReferenceFinder::occurrences(QStringView context)
{
    Result<QString> search = occurrencePattern(context, m_pattern);
    if (!search)
        return search.error();
    m_pattern.setPattern(search.value());
    Result<std::span<const SourcePosition>> starts =
        collectStarts(m_pattern, m_source, m_positions);
    if (!starts)
        return starts.error();
    return Occurrences(starts.value(), reinterpret_cast<const char16_t *>(m_source.utf16()),
                       context.size());
}
