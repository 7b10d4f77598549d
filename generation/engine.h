#pragma once

#include "cancellation.h"
#include "chain_generator.h"
#include "content_digest.h"
#include "preparation_options.h"
#include "regexp.h"
#include "result.h"

#include <QString>

#include <memory>
#include <optional>

// Which finder answers the generator: the pattern search the program was
// designed around, or the index that gives the same answers in constant time.
enum class Engine { Reference, Indexed };

inline constexpr Engine kDefaultEngine = Engine::Indexed;

// The finder for one source text and context length; none (a null pointer)
// at context length 0, where nothing is searched. `pattern` is used (and
// must outlive the finder) only by the reference engine.
Result<std::unique_ptr<OccurrenceFinder>> MakeFinder(Engine engine, const QString &source,
                                                     int contextLength, RegExp &pattern,
                                                     const Cancellation *cancel = nullptr);

// Everything one run (a start or a continuation) needs, from the file's
// content to a generator ready for its first piece; after seeding, the
// generator's context is the first piece (empty for order 1).
// Held by pointer so that the finder and the generator can refer to the
// source text and the pattern object wherever the run is moved.
struct GenerationRun {
    std::unique_ptr<const QString> source; // the prepared source text
    std::unique_ptr<RegExp> pattern;
    std::unique_ptr<RandomSource> random;
    std::unique_ptr<ChainGenerator> generator;
    // What the source text was prepared from, when it was a file: the digest
    // of its bytes, and the options. A later run may take the text over.
    std::optional<ContentDigest> fileDigest;
    PreparationOptions options;
};

// Prepares `content`, builds the finder and seeds the context.
// order is 1..10; seed drives every random choice of the run. When `cancel`
// is given and cancelled meanwhile, the work stops early with an Error. When
// the text at this order needs more memory than the system can give, the
// Error says so (see MakeIndexedFinder); it never ends the program.
Result<GenerationRun> StartGeneration(const QString &content, const PreparationOptions &options,
                                      int order, Engine engine, std::uint64_t seed,
                                      const Cancellation *cancel = nullptr);

// StartGeneration from the file at `path`, read afresh (ReadSourceText), taking
// over from `kept`, the last run if there is one, what does not change: its
// prepared text when the file's bytes (compared by digest) and the options
// are the same, and its index too when the order is. The new run then
// differs from a fresh start only in taking less time. What is not taken
// over is freed before anything new is built, so the peak memory is never
// that of two runs. An Error that is not about reading the file says that
// the file could not be processed.
Result<GenerationRun> StartGenerationFromFile(const QString &path,
                                              const PreparationOptions &options, int order,
                                              Engine engine, std::uint64_t seed,
                                              const Cancellation *cancel,
                                              std::optional<GenerationRun> kept);
