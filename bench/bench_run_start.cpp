// Click to first piece on varied text, as a run takes it
// (StartGenerationFromFile: read, decode, prepare, index, seed, nothing kept
// from a run before), and the peak resident memory
// of the process, each measurement in a fresh process so that no peak
// includes another's:
//   bench_run_start [--script NAME] MEGABYTES ORDER... [--baseline OTHER]
//                                        writes a varied text of that many
//                                        million characters (in another
//                                        script: bytes as UTF-8; NAME is
//                                        latin, cyrillic or ideographs) and
//                                        prints, per
//                                        order, the medians of three runs;
//                                        with another build's bench_run_start,
//                                        its runs alternate with this one's on
//                                        the same text, and the line gives
//                                        both and their ratios
//   bench_run_start --measure PATH ORDER one run (used by the above)
//   bench_run_start --write PATH MEGABYTES  only writes the text (Latin)

#include "bench_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr int kRepeats = 3;

int measure(const QString &path, int order)
{
    // With a cancellation, as the window runs it: every look tells it how far
    // the work is.
    Cancellation cancel;
    const Stopwatch watch;
    GenerationRun run;
    const Status started = StartGenerationFromFile(run, path, PreparationOptions(), order,
                                                   Engine::Indexed, 1, &cancel);
    if (!started)
        BenchFail(QStringLiteral("StartGenerationFromFile: ") + started.error().message);
    const double seconds = watch.seconds();
    PrintJsonLine(
        QJsonObject{{"seconds", seconds}, {"peak_mib", double(ProcStatusKiB("VmHWM")) / 1024}});
    return 0;
}

QJsonObject measureInChild(const QString &program, const QString &path, int order)
{
    return MeasureInChild(program, {QStringLiteral("--measure"), path, QString::number(order)});
}

void writeText(const QString &path, qsizetype megabytes, Script script)
{
    const QString text = BenchText(script, megabytes * 1'000'000);
    QFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        BenchFail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    PrintJsonLine(QJsonObject{{"benchmark", "varied_corpus"},
                              {"file_bytes", double(bytes.size())},
                              {"distinct_9_context_share", DistinctContextShare(text, 9)}});
}

// The first figure of /proc/loadavg: how busy the machine was meanwhile.
double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readLine().split(' ').value(0).toDouble() : -1;
}

int run(qsizetype megabytes, const QList<int> &orders, const QString &baseline,
        const QString &scriptName, Script script)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vario.txt"));
    writeText(path, megabytes, script);
    const bool large = megabytes > 20;
    for (int order : orders) {
        QJsonObject line{
            {"benchmark", "run_start"},
            {"script", scriptName},
            {"file_bytes", double(QFileInfo(path).size())},
            {"order", order},
            {"target_s_at_most", large ? 8.0 : 0.6},
            {"target_mib_at_most", large ? 2048 : 250},
        };
        AddSideBySideMedians(line, kRepeats, baseline, [&](const QString &program) {
            return measureInChild(program, path, order);
        });
        line.insert("load_average", loadAverage());
        PrintJsonLine(line);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString scriptName = QStringLiteral("latin");
    if (args.size() > 2 && args[0] == QLatin1String("--script")) {
        args.removeFirst();
        scriptName = args.takeFirst();
    }
    const std::optional<Script> script = ScriptNamed(scriptName);
    bool ok = false;
    if (!script) {
        // falls through to the usage
    } else if (args.size() == 3 && args[0] == QLatin1String("--write")) {
        const qsizetype megabytes = args[2].toLongLong(&ok);
        if (ok && megabytes > 0) {
            writeText(args[1], megabytes, Script::Latin);
            return 0;
        }
    } else if (args.size() == 3 && args[0] == QLatin1String("--measure")) {
        const int order = args[2].toInt(&ok);
        if (ok && order >= 1 && order <= 10)
            return measure(args[1], order);
    } else if (const std::optional<SideBySideArguments> parsed = ParseSideBySide(args)) {
        return run(parsed->megabytes, parsed->orders, parsed->baseline, scriptName, *script);
    }
    std::fprintf(stderr, "Uso: bench_run_start [--script latin|cyrillic|ideographs] MEGABYTES "
                         "ORDINE... [--baseline ALTRO]\n"
                         "     bench_run_start --measure PATH ORDINE\n"
                         "     bench_run_start --write PATH MEGABYTES\n");
    return 2;
}
