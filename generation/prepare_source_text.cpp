#include "prepare_source_text.h"

#include "memory_budget.h"
#include "preparation_pieces.h"
#include "regexp.h"
#include "side_by_side.h"

#include <atomic>
#include <optional>
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

// One piece through the steps, each a replacement over all of it; keeps the
// first error. A cancelled preparation stops before its next step and lets
// its text go. The piece is read in place until the first replacement.
class Steps {
public:
    Steps(QStringView piece, RegExp &pattern, const Cancellation *cancel)
        : m_piece(piece), m_pattern(pattern), m_cancel(cancel)
    {
    }

    void replace(const QString &pattern, const QString &replacement)
    {
        if (stopped())
            return;
        m_pattern.setPattern(pattern);
        Result<QString> replaced = m_pattern.Replace(m_piece, replacement);
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

    Result<QString> result() &&
    {
        if (stopped())
            return *m_error;
        if (m_piece.size() == m_text.size())
            return std::move(m_text);
        return m_piece.toString();
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
    RegExp &m_pattern;
    const Cancellation *m_cancel;
    std::optional<Error> m_error;
};

Result<QString> preparePiece(QStringView piece, TextEnds ends, const PreparationOptions &options,
                             RegExp &pattern, const Cancellation *cancel)
{
    Steps steps(piece, pattern, cancel);

    if (options.ignorePunctuation)
        steps.replace(kPunctuation, kSpace);
    if (options.ignoreDigits)
        steps.replace(QStringLiteral("\\d+"), kSpace);

    if (options.ignoreLineBreaks) {
        // Only CR LF pairs become spaces; a lone CR or LF stays in the text.
        steps.replace(kCrLfRun, kSpace);
    } else {
        // A run of CR LF pairs or of LFs becomes one CR; unless multiple
        // spaces are kept, so does a run of CRs, and blank lines vanish.
        steps.replace(kCrLfRun, kCarriageReturn);
        steps.replace(QStringLiteral("\\n+"), kCarriageReturn);
        if (!options.keepMultipleSpaces)
            steps.replace(QStringLiteral("\\r{2,}"), kCarriageReturn); // one CR stays one CR
    }

    if (!options.keepMultipleSpaces) {
        // Runs of [ \f\t\v] become one space. A lone space would become a
        // space again, so it is left alone: on prose that skips one match
        // per word, the bulk of the step's work.
        steps.replace(QStringLiteral("[ \\f\\t\\v]{2,}|[\\f\\t\\v]"), kSpace);
        steps.trimSpaces(ends);
    }
    return std::move(steps).result();
}

} // namespace

Result<QString> PrepareSourceText(const QString &content, const PreparationOptions &options,
                                  const Cancellation *cancel, const PreparationTuning &tuning)
{
    const std::vector<qsizetype> ends = PieceEnds(content, tuning.pieceLength);
    const size_t count = ends.size();
    std::vector<QString> prepared(count);

    // Two workers take the pieces in turn; a failure or a cancellation on
    // either side sets `stop`, which ends both before their next piece.
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    const auto work = [&](std::optional<Error> &error) {
        RegExp pattern;
        pattern.setGlobal(true);
        pattern.setMultiline(true);
        pattern.setJitEnabled(tuning.jit);
        for (size_t i = next++; i < count && !stop; i = next++) {
            const qsizetype start = i == 0 ? 0 : ends[i - 1];
            const TextEnds textEnds{i == 0, i + 1 == count};
            Result<QString> piece =
                preparePiece(QStringView(content).sliced(start, ends[i] - start), textEnds, options,
                             pattern, cancel);
            if (!piece) {
                error = piece.error();
                return false;
            }
            prepared[i] = std::move(piece).value();
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

    QString text;
    if (count == 1) {
        text = std::move(prepared.front());
    } else {
        qsizetype length = 0;
        for (const QString &piece : prepared)
            length += piece.size();
        text.reserve(length);
        // Joining 100 MB takes a good part of a second (the text's pages are
        // touched for the first time), so it looks at the cancellation too.
        for (QString &piece : prepared) {
            if (IsCancelled(cancel))
                return CancelledError();
            text += piece;
            // Each piece is freed, and given back to the system, as soon as it
            // is copied: the pieces and the whole text then overlap little.
            piece = QString();
            ReturnFreedMemory();
        }
    }
    // Lowering comes last, so that the accented capitals kept above are
    // lowered too, and over the whole text: once Qt has lowered a character it
    // turns every lone surrogate after it into U+FFFD, so a piece lowered on
    // its own could keep one that the whole text loses.
    if (options.lowerCase) {
        if (IsCancelled(cancel))
            return CancelledError();
        text = std::move(text).toLower();
    }
    return text;
}
