#include "preparation_pieces.h"

#include "memory_budget.h"

#include <algorithm>

namespace {

// Characters a pass over the text handles between two looks at the
// cancellation: a megabyte of UTF-16, a millisecond or so of scanning.
constexpr qsizetype kLookStride = qsizetype(1) << 19;

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\f' || c == u'\v';
}

bool cutAllowed(QChar before, QChar after, const PreparationOptions &options)
{
    if (before.isHighSurrogate() || after.isLowSurrogate())
        return false;
    if (!options.keepMultipleSpaces)
        return !(options.ignoreLineBreaks && before == u'\r' && after == u'\n');
    return !(isLineBreak(before) && isLineBreak(after)) &&
           !(options.ignoreDigits && isDigit(before) && isDigit(after));
}

// Whether the whole text's preparation may turn `c` into a space (with
// punctuation kept and multiple spaces removed).
bool mayBecomeSpace(QChar c, const PreparationOptions &options)
{
    return isBlank(c) || (options.ignoreDigits && isDigit(c)) ||
           (options.ignoreLineBreaks && isLineBreak(c));
}

// Qt's lowering leaves the high surrogates that end the text as they are,
// but turns a lone one elsewhere into U+FFFD once it has changed a character.
// When the whole text ends in high surrogates and then only in what becomes
// spaces, which the end trimming removes, those surrogates must end the last
// piece too: no cut goes past them. Answers the place past which no cut goes
// (text.size() when any may), or none when cancelled.
std::optional<qsizetype> cutLimit(QStringView text, const PreparationOptions &options,
                                  const Cancellation *cancel)
{
    // Punctuation ignored, every surrogate becomes a space; multiple spaces
    // kept, nothing is trimmed.
    if (!options.lowerCase || options.ignorePunctuation || options.keepMultipleSpaces)
        return text.size();
    qsizetype start = text.size();
    while (start > 0 && mayBecomeSpace(text[start - 1], options)) {
        if (--start % kLookStride == 0 && IsCancelled(cancel))
            return std::nullopt;
    }
    return start > 0 && text[start - 1].isHighSurrogate() ? start - 1 : text.size();
}

// Copies `piece` to the end of `text`, looking at the cancellation between
// strides: copying touches the text's pages for the first time.
bool appendLooking(QString &text, QStringView piece, const Cancellation *cancel)
{
    for (qsizetype at = 0; at < piece.size(); at += kLookStride) {
        if (IsCancelled(cancel))
            return false;
        text += piece.sliced(at, std::min(kLookStride, piece.size() - at));
    }
    return true;
}

// Turns the lone surrogates of text[from, to) into U+FFFD, as Qt's lowering
// does after a change; `to` is the end of the text, where the high surrogates
// that end it are left alone as Qt leaves them.
void replaceLoneSurrogates(QString &text, qsizetype from)
{
    qsizetype to = text.size();
    while (to > from && text[to - 1].isHighSurrogate())
        --to;
    QChar *units = text.data();
    for (qsizetype i = from; i < to; ++i) {
        if (!units[i].isSurrogate())
            continue;
        if (units[i].isHighSurrogate() && i + 1 < text.size() && units[i + 1].isLowSurrogate())
            ++i; // a pair
        else
            units[i] = QChar::ReplacementCharacter;
    }
}

} // namespace

std::optional<std::vector<qsizetype>> PieceEnds(QStringView text, const PreparationOptions &options,
                                                qsizetype pieceLength, const Cancellation *cancel)
{
    const std::optional<qsizetype> limit = cutLimit(text, options, cancel);
    if (!limit)
        return std::nullopt;
    std::vector<qsizetype> ends;
    // The scan for a cut resumes where the last one left off, so the whole
    // search reads the text once even where cuts are rare.
    const qsizetype stride = std::max<qsizetype>(pieceLength, 1);
    qsizetype at = stride;
    qsizetype scanned = 0; // since the last look at the cancellation
    while (at < *limit) {
        if (cutAllowed(text[at - 1], text[at], options)) {
            ends.push_back(at);
            at += stride;
            scanned += stride;
        } else {
            ++at;
            ++scanned;
        }
        if (scanned >= kLookStride) {
            if (IsCancelled(cancel))
                return std::nullopt;
            scanned = 0;
        }
    }
    ends.push_back(text.size());
    return ends;
}

Result<QString> JoinPreparedPieces(std::vector<PreparedPiece> &pieces,
                                   const PreparationOptions &options, const Cancellation *cancel)
{
    // A text in one piece was trimmed at both ends as it was prepared.
    if (pieces.size() == 1)
        return std::move(pieces.front().text);
    qsizetype length = 0;
    for (const PreparedPiece &piece : pieces)
        length += piece.text.size();
    QString text;
    text.reserve(length);
    bool loweredBefore = false;
    for (PreparedPiece &piece : pieces) {
        QStringView rest = piece.text;
        if (!options.keepMultipleSpaces) {
            // The seam of a run split by the cut shows the space or the CR
            // that the run becomes twice; at the text's start, spaces go.
            const QChar last = text.isEmpty() ? QChar() : text.back();
            while (text.isEmpty() && rest.startsWith(u' '))
                rest = rest.sliced(1);
            if (!rest.isEmpty() && rest.front() == last &&
                (last == u' ' || (last == u'\r' && !options.ignoreLineBreaks)))
                rest = rest.sliced(1);
        }
        const qsizetype from = text.size();
        if (!appendLooking(text, rest, cancel))
            return CancelledError();
        if (loweredBefore)
            replaceLoneSurrogates(text, from);
        loweredBefore = loweredBefore || piece.lowered;
        // Each piece is freed, and given back to the system, as soon as it is
        // copied: the pieces and the whole text then overlap little.
        piece.text = QString();
        ReturnFreedMemory();
    }
    if (!options.keepMultipleSpaces) {
        qsizetype end = text.size();
        while (end > 0 && text[end - 1] == u' ')
            --end;
        text.truncate(end);
    }
    return text;
}
