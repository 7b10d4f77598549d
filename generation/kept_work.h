#pragma once

#include "content_digest.h"
#include "occurrence_finder.h"
#include "preparation_options.h"
#include "regexp.h"

#include <QString>

#include <memory>
#include <optional>

// Which finder answers the generator: the pattern search the program was
// designed around, or the index that gives the same answers in constant time.
enum class Engine { Reference, Indexed };

inline constexpr Engine kDefaultEngine = Engine::Indexed;

// The source text a run prepared, kept with what it was made from: the
// digest of the file's bytes (none when it was not prepared from a file) and
// the options. The run's pattern object goes with it: the reference engine
// searches the text with it.
struct PreparedText {
    std::optional<ContentDigest> fileDigest;
    PreparationOptions options;
    std::unique_ptr<const QString> source;
    std::unique_ptr<RegExp> pattern;
};

// The finder built over the kept text, kept with the context length and the
// engine it answers for (no finder at context length 0).
struct SourceIndex {
    int contextLength = 0;
    Engine engine = kDefaultEngine;
    std::unique_ptr<OccurrenceFinder> finder;
};

// What runs made that a later run may take over: the prepared text, and the
// index built over it (never an index without its text). The same input
// gives the same text and occurrences: taking them over changes only the time.
// The reuse rule: the text serves a run from a file whose bytes have its
// digest, with its options; the index serves when, beyond that, the context
// length and the engine are its own. What stops serving is freed, and given
// back to the system, before anything new is read or built.
struct KeptWork {
    std::optional<PreparedText> text;
    std::optional<SourceIndex> index;

    // Keeps what may serve a run with these options, context length and
    // engine, if the file's bytes turn out to be the text's own.
    void keepWhatMayServe(const PreparationOptions &options, int contextLength, Engine engine);
    // Keeps the text (and its index) only if it was made from bytes with
    // this digest.
    void keepIfMadeFrom(const ContentDigest &fileDigest);
    // Frees everything.
    void clear();
};
