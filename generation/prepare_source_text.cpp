#include "prepare_source_text.h"

#include "preparation_pieces.h"
#include "regexp.h"
#include "side_by_side.h"

#include <atomic>
#include <optional>
#include <utility>
#include <vector>

namespace {

const QString kSpace = QStringLiteral(" ");
const QString kCarriageReturn = QStringLiteral("\r");

// A run of CR LF pairs, (\r\n)+. Written without a group and without giving
// anything back (possessive), which matches exactly the same runs, since
// nothing follows the repeat and the replacement names no group: that way
// the pattern component needs no stack in proportion to the run, which for
// a file of nothing but line breaks would take gigabytes.
const QString kCrLfRun = QStringLiteral("(?:\\r\\n)++");

// Every character that is neither an ASCII word character, one of the
// twelve accented letters of Italian, nor white space.
const QString kPunctuation = QStringLiteral("[^A-Za-z0-9_ÀÈÉÌÒÙàèéìòù\\s]");

// Which ends of the whole text a piece holds: only there are spaces trimmed.
struct TextEnds {
    bool start = true;
    bool end = true;
};

// The steps' patterns, each compiled once for all the pieces a worker
// prepares.
struct StepPatterns {
    explicit StepPatterns(bool jit)
    {
        const std::pair<RegExp *, QString> patterns[] = {
            {&punctuation, kPunctuation},
            {&digits, QStringLiteral("\\d+")},
            {&crLfRuns, kCrLfRun},
            {&lineFeeds, QStringLiteral("\\n+")},
            {&carriageReturns, QStringLiteral("\\r{2,}")},
            // Runs of [ \f\t\v] become one space. A lone space would become a
            // space again, so it is left alone: on prose that skips one match
            // per word, the bulk of the step's work.
            {&blanks, QStringLiteral("[ \\f\\t\\v]{2,}|[\\f\\t\\v]")},
        };
        for (const auto &[regexp, pattern] : patterns) {
            regexp->setGlobal(true);
            regexp->setMultiline(true);
            regexp->setJitEnabled(jit);
            regexp->setPattern(pattern);
        }
    }

    RegExp punctuation, digits, crLfRuns, lineFeeds, carriageReturns, blanks;
};

// One piece through the steps, each a replacement over all of it; keeps the
// first error. A cancelled preparation stops before its next step and lets
// its text go. The piece is read in place until the first replacement.
class Steps {
public:
    Steps(QStringView piece, Cancellation *cancel) : m_piece(piece), m_cancel(cancel) {}

    void replace(RegExp &pattern, const QString &replacement)
    {
        if (stopped())
            return;
        Result<QString> replaced = pattern.Replace(m_piece, replacement);
        if (!replaced) {
            m_error = replaced.error();
            return;
        }
        m_text = std::move(replaced).value();
        m_piece = m_text;
    }

    // Removes spaces (the space character only) at the ends of the text that
    // the piece holds; line breaks and the spaces next to them stay.
    void trimSpaces(TextEnds ends)
    {
        if (stopped())
            return;
        qsizetype first = 0;
        qsizetype last = m_piece.size();
        while (ends.start && first < last && m_piece[first] == u' ')
            ++first;
        while (ends.end && last > first && m_piece[last - 1] == u' ')
            --last;
        m_piece = m_piece.sliced(first, last - first);
    }

    // Lowering comes last, so that the accented capitals kept above are
    // lowered too.
    Result<PreparedPiece> lowered(bool lowerCase) &&
    {
        if (stopped())
            return *m_error;
        PreparedPiece piece;
        piece.text = m_piece.size() == m_text.size() ? std::move(m_text) : m_piece.toString();
        if (lowerCase) {
            QString lower = std::as_const(piece.text).toLower();
            piece.lowered = lower != piece.text;
            piece.text = std::move(lower);
        }
        return piece;
    }

private:
    bool stopped()
    {
        if (!m_error && IsCancelled(m_cancel)) {
            m_error = CancelledError();
            m_text = QString();
            m_piece = QStringView();
        }
        return bool(m_error);
    }

    QStringView m_piece; // the text as the steps so far left it
    QString m_text;      // what m_piece views once a step replaced something
    Cancellation *m_cancel;
    std::optional<Error> m_error;
};

Result<PreparedPiece> preparePiece(QStringView piece, TextEnds ends,
                                   const PreparationOptions &options, StepPatterns &patterns,
                                   Cancellation *cancel)
{
    Steps steps(piece, cancel);

    if (options.ignorePunctuation)
        steps.replace(patterns.punctuation, kSpace);
    if (options.ignoreDigits)
        steps.replace(patterns.digits, kSpace);

    if (options.ignoreLineBreaks) {
        // Only CR LF pairs become spaces; a lone CR or LF stays in the text.
        steps.replace(patterns.crLfRuns, kSpace);
    } else {
        // A run of CR LF pairs or of LFs becomes one CR; unless multiple
        // spaces are kept, so does a run of CRs, and blank lines vanish.
        steps.replace(patterns.crLfRuns, kCarriageReturn);
        steps.replace(patterns.lineFeeds, kCarriageReturn);
        if (!options.keepMultipleSpaces)
            steps.replace(patterns.carriageReturns, kCarriageReturn); // one CR stays one CR
    }

    if (!options.keepMultipleSpaces) {
        steps.replace(patterns.blanks, kSpace);
        steps.trimSpaces(ends);
    }
    return std::move(steps).lowered(options.lowerCase);
}

} // namespace

Result<QString> PrepareSourceText(const QString &content, const PreparationOptions &options,
                                  Cancellation *cancel, const PreparationTuning &tuning)
{
    const std::optional<std::vector<qsizetype>> ends =
        PieceEnds(content, options, tuning.pieceLength, cancel);
    if (!ends)
        return CancelledError();
    const size_t count = ends->size();
    std::vector<PreparedPiece> prepared(count);

    // Two workers take the pieces in turn; a failure or a cancellation on
    // either side sets `stop`, which ends both before their next piece.
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    const auto work = [&](std::optional<Error> &error) {
        StepPatterns patterns(tuning.jit);
        for (size_t i = next++; i < count && !stop; i = next++) {
            const qsizetype start = i == 0 ? 0 : (*ends)[i - 1];
            const TextEnds textEnds{i == 0, i + 1 == count};
            Result<PreparedPiece> piece =
                preparePiece(QStringView(content).sliced(start, (*ends)[i] - start), textEnds,
                             options, patterns, cancel);
            if (!piece) {
                error = piece.error();
                return false;
            }
            prepared[i] = std::move(piece).value();
            prepared[i].sourceLength = (*ends)[i] - start;
            if (StopAsked(cancel, prepared[i].sourceLength)) {
                error = CancelledError();
                return false;
            }
        }
        return true;
    };
    std::optional<Error> firstError;
    std::optional<Error> secondError;
    const bool done =
        count == 1 ? work(firstError)
                   : RunSideBySide(
                         stop, [&] { return work(firstError); }, [&] { return work(secondError); });
    if (!done)
        return firstError ? *firstError : *secondError;
    return JoinPreparedPieces(prepared, options, cancel);
}
