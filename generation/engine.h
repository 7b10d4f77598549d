#pragma once

#include "cancellation.h"
#include "chain_generator.h"
#include "kept_work.h"
#include "preparation_options.h"
#include "regexp.h"
#include "result.h"

#include <QString>

#include <memory>

// The finder for one source text and context length; none (a null pointer)
// at context length 0, where nothing is searched. `pattern` is used (and
// must outlive the finder) only by the reference engine.
Result<std::unique_ptr<OccurrenceFinder>> MakeFinder(Engine engine, const QString &source,
                                                     int contextLength, RegExp &pattern,
                                                     Cancellation *cancel = nullptr);

// One run (a start or a continuation): the work it made or took over, and a
// generator ready for its first piece, which reads that work; after seeding,
// the generator's context is the first piece (empty for order 1).
struct GenerationRun {
    KeptWork work; // declared first, so destroyed after the generator that reads it
    std::unique_ptr<RandomSource> random;
    std::unique_ptr<ChainGenerator> generator;

    const QString &source() const { return *work.text->source; }
    RegExp &pattern() const { return *work.text->pattern; }
};

// Prepares `content`, builds the finder and seeds the context.
// order is 1..10; seed drives every random choice of the run. When `cancel`
// is given and cancelled meanwhile, the work stops early with an Error. When
// the text at this order needs more memory than the system can give, the
// Error says so (see MakeIndexedFinder); it never ends the program.
Result<GenerationRun> StartGeneration(const QString &content, const PreparationOptions &options,
                                      int order, Engine engine, std::uint64_t seed,
                                      Cancellation *cancel = nullptr);

// Starts `run` anew from the file at `path`, read afresh, taking over from
// run.work what serves (KeptWork's rule) and making the rest; the stages it
// goes through are told to `cancel`. On success run.generator is ready. On
// an Error (the file cannot be read or processed, or the run was cancelled
// at any stage) run.generator is none and run.work still holds every product
// that serves this file, options and order, made before the Error or kept.
// Every Error's message names the file.
Status StartGenerationFromFile(GenerationRun &run, const QString &path,
                               const PreparationOptions &options, int order, Engine engine,
                               std::uint64_t seed, Cancellation *cancel);
