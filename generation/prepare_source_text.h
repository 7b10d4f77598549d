#pragma once

#include "cancellation.h"
#include "preparation_options.h"
#include "result.h"

#include <QString>

// How the preparation cuts a text into pieces and runs its patterns. Tests
// shrink the pieces so that a small text has a cut at every place one can go,
// and run the patterns both ways.
struct PreparationTuning {
    // Characters a piece holds at least (a piece ends at the first place past
    // that where it may): small enough that each replacement over a piece
    // looks at the cancellation every megabyte or so (a piece of 512 Ki
    // UTF-16 characters), large enough that a piece's own costs (its strings,
    // the first match of each pattern) weigh nothing.
    qsizetype pieceLength = qsizetype(1) << 19;
    // Whether the patterns may run as machine code; off, every step runs on
    // the pattern engine's interpreter, with the same result.
    bool jit = true;
};

// Turns the file content into the source text the generator draws from: a
// fixed sequence of whole-text replacements, some switched by the options.
// Unless line breaks are ignored, line breaks come out as CRs: a run of CR LF
// pairs or of LFs as one CR, and, unless multiple spaces are kept, any run of
// line breaks as one CR.
// The text is prepared in pieces, side by side where there is a second
// core, with exactly the result of preparing it whole, in any script.
// Fails only if the pattern engine does (resource limits), never quietly, or
// when `cancel` is cancelled (every pass looks at it at least every megabyte
// or so of text: the scan for cuts, each replacement, the lowering, the join).
// Its looks tell `cancel` of each piece's characters twice: once prepared,
// once joined.
Result<QString> PrepareSourceText(const QString &content, const PreparationOptions &options,
                                  Cancellation *cancel = nullptr,
                                  const PreparationTuning &tuning = PreparationTuning());

// The characters PrepareSourceText(content, …) tells of as it goes.
inline qint64 PreparationWork(const QString &content)
{
    return 2 * qint64(content.size());
}
