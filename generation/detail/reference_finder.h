#pragma once

#include "occurrence_finder.h"

#include <QString>

#include <vector>

class RegExp;

// Answers the generator's question the way the program was designed to: a
// pattern search of the whole source text for every question. Slow on big
// texts and short contexts, simple, and the oracle for every faster finder.
class ReferenceFinder final : public OccurrenceFinder {
public:
    // `source` and `pattern` (the run's pattern object) must outlive the finder.
    ReferenceFinder(const QString &source, int contextLength, RegExp &pattern);

    Result<std::span<const SourcePosition>> seedWordStarts() override;
    Result<Occurrences> occurrences(QStringView context) override;

private:
    const QString &m_source;
    int m_contextLength;
    RegExp &m_pattern;
    std::vector<SourcePosition> m_positions;
};
