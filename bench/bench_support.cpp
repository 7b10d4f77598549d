#include "bench_support.h"

#include "corpus.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

QString BenchText(qsizetype characters)
{
    return ItalianLikeText(characters, 20240611);
}

namespace {

// The letters of ItalianLikeText, and the Cyrillic letter each one becomes.
const char16_t kLatinLetters[] = u"abcdefghijklmnopqrstuvwxyzàèìòùé";
const char16_t kCyrillicLetters[] = u"абцдефгхийклмнопщрстувшжызяэїёює";
constexpr int kLetterCount = int(std::size(kLatinLetters)) - 1;
static_assert(std::size(kCyrillicLetters) == std::size(kLatinLetters));

// The place of `c`'s lower case in kLatinLetters, or -1.
int letterIndex(QChar c)
{
    const size_t at = std::u16string_view(kLatinLetters, kLetterCount).find(c.toLower().unicode());
    return at == std::u16string_view::npos ? -1 : int(at);
}

QString inCyrillic(QString text)
{
    for (QChar &c : text) {
        if (const int letter = letterIndex(c); letter >= 0) {
            const QChar cyrillic(kCyrillicLetters[letter]);
            c = c.isUpper() ? cyrillic.toUpper() : cyrillic;
        }
    }
    return text;
}

QChar fullWidth(QChar mark)
{
    if (mark == u',')
        return QChar(0x3001);
    if (mark == u'.')
        return QChar(0x3002);
    return QChar(char16_t(0xFF00 + mark.unicode() - 0x20)); // ? and !
}

QString inIdeographs(const QString &italian)
{
    constexpr char16_t kFirstIdeograph = 0x4E00;
    QString text;
    text.reserve(italian.size() / 2);
    int pending = -1; // a letter waiting for the second of its pair
    const auto flush = [&] {
        if (pending >= 0)
            text += QChar(char16_t(kFirstIdeograph + kLetterCount * kLetterCount + pending));
        pending = -1;
    };
    for (const QChar c : italian) {
        const int letter = letterIndex(c);
        if (letter >= 0 && pending >= 0) {
            text += QChar(char16_t(kFirstIdeograph + pending * kLetterCount + letter));
            pending = -1;
        } else if (letter >= 0) {
            pending = letter;
        } else {
            flush();
            if (c == u'\r' || c == u'\n')
                text += c;
            else if (c != u' ')
                text += fullWidth(c);
        }
    }
    flush();
    return text;
}

} // namespace

std::optional<Script> ScriptNamed(const QString &name)
{
    if (name == QLatin1String("latin"))
        return Script::Latin;
    if (name == QLatin1String("cyrillic"))
        return Script::Cyrillic;
    if (name == QLatin1String("ideographs"))
        return Script::Ideographs;
    return std::nullopt;
}

QString BenchText(Script script, qsizetype utf8Bytes)
{
    if (script == Script::Latin)
        return BenchText(utf8Bytes);
    QString text = script == Script::Cyrillic ? inCyrillic(BenchText(utf8Bytes))
                                              : inIdeographs(BenchText(utf8Bytes));
    // Every character here takes at most three bytes, the BMP's most.
    qsizetype length = 0;
    for (qsizetype bytes = 0; length < text.size(); ++length) {
        const char16_t u = text[length].unicode();
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        if (bytes > utf8Bytes)
            break;
    }
    if (length > 0 && text[length - 1] == u'\r') // never half a line break
        --length;
    text.truncate(length);
    return text;
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
