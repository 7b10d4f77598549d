// gramisola-cli: the generation engine from a terminal, for scripting,
// tests and benchmarks. Writes generated text to standard output in UTF-8.

#include "arguments.h"
#include "engine.h"
#include "gramisola_version.h"
#include "output_writer.h"
#include "prepare_source_text.h"
#include "progress_line.h"
#include "random_source.h"
#include "source_text.h"
#include "text_file.h"

#include <QCoreApplication>

#include <cstdio>
#include <optional>
#include <variant>

namespace {

constexpr int kExitFile = 1;
constexpr int kExitUsage = 2;

int fail(int status, const QString &message)
{
    // One line, whatever the message's own line breaks.
    QString line = message;
    line.replace(u'\n', u' ');
    std::fprintf(stderr, "gramisola-cli: %s\n", line.toLocal8Bit().constData());
    return status;
}

// The text to generate from: the named file, or standard input for "-",
// read by the same rules and refused when empty, as an empty file is. Each
// stage is told to `stages` as it begins, with the work it will tell of.
Result<QString> readSource(const QString &file, Cancellation &stages)
{
    if (file != u"-")
        return ReadSourceText(file, &stages);
    stages.begin(RunStage::Reading, 0); // a pipe tells no size: the bytes so far are shown
    Result<QString> content = ReadStandardInput(kMaxTextFileBytes, LookAt(&stages));
    if (!content)
        return Error{QStringLiteral("Impossibile leggere lo standard input:\n%1")
                         .arg(content.error().message),
                     content.error().detail};
    if (content.value().isEmpty())
        return Error{QStringLiteral("Lo standard input è vuoto: non c'è testo da cui generare."),
                     QStringLiteral("empty standard input")};
    return content;
}

// What the text is written from: the prepared text alone (--prepare-only),
// or a run ready for its first piece.
using Prepared = std::variant<QString, GenerationRun>;

// Reads and prepares the source, every stage told to `stages`; nothing is
// written meanwhile, so that a progress line can be erased before the text
// or the error.
Result<Prepared> prepare(const Arguments &args, Cancellation &stages)
{
    const Result<QString> content = readSource(args.file, stages);
    if (!content)
        return content.error();
    if (args.prepareOnly) {
        stages.begin(RunStage::Preparing, PreparationWork(content.value()));
        Result<QString> prepared = PrepareSourceText(content.value(), args.options, &stages);
        if (!prepared)
            return prepared.error();
        return Prepared(std::move(prepared).value());
    }

    const std::uint64_t seed = args.seed ? *args.seed : RandomSource::timeOfDaySeed();
    Result<GenerationRun> started =
        StartGeneration(content.value(), args.options, args.order, args.engine, seed, &stages);
    if (!started)
        return started.error();
    if (args.order == 1 && started.value().source().isEmpty())
        return Error{QStringLiteral("il testo preparato è vuoto: non c'è niente da "
                                    "generare con l'ordine 1"),
                     QStringLiteral("empty prepared text at order 1")};
    return Prepared(std::move(started).value());
}

int generate(const Arguments &args, Prepared &prepared)
{
    OutputWriter out(stdout, args.raw);
    if (const QString *text = std::get_if<QString>(&prepared)) {
        out.write(*text);
        return out.finish() ? 0 : kExitFile;
    }

    GenerationRun &run = std::get<GenerationRun>(prepared);
    qint64 written = 0;
    out.write(run.generator->context());
    written += run.generator->context().size();
    while (written < args.length) {
        Result<QString> piece = run.generator->NextPiece();
        if (!piece)
            return fail(kExitFile, piece.error().message);
        out.write(piece.value());
        written += piece.value().size();
    }
    return out.finish() ? 0 : kExitFile;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Arguments args;
    const QString error = ParseArguments(app.arguments().mid(1), args);
    switch (args.action) {
    case Arguments::Action::ShowHelp:
        std::fputs(kUsage, stdout);
        return 0;
    case Arguments::Action::ShowVersion:
        std::printf("gramisola-cli %s\n", kGramisolaVersion);
        return 0;
    case Arguments::Action::Generate:
        break;
    }
    if (!error.isEmpty()) {
        fail(kExitUsage, error);
        std::fputs("Provare 'gramisola-cli --help'.\n", stderr);
        return kExitUsage;
    }

    Cancellation stages; // never cancelled: it only tells how far the preparation is
    std::optional<ProgressLine> progress;
    if (!args.quiet)
        progress.emplace(stages, args.file == u"-");
    Result<Prepared> prepared = prepare(args, stages);
    progress.reset(); // the line erased before the text or an error is written
    if (!prepared)
        return fail(kExitFile, prepared.error().message);
    return generate(args, prepared.value());
}
