#pragma once

#include "engine.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// What every benchmark program shares: its corpus, timing, the median of
// repeated runs, memory readings, and one JSON object per output line.

// The benchmarks' Italian-looking text of `characters` code units
// (ItalianLikeText, one fixed seed); the same on every run, so figures from
// different runs describe the same work.
QString BenchText(qsizetype characters);

// The scripts the benchmarks measure besides the Italian-looking one.
enum class Script { Latin, Cyrillic, Ideographs };

// "latin", "cyrillic" or "ideographs"; none for another name.
std::optional<Script> ScriptNamed(const QString &name);

// The benchmarks' text in `script`, of at most `utf8Bytes` bytes as UTF-8
// (Latin: BenchText(utf8Bytes), of that many characters). Cyrillic: each
// letter mapped to a Cyrillic one, capitals to capitals. Ideographs: each two
// letters of a word are one ideograph (about a thousand of them), the spaces
// between words dropped and punctuation full-width, as in Chinese. Either
// keeps the Italian text's line breaks and its variety.
QString BenchText(Script script, qsizetype utf8Bytes);

// The share of distinct contexts of `length` characters among all the
// contexts of `text` (an estimate within about 1%).
double DistinctContextShare(const QString &text, int length);

// Seconds elapsed since construction (monotonic clock).
class Stopwatch {
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()) {}
    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

// The median of repeated measurements (the mean of the middle two for an
// even count); `values` must not be empty.
double Median(std::vector<double> values);

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS"). Ends the program
// with a message if it cannot be read: a benchmark without it means nothing.
std::int64_t ProcStatusKiB(const char *field);

// StartGeneration, or the end of the program with its error.
GenerationRun StartOrFail(const QString &content, const PreparationOptions &options, int order,
                          Engine engine, std::uint64_t seed);

// The next `count` pieces, concatenated; ends the program on an error.
QString PiecesOrFail(ChainGenerator &generator, int count);

// The median time of one NextPiece over `batches` batches, each at least
// `minSeconds` long; the clock is read every `chunk` pieces so that reading
// it does not weigh on fast pieces.
double MedianSecondsPerPiece(ChainGenerator &generator, int batches, double minSeconds, int chunk);

// Writes `object` as one compact JSON line on standard output.
void PrintJsonLine(const QJsonObject &object);

// The command line of a benchmark that can run side by side with another
// build's: MEGABYTES ORDER... [--baseline OTHER], orders 1..10; none when
// `arguments` (the program's name left out) are not that.
struct SideBySideArguments {
    qsizetype megabytes = 0;
    QList<int> orders;
    QString baseline; // empty: this build alone
};
std::optional<SideBySideArguments> ParseSideBySide(const QStringList &arguments);

// Runs `program` with `arguments` and reads the JSON object it prints; ends
// the program if the child fails.
QJsonObject MeasureInChild(const QString &program, const QStringList &arguments);

// Runs measure(program) `repeats` times for this program and, when
// `baseline` names another build's, as often for that one, alternating; each
// gives an object with "seconds" and "peak_mib". Adds to `line` their
// medians (click_to_first_piece_s, peak_mib) and, with a baseline, its
// medians and the ratios of this build's to its.
void AddSideBySideMedians(QJsonObject &line, int repeats, const QString &baseline,
                          const std::function<QJsonObject(const QString &)> &measure);

// Ends the program with a message on standard error (status 1).
[[noreturn]] void BenchFail(const QString &message);
