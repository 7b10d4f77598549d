// gramisola-cli: the generation engine from a terminal, for scripting,
// tests and benchmarks. Writes generated text to standard output in UTF-8.

#include "arguments.h"
#include "engine.h"
#include "gramisola_version.h"
#include "output_writer.h"
#include "prepare_source_text.h"
#include "random_source.h"
#include "source_text.h"
#include "text_file.h"

#include <QCoreApplication>

#include <cstdio>

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
// read by the same rules and refused when empty, as an empty file is.
Result<QString> readSource(const QString &file)
{
    if (file != u"-")
        return ReadSourceText(file);
    Result<QString> content = ReadStandardInput();
    if (!content)
        return Error{QStringLiteral("Impossibile leggere lo standard input:\n%1")
                         .arg(content.error().message),
                     content.error().detail};
    if (content.value().isEmpty())
        return Error{QStringLiteral("Lo standard input è vuoto: non c'è testo da cui generare."),
                     QStringLiteral("empty standard input")};
    return content;
}

int generate(const Arguments &args, const QString &content)
{
    OutputWriter out(stdout, args.raw);
    if (args.prepareOnly) {
        Result<QString> prepared = PrepareSourceText(content, args.options);
        if (!prepared)
            return fail(kExitFile, prepared.error().message);
        out.write(prepared.value());
        return out.finish() ? 0 : kExitFile;
    }

    const std::uint64_t seed = args.seed ? *args.seed : RandomSource::timeOfDaySeed();
    Result<GenerationRun> started =
        StartGeneration(content, args.options, args.order, args.engine, seed);
    if (!started)
        return fail(kExitFile, started.error().message);
    GenerationRun &run = started.value();

    if (args.order == 1 && run.source().isEmpty())
        return fail(kExitFile, QStringLiteral("il testo preparato è vuoto: non c'è niente da "
                                              "generare con l'ordine 1"));

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

    Result<QString> content = readSource(args.file);
    if (!content)
        return fail(kExitFile, content.error().message);
    return generate(args, content.value());
}
