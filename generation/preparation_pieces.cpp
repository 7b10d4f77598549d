#include "preparation_pieces.h"

#include "memory_budget.h"
#include "side_by_side.h"

#include <algorithm>
#include <atomic>

namespace {

// Characters a pass over the text handles between two looks at the
// cancellation: a megabyte of UTF-16, a millisecond or so of scanning.
constexpr qsizetype kLookStride = qsizetype(1) << 19;

// Bytes of copied pieces each side of the join frees before it gives them
// back to the system: each time costs a walk of the allocator's arenas, so
// not after every piece, and the pieces and the whole text overlap by no more
// than twice this.
constexpr qsizetype kReturnBytes = qsizetype(4) << 20;

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

// Whether a cut may go between `before` and `after`; why these places are
// safe is told in the header.
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
                                  Cancellation *cancel)
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

// Turns the lone surrogates of [begin, end) into U+FFFD, as Qt's lowering
// does after a change; at the end of the text, the high surrogates that end
// it are left alone, as Qt leaves them.
void replaceLoneSurrogates(QChar *begin, QChar *end, bool endsText)
{
    while (endsText && end > begin && end[-1].isHighSurrogate())
        --end;
    for (QChar *c = begin; c < end; ++c) {
        if (!c->isSurrogate())
            continue;
        if (c->isHighSurrogate() && c + 1 < end && c[1].isLowSurrogate())
            ++c; // a pair
        else
            *c = QChar::ReplacementCharacter;
    }
}

// Where a prepared piece goes in the whole text.
struct Placement {
    qsizetype skip = 0;         // characters of its start that the seam or the text's start drops
    qsizetype at = 0;           // where the rest begins in the whole text
    bool loweredBefore = false; // lowering changed a piece before it
};

// Places the pieces one after the other, mending the seams: a run split by a
// cut shows the space or the CR it becomes on both sides of the seam, and at
// the text's start spaces go. `length` is the whole text's, but for the
// spaces that end it.
std::vector<Placement> placed(const std::vector<PreparedPiece> &pieces,
                              const PreparationOptions &options, qsizetype &length)
{
    std::vector<Placement> places(pieces.size());
    QChar last;
    bool empty = true, lowered = false;
    length = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const QString &text = pieces[i].text;
        qsizetype skip = 0;
        if (!options.keepMultipleSpaces) {
            while (empty && skip < text.size() && text[skip] == u' ')
                ++skip;
            if (!empty && skip < text.size() && text[skip] == last &&
                (last == u' ' || (last == u'\r' && !options.ignoreLineBreaks)))
                ++skip;
        }
        places[i] = {skip, length, lowered};
        length += text.size() - skip;
        if (skip < text.size()) {
            last = text.back();
            empty = false;
        }
        lowered = lowered || pieces[i].lowered;
    }
    return places;
}

} // namespace

std::optional<std::vector<qsizetype>> PieceEnds(QStringView text, const PreparationOptions &options,
                                                qsizetype pieceLength, Cancellation *cancel)
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
                                   const PreparationOptions &options, Cancellation *cancel)
{
    // A text in one piece was trimmed at both ends as it was prepared.
    if (pieces.size() == 1) {
        if (StopAsked(cancel, pieces.front().sourceLength))
            return CancelledError();
        return std::move(pieces.front().text);
    }
    qsizetype length = 0;
    const std::vector<Placement> places = placed(pieces, options, length);
    QString text(length, Qt::Uninitialized);
    QChar *const whole = text.data();

    // Copying touches the whole text's pages for the first time, a good part
    // of a second on 100 MB: two sides share it, taking the pieces in turn and
    // looking at the cancellation between strides.
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    const auto copy = [&] {
        qsizetype freedBytes = 0;
        for (size_t i = next++; i < pieces.size() && !stop; i = next++) {
            const QStringView rest = QStringView(pieces[i].text).sliced(places[i].skip);
            QChar *const to = whole + places[i].at;
            for (qsizetype done = 0; done < rest.size(); done += kLookStride) {
                if (IsCancelled(cancel))
                    return false;
                std::copy_n(rest.data() + done, std::min(kLookStride, rest.size() - done),
                            to + done);
            }
            if (places[i].loweredBefore)
                replaceLoneSurrogates(to, to + rest.size(), places[i].at + rest.size() == length);
            // Each piece is freed as soon as it is copied, and given back to
            // the system soon after: the pieces and the whole text overlap
            // little.
            if (StopAsked(cancel, pieces[i].sourceLength))
                return false;
            freedBytes += pieces[i].text.size() * qsizetype(sizeof(QChar));
            pieces[i].text = QString();
            if (freedBytes >= kReturnBytes) {
                ReturnFreedMemory();
                freedBytes = 0;
            }
        }
        return true;
    };
    if (!RunSideBySide(stop, copy, copy))
        return CancelledError();
    ReturnFreedMemory();
    if (!options.keepMultipleSpaces) {
        while (length > 0 && whole[length - 1] == u' ')
            --length;
        text.truncate(length);
    }
    return text;
}
