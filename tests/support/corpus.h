#pragma once

#include "code_units.h" // the benchmarks write their fixtures with these two
#include "temp_files.h"

#include <QString>

#include <cstdint>

// Plausible Italian-like prose of exactly `characters` UTF-16 code units, the
// same for the same seed: sentences from the project's own word list, commas,
// apostrophes, accented letters, now and then a number, lines wrapped with
// CR LF, paragraphs separated by a blank line.
QString ItalianLikeText(qsizetype characters, std::uint64_t seed);
