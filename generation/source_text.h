#pragma once

#include "result.h"

#include <QString>

// Reads the file a run generates from, as ReadTextFile does, and refuses one
// that holds no text. Every Error's message names the file and says why, in
// Italian, ready for a warning box or a line on standard error.
Result<QString> ReadSourceText(const QString &path);
