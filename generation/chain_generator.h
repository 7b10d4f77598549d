#pragma once

#include "occurrence_finder.h"
#include "random_source.h"
#include "result.h"

#include <QString>

// The character chain: each new character is drawn with the frequency with
// which it follows the last contextLength characters in the source text.
// One generator serves one run (a start or a continuation).
class ChainGenerator {
public:
    // contextLength is the order minus one (0..9). `finder` answers for this
    // source text and context length (none is needed at 0); `source`,
    // `finder` and `random` must outlive the generator.
    ChainGenerator(const QString &source, int contextLength, QChar separator,
                   OccurrenceFinder *finder, RandomSource &random);

    // Chooses the first context, at the start of a random seed word, and
    // returns it as the first piece; context() keeps it. Only for
    // contextLength > 0.
    Result<QString> SeedContext();

    // The next piece: usually one character; empty for order 1 on an empty
    // source; at a dead end the separator followed by the restarted context.
    Result<QString> NextPiece();

    const QString &context() const { return m_context; }
    int contextLength() const { return m_contextLength; }

private:
    const QString &m_source;
    int m_contextLength;
    QChar m_separator;
    OccurrenceFinder *m_finder;
    RandomSource &m_random;
    QString m_context;
};
