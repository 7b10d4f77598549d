// The text preparation on varied text with PCRE2's JIT and with its
// interpreter alone (where the system refuses executable memory, or PCRE2 has
// no JIT): the time of each, and whether both give the same text.
//   bench_preparation MEGABYTES...   one line per size and option set:
//                                    none, each of the five, all five

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

Timed prepare(const QString &content, const PreparationOptions &options, bool jit)
{
    const Stopwatch watch;
    Result<QString> prepared = PrepareSourceText(content, options, nullptr, {.jit = jit});
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
    for (const QString &argument : app.arguments().mid(1)) {
        const qsizetype megabytes = argument.toLongLong();
        const QString content = BenchText(megabytes * 1'000'000);
        for (unsigned bits : {0u, 1u, 2u, 4u, 8u, 16u, 31u}) {
            const PreparationOptions options = OptionsFromBits(bits);
            const Timed jit = prepare(content, options, true);
            const Timed interpreter = prepare(content, options, false);
            PrintJsonLine(
                QJsonObject{{"megabytes", double(megabytes)},
                            {"options", int(bits)},
                            {"jit_seconds", jit.seconds},
                            {"interpreter_seconds", interpreter.seconds},
                            {"same_text", jit.failure.isEmpty() && jit.text == interpreter.text},
                            {"failure", jit.failure + interpreter.failure}});
        }
    }
    return 0;
}
