#pragma once

#include <QString>

#include <cstdint>

// Italian-looking prose over a vocabulary of some sixty thousand invented
// word forms, drawn without repeating any block of text, so that, as in real
// prose of this size, more than half of its 9-character contexts are
// distinct. Exactly `characters` code units, CR LF line breaks, blank lines
// between paragraphs; the same for the same seed.
QString VariedText(qsizetype characters, std::uint64_t seed);

// The share of distinct contexts of `length` characters among all the
// contexts of `text` (an estimate within about 1%).
double DistinctContextShare(const QString &text, int length);
