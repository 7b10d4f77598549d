#pragma once

#include <QString>

#include <cstdint>

// Italian-looking prose of exactly `characters` UTF-16 code units, the same
// for the same seed: sentences of words drawn from `vocabulary` invented forms
// (Italian syllables, now and then a final accented vowel), frequent forms
// more often but every form in use, commas and end marks, lines wrapped
// before 70 columns with CR LF, a blank line between paragraphs. A long text
// hardly repeats itself, as real prose of its size: more than half of its
// 9-character contexts are distinct at 100 MB. A small vocabulary gives a
// short text that repeats its long contexts, as a test of high orders needs.
QString ItalianLikeText(qsizetype characters, std::uint64_t seed, int vocabulary = 150'000);
