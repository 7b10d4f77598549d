// Peak resident memory (VmHWM) of one click-to-first-piece on a file. The
// file is written by a separate invocation, so the process that measures
// never held the text that made it:
//   bench_peak_memory --write-corpus PATH CHARACTERS
//   bench_peak_memory PATH ORDER [--all-options]

#include "bench_support.h"

#include "corpus.h"
#include "text_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

int writeCorpus(const QString &path, qsizetype characters)
{
    QFile file(path);
    const QByteArray bytes = EncodeUtf8(BenchText(characters));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        BenchFail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return 0;
}

int measure(const QString &path, int order, bool allOptions)
{
    PreparationOptions options;
    if (allOptions)
        options.ignoreDigits = options.ignoreLineBreaks = options.ignorePunctuation =
            options.lowerCase = options.keepMultipleSpaces = true;

    const std::int64_t before = ProcStatusKiB("VmRSS");
    Result<QString> content = ReadTextFile(path);
    if (!content)
        BenchFail(QStringLiteral("ReadTextFile: ") + content.error().detail);
    GenerationRun run = StartOrFail(content.value(), options, order, Engine::Indexed, 1);
    PiecesOrFail(*run.generator, 1000);
    const std::int64_t peak = ProcStatusKiB("VmHWM");

    PrintJsonLine(QJsonObject{
        {"benchmark", "peak_memory"},
        {"file_bytes", double(QFileInfo(path).size())},
        {"options", allOptions ? "all on" : "all off"},
        {"order", order},
        {"rss_before_mib", double(before) / 1024},
        {"peak_mib", double(peak) / 1024},
        {"target_mib_at_most", 250},
    });
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    bool ok = false;
    if (args.size() == 3 && args[0] == QLatin1String("--write-corpus")) {
        const qsizetype characters = args[2].toLongLong(&ok);
        if (ok && characters > 0)
            return writeCorpus(args[1], characters);
    } else if (args.size() == 2 || (args.size() == 3 && args[2] == QLatin1String("--all-options"))) {
        const int order = args[1].toInt(&ok);
        if (ok && order >= 1 && order <= 10)
            return measure(args[0], order, args.size() == 3);
    }
    std::fprintf(stderr, "Uso: bench_peak_memory --write-corpus PATH CHARACTERS\n"
                         "     bench_peak_memory PATH ORDER [--all-options]\n");
    return 2;
}
