// gramisola-cli: the generation engine from a terminal, for scripting,
// tests and benchmarks. Writes generated text to standard output in UTF-8.

#include "engine.h"
#include "output_writer.h"
#include "prepare_source_text.h"
#include "random_source.h"
#include "source_text.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

constexpr int kExitFile = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Uso: gramisola-cli [opzioni] FILE\n"
    "Genera testo con le stesse frequenze di lettere del FILE.\n"
    "\n"
    "  -o, --order N            ordine da 1 a 10 (predefinito 4)\n"
    "  -n, --length N           si ferma dopo almeno N caratteri (predefinito 65535)\n"
    "      --seed N             sequenza casuale riproducibile (predefinito: l'ora del giorno)\n"
    "      --ignore-digits      ignora i numeri\n"
    "      --ignore-line-breaks ignora i ritorni a capo\n"
    "      --ignore-punctuation ignora la punteggiatura\n"
    "      --lower-case         imposta tutto minuscolo\n"
    "      --keep-spaces        non eliminare gli spazi multipli\n"
    "      --prepare-only       scrive il testo preparato e si ferma\n"
    "      --raw                scrive CR e LF come sono, senza trasformare CR in \"\\n\"\n"
    "      --engine NOME        reference (ricerca con espressioni regolari) o indexed\n"
    "  -h, --help               mostra questo aiuto\n";

struct Arguments {
    QString file;
    int order = 4;
    qint64 length = 65535;
    std::optional<std::uint64_t> seed;
    PreparationOptions options;
    bool prepareOnly = false;
    bool raw = false;
    Engine engine = kDefaultEngine;
};

int fail(int status, const QString &message)
{
    // One line, whatever the message's own line breaks.
    QString line = message;
    line.replace(u'\n', u' ');
    std::fprintf(stderr, "gramisola-cli: %s\n", line.toLocal8Bit().constData());
    return status;
}

bool parseInteger(const QString &text, qint64 low, qint64 high, qint64 &out)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

// Returns an error message, or an empty string when the arguments are good.
QString parseArguments(const QStringList &args, Arguments &parsed, bool &help)
{
    const struct {
        const char *name;
        bool PreparationOptions::*field;
    } flags[] = {
        {"--ignore-digits", &PreparationOptions::ignoreDigits},
        {"--ignore-line-breaks", &PreparationOptions::ignoreLineBreaks},
        {"--ignore-punctuation", &PreparationOptions::ignorePunctuation},
        {"--lower-case", &PreparationOptions::lowerCase},
        {"--keep-spaces", &PreparationOptions::keepMultipleSpaces},
    };

    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString inlineValue;
        bool hasInlineValue = false;
        if (arg.startsWith(u"--") && arg.contains(u'=')) {
            inlineValue = arg.section(u'=', 1);
            arg = arg.section(u'=', 0, 0);
            hasInlineValue = true;
        }
        auto value = [&](QString &out) {
            if (hasInlineValue) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };

        bool matchedFlag = false;
        for (const auto &flag : flags) {
            if (arg == QLatin1String(flag.name) && !hasInlineValue) {
                parsed.options.*flag.field = true;
                matchedFlag = true;
            }
        }
        if (matchedFlag)
            continue;

        QString text;
        if (arg == u"-h" || arg == u"--help") {
            help = true;
        } else if (arg == u"-o" || arg == u"--order") {
            qint64 order = 0;
            if (!value(text) || !parseInteger(text, 1, 10, order))
                return QStringLiteral("l'ordine deve essere un numero da 1 a 10");
            parsed.order = int(order);
        } else if (arg == u"-n" || arg == u"--length") {
            if (!value(text) || !parseInteger(text, 0, std::numeric_limits<qint64>::max(),
                                              parsed.length))
                return QStringLiteral("la lunghezza deve essere un numero intero non negativo");
        } else if (arg == u"--seed") {
            bool ok = false;
            if (!value(text))
                return QStringLiteral("manca il valore di --seed");
            const std::uint64_t seed = text.toULongLong(&ok);
            if (!ok)
                return QStringLiteral("il seme deve essere un numero intero non negativo");
            parsed.seed = seed;
        } else if (arg == u"--prepare-only" && !hasInlineValue) {
            parsed.prepareOnly = true;
        } else if (arg == u"--raw" && !hasInlineValue) {
            parsed.raw = true;
        } else if (arg == u"--engine") {
            if (!value(text))
                return QStringLiteral("manca il nome del motore");
            if (text == u"reference")
                parsed.engine = Engine::Reference;
            else if (text == u"indexed")
                parsed.engine = Engine::Indexed;
            else
                return QStringLiteral("motore sconosciuto: %1 (reference o indexed)").arg(text);
        } else if (arg == u"--") {
            files.append(args.mid(i + 1));
            break;
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            return QStringLiteral("opzione sconosciuta: %1").arg(args[i]);
        } else {
            files.append(arg);
        }
    }
    if (help)
        return QString();
    if (files.size() != 1)
        return files.isEmpty() ? QStringLiteral("manca il nome del file")
                               : QStringLiteral("un solo file, per favore");
    parsed.file = files.first();
    return QString();
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

    if (args.order == 1 && run.source->isEmpty())
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
    bool help = false;
    const QString error = parseArguments(app.arguments().mid(1), args, help);
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!error.isEmpty()) {
        fail(kExitUsage, error);
        std::fputs("Provare 'gramisola-cli --help'.\n", stderr);
        return kExitUsage;
    }

    Result<QString> content = ReadSourceText(args.file);
    if (!content)
        return fail(kExitFile, content.error().message);
    return generate(args, content.value());
}
