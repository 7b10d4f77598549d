#pragma once

#include "cancellation.h"
#include "preparation_options.h"
#include "result.h"

#include <QString>

// How the preparation cuts a text into pieces and runs its patterns. Tests
// shrink the pieces so that a small text has a boundary at every place one
// can go, and run the patterns both ways.
struct PreparationTuning {
    // Characters a piece holds at least (a piece ends at the first boundary
    // past that): small enough that a cancellation is seen within a few
    // milliseconds, large enough that compiling the steps' patterns for
    // each piece costs next to nothing.
    qsizetype pieceLength = qsizetype(1) << 20;
    // Whether the patterns may run as machine code; off, every step runs on
    // the pattern engine's interpreter, with the same result.
    bool jit = true;
};

// Turns the file content into the source text the generator draws from: a
// fixed sequence of whole-text replacements, some switched by the options.
// Unless line breaks are ignored, line breaks come out as CRs, and a run of
// them as a single CR unless multiple spaces are kept.
// The text is prepared in pieces, side by side where there is a second
// core, with exactly the result of preparing it whole.
// Fails only if the pattern engine does (resource limits), never quietly, or
// when `cancel` is cancelled (it looks between steps and between pieces).
Result<QString> PrepareSourceText(const QString &content, const PreparationOptions &options,
                                  const Cancellation *cancel = nullptr,
                                  const PreparationTuning &tuning = PreparationTuning());
