#include "arguments.h"

#include <QCommandLineParser>

#include <limits>

const char kUsage[] =
    "Uso: gramisola-cli [opzioni] FILE\n"
    "Genera testo con le stesse frequenze di lettere del FILE (\"-\": lo standard input).\n"
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
    "  -q, --quiet              nessuna riga di avanzamento sul terminale\n"
    "  -h, --help               mostra questo aiuto\n"
    "  -v, --version            mostra la versione\n";

namespace {

struct ValueOption {
    QCommandLineOption option;
    QString missingValue; // the message when the value is absent
};

QCommandLineOption valueOption(const QStringList &names, const char *valueName)
{
    return QCommandLineOption(names, QString(), QString::fromLatin1(valueName));
}

// A switch that turns on one preparation option.
struct Flag {
    QCommandLineOption option;
    bool PreparationOptions::*field;
};

bool parseInteger(const QString &text, qint64 low, qint64 high, qint64 &out)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

QString unknownOption(const QString &argument)
{
    return QStringLiteral("opzione sconosciuta: %1").arg(argument);
}

// The parser's own messages are in English; the Italian one is rebuilt from
// what the parser recognised and from the arguments themselves.
QString parseFailure(const QCommandLineParser &parser, const QStringList &arguments,
                     const std::initializer_list<const ValueOption *> &valueOptions)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.first();
        if (name.size() > 1)
            return unknownOption(QStringLiteral("--") + name);
        // A short name may come from a cluster ("-xo"): show the whole word.
        for (const QString &argument : arguments) {
            if (argument == u"--")
                break;
            if (argument.startsWith(u'-') && !argument.startsWith(u"--") && argument.contains(name))
                return unknownOption(argument);
        }
        return unknownOption(QStringLiteral("-") + name);
    }
    // A value can be missing only after the last argument.
    if (!arguments.isEmpty()) {
        const QString last = arguments.last();
        for (const ValueOption *value : valueOptions) {
            for (const QString &name : value->option.names()) {
                if (last == (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name)
                    return value->missingValue;
            }
        }
    }
    // Otherwise a switch was given a value ("--raw=1").
    for (const QString &argument : arguments) {
        if (argument == u"--")
            break;
        if (argument.startsWith(u"--") && argument.contains(u'='))
            return unknownOption(argument);
    }
    return unknownOption(arguments.join(u' '));
}

} // namespace

QString ParseArguments(const QStringList &arguments, Arguments &parsed)
{
    const QString orderMessage = QStringLiteral("l'ordine deve essere un numero da 1 a 10");
    const QString lengthMessage =
        QStringLiteral("la lunghezza deve essere un numero intero non negativo");
    const ValueOption order{valueOption({"o", "order"}, "N"), orderMessage};
    const ValueOption length{valueOption({"n", "length"}, "N"), lengthMessage};
    const ValueOption seed{valueOption({"seed"}, "N"), QStringLiteral("manca il valore di --seed")};
    const ValueOption engine{valueOption({"engine"}, "NOME"),
                             QStringLiteral("manca il nome del motore")};
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version(QStringList{"v", "version"});
    const QCommandLineOption prepareOnly(QStringLiteral("prepare-only"));
    const QCommandLineOption raw(QStringLiteral("raw"));
    const QCommandLineOption quiet(QStringList{"q", "quiet"});
    const Flag flags[] = {
        {QCommandLineOption(QStringLiteral("ignore-digits")), &PreparationOptions::ignoreDigits},
        {QCommandLineOption(QStringLiteral("ignore-line-breaks")),
         &PreparationOptions::ignoreLineBreaks},
        {QCommandLineOption(QStringLiteral("ignore-punctuation")),
         &PreparationOptions::ignorePunctuation},
        {QCommandLineOption(QStringLiteral("lower-case")), &PreparationOptions::lowerCase},
        {QCommandLineOption(QStringLiteral("keep-spaces")),
         &PreparationOptions::keepMultipleSpaces},
    };

    QCommandLineParser parser;
    for (const ValueOption *value : {&order, &length, &seed, &engine})
        parser.addOption(value->option);
    for (const QCommandLineOption &option : {help, version, prepareOnly, raw, quiet})
        parser.addOption(option);
    for (const Flag &flag : flags)
        parser.addOption(flag.option);

    // parse(), not process(): process() would print its own English message
    // and exit with status 1, where a usage error here exits with 2.
    const bool understood = parser.parse(QStringList{QStringLiteral("gramisola-cli")} + arguments);
    if (parser.isSet(help)) {
        parsed.action = Arguments::Action::ShowHelp;
        return QString();
    }
    if (parser.isSet(version)) {
        parsed.action = Arguments::Action::ShowVersion;
        return QString();
    }
    if (!understood)
        return parseFailure(parser, arguments, {&order, &length, &seed, &engine});

    for (const Flag &flag : flags)
        parsed.options.*flag.field = parser.isSet(flag.option);
    parsed.prepareOnly = parser.isSet(prepareOnly);
    parsed.raw = parser.isSet(raw);
    parsed.quiet = parser.isSet(quiet);

    if (parser.isSet(order.option)) {
        qint64 value = 0;
        if (!parseInteger(parser.value(order.option), 1, 10, value))
            return orderMessage;
        parsed.order = int(value);
    }
    if (parser.isSet(length.option) &&
        !parseInteger(parser.value(length.option), 0, std::numeric_limits<qint64>::max(),
                      parsed.length))
        return lengthMessage;
    if (parser.isSet(seed.option)) {
        bool ok = false;
        parsed.seed = parser.value(seed.option).toULongLong(&ok);
        if (!ok)
            return QStringLiteral("il seme deve essere un numero intero non negativo");
    }
    if (parser.isSet(engine.option)) {
        const QString name = parser.value(engine.option);
        if (name == u"reference")
            parsed.engine = Engine::Reference;
        else if (name == u"indexed")
            parsed.engine = Engine::Indexed;
        else
            return QStringLiteral("motore sconosciuto: %1 (reference o indexed)").arg(name);
    }

    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return files.isEmpty() ? QStringLiteral("manca il nome del file")
                               : QStringLiteral("un solo file, per favore");
    parsed.file = files.first();
    return QString();
}
