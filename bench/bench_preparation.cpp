// The text preparation on varied text in pieces side by side, in one piece,
// and with PCRE2's interpreter alone (where the system refuses executable
// memory, or PCRE2 has no JIT): the time of each, and whether all three give
// the same text.
//   bench_preparation [--script latin|cyrillic|ideographs] MEGABYTES...
//                     one line per size and option set: none, each of the
//                     five, all five

#include "bench_support.h"

#include "option_bits.h"
#include "prepare_source_text.h"

#include <QCoreApplication>

namespace {

struct Timed {
    double seconds = 0;
    QString text;
    QString failure;
};

Timed prepare(const QString &content, const PreparationOptions &options,
              const PreparationTuning &tuning)
{
    const Stopwatch watch;
    Result<QString> prepared = PrepareSourceText(content, options, nullptr, tuning);
    Timed timed;
    timed.seconds = watch.seconds();
    if (prepared)
        timed.text = std::move(prepared).value();
    else
        timed.failure = prepared.error().message + QStringLiteral(" | ") + prepared.error().detail;
    return timed;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString scriptName = QStringLiteral("latin");
    if (args.size() > 1 && args[0] == QLatin1String("--script")) {
        args.removeFirst();
        scriptName = args.takeFirst();
    }
    const std::optional<Script> script = ScriptNamed(scriptName);
    if (!script)
        BenchFail(QStringLiteral("no script named ") + scriptName);
    for (const QString &argument : args) {
        const qsizetype megabytes = argument.toLongLong();
        const QString content = BenchText(*script, megabytes * 1'000'000);
        for (unsigned bits : {0u, 1u, 2u, 4u, 8u, 16u, 31u}) {
            const PreparationOptions options = OptionsFromBits(bits);
            const Timed pieces = prepare(content, options, {});
            const Timed whole = prepare(content, options, {.pieceLength = content.size() + 1});
            const Timed interpreter = prepare(content, options, {.jit = false});
            PrintJsonLine(
                QJsonObject{{"script", scriptName},
                            {"megabytes", double(megabytes)},
                            {"options", int(bits)},
                            {"jit_seconds", pieces.seconds},
                            {"whole_text_seconds", whole.seconds},
                            {"interpreter_seconds", interpreter.seconds},
                            {"same_text", pieces.failure.isEmpty() && pieces.text == whole.text &&
                                              pieces.text == interpreter.text},
                            {"failure", pieces.failure + whole.failure + interpreter.failure}});
        }
    }
    return 0;
}
