#pragma once

#include "cancellation.h"
#include "preparation_options.h"
#include "result.h"

#include <QString>

class RegExp;

// Turns the file content into the source text the generator draws from: a
// fixed sequence of whole-text replacements, some switched by the options.
// Unless line breaks are ignored, line breaks come out as CRs, and a run of
// them as a single CR unless multiple spaces are kept.
// Fails only if the pattern engine does (resource limits), never quietly, or
// when `cancel` is cancelled (it looks between steps).
Result<QString> PrepareSourceText(const QString &content, const PreparationOptions &options,
                                  RegExp &pattern, const Cancellation *cancel = nullptr);
Result<QString> PrepareSourceText(const QString &content, const PreparationOptions &options);
