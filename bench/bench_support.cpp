#include "bench_support.h"

#include "corpus.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

QString BenchText(qsizetype characters)
{
    return ItalianLikeText(characters, 20240611);
}

double DistinctContextShare(const QString &text, int length)
{
    // Distinct sampling: only the contexts whose hash falls in one 64th of
    // the hash range are kept, each distinct one once, and their count,
    // times 64, stands for all. A context is in or out by its hash alone,
    // so its repetitions never tilt the count, and a 100 MB text keeps a
    // few megabytes.
    constexpr int kSampleBits = 6;
    std::vector<std::uint64_t> sample;
    qsizetype contexts = 0;
    for (qsizetype p = 0; p + length <= text.size(); ++p, ++contexts) {
        std::uint64_t key = 0;
        for (int i = 0; i < length; ++i)
            key = key * 0x100000001b3ULL + text[p + i].unicode() + 1;
        // The finaliser of SplitMix64 spreads every bit of the key over the
        // high bits that choose the sample.
        key = (key ^ (key >> 30)) * 0xbf58476d1ce4e5b9ULL;
        key = (key ^ (key >> 27)) * 0x94d049bb133111ebULL;
        key ^= key >> 31;
        if (key >> (64 - kSampleBits) == 0)
            sample.push_back(key);
    }
    std::sort(sample.begin(), sample.end());
    const auto distinct = std::unique(sample.begin(), sample.end()) - sample.begin();
    return contexts ? double(distinct << kSampleBits) / double(contexts) : 0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::int64_t ProcStatusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        BenchFail(QStringLiteral("/proc/self/status: ") + status.errorString());
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (!line.startsWith(prefix))
            continue;
        bool ok = false;
        const QByteArray number = line.mid(prefix.size()).trimmed().split(' ').value(0);
        const std::int64_t kib = number.toLongLong(&ok);
        if (ok)
            return kib;
    }
    BenchFail(QStringLiteral("/proc/self/status has no %1").arg(QLatin1String(field)));
}

GenerationRun StartOrFail(const QString &content, const PreparationOptions &options, int order,
                          Engine engine, std::uint64_t seed)
{
    Result<GenerationRun> run = StartGeneration(content, options, order, engine, seed);
    if (!run)
        BenchFail(QStringLiteral("StartGeneration: %1 (%2)")
                      .arg(run.error().message, run.error().detail));
    return std::move(run).value();
}

QString PiecesOrFail(ChainGenerator &generator, int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        Result<QString> piece = generator.NextPiece();
        if (!piece)
            BenchFail(QStringLiteral("NextPiece: ") + piece.error().detail);
        text += piece.value();
    }
    return text;
}

double MedianSecondsPerPiece(ChainGenerator &generator, int batches, double minSeconds, int chunk)
{
    std::vector<double> perPiece;
    // The pieces' lengths go to a volatile sink so that no call can be
    // optimised away.
    static volatile qsizetype sink = 0;
    qsizetype produced = 0;
    for (int batch = 0; batch < batches; ++batch) {
        std::int64_t pieces = 0;
        const Stopwatch watch;
        double elapsed = 0;
        do {
            for (int i = 0; i < chunk; ++i) {
                Result<QString> piece = generator.NextPiece();
                if (!piece)
                    BenchFail(QStringLiteral("NextPiece: ") + piece.error().detail);
                produced += piece.value().size();
            }
            pieces += chunk;
            elapsed = watch.seconds();
        } while (elapsed < minSeconds);
        perPiece.push_back(elapsed / double(pieces));
    }
    sink = sink + produced;
    return Median(perPiece);
}

void PrintJsonLine(const QJsonObject &object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void BenchFail(const QString &message)
{
    std::fprintf(stderr, "benchmark: %s\n", qPrintable(message));
    std::exit(1);
}

std::optional<SideBySideArguments> ParseSideBySide(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return std::nullopt;
    SideBySideArguments parsed;
    QStringList rest = arguments.mid(1);
    if (rest.size() >= 3 && rest[rest.size() - 2] == QLatin1String("--baseline")) {
        parsed.baseline = rest.takeLast();
        rest.removeLast();
    }
    bool ok = false;
    parsed.megabytes = arguments[0].toLongLong(&ok);
    if (!ok || parsed.megabytes <= 0)
        return std::nullopt;
    for (const QString &arg : rest) {
        const int order = arg.toInt(&ok);
        if (!ok || order < 1 || order > 10)
            return std::nullopt;
        parsed.orders << order;
    }
    return parsed;
}

QJsonObject MeasureInChild(const QString &program, const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, arguments);
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        BenchFail(QStringLiteral("%1 %2: the measuring process failed")
                      .arg(program, arguments.join(u' ')));
    return QJsonDocument::fromJson(child.readAllStandardOutput()).object();
}

void AddSideBySideMedians(QJsonObject &line, int repeats, const QString &baseline,
                          const std::function<QJsonObject(const QString &)> &measure)
{
    std::vector<double> seconds, peaks, baseSeconds, basePeaks;
    for (int i = 0; i < repeats; ++i) {
        const QJsonObject one = measure(QCoreApplication::applicationFilePath());
        seconds.push_back(one[QLatin1String("seconds")].toDouble());
        peaks.push_back(one[QLatin1String("peak_mib")].toDouble());
        if (baseline.isEmpty())
            continue;
        const QJsonObject base = measure(baseline);
        baseSeconds.push_back(base[QLatin1String("seconds")].toDouble());
        basePeaks.push_back(base[QLatin1String("peak_mib")].toDouble());
    }
    line.insert("click_to_first_piece_s", Median(seconds));
    line.insert("peak_mib", Median(peaks));
    if (baseline.isEmpty())
        return;
    line.insert("baseline_click_to_first_piece_s", Median(baseSeconds));
    line.insert("baseline_peak_mib", Median(basePeaks));
    line.insert("time_ratio", Median(seconds) / Median(baseSeconds));
    line.insert("memory_ratio", Median(peaks) / Median(basePeaks));
}
