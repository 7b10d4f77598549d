#pragma once

#include "cancellation.h"
#include "preparation_options.h"
#include "result.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

// How the preparation cuts a text into pieces that are prepared one by one,
// and how the prepared pieces join into exactly what the whole text gives.
//
// Every step replaces runs of one kind of character: punctuation (one
// character at a time), digits, line breaks, or blanks ([ \f\t\v], after the
// steps before have turned punctuation, digits and CR LF pairs into spaces).
// A step's match is a run of its own kind, so where the two characters at a
// cut are not both of one step's kind, no match crosses the cut. Where they
// are, the run is split in two and each half becomes what the whole run
// becomes; the join mends that seam:
//  - multiple spaces removed: every run of blanks becomes one space and,
//    with line breaks kept, every run of line breaks one CR, so a cut may go
//    anywhere (but between the CR and the LF of a pair that becomes a space
//    when line breaks are ignored) and the join keeps one of the two spaces
//    or CRs the seam shows. The whole text never holds two of them side by
//    side, so the mend cannot remove one that belongs there. Spaces at the
//    text's ends are trimmed once the pieces are joined.
//  - multiple spaces kept: no step touches a space, so a cut may go anywhere
//    but between two line-break characters, or two digits when digits are
//    ignored; nothing needs mending.
// A cut never separates a high surrogate from what follows it nor a low one
// from what precedes it, so lowering a piece sees the characters the whole
// text's lowering sees (see JoinPreparedPieces for its lone surrogates).

// The ends of the pieces of `text`, in increasing order, the last being
// text.size(): each piece but the last holds at least `pieceLength`
// characters. None when `cancel` is cancelled during the scan.
std::optional<std::vector<qsizetype>> PieceEnds(QStringView text, const PreparationOptions &options,
                                                qsizetype pieceLength,
                                                Cancellation *cancel = nullptr);

// One piece as the steps and, with lower case on, Qt's lowering left it.
struct PreparedPiece {
    QString text;
    // Whether lowering changed a character of the piece: from there on, Qt's
    // lowering of the whole text turns every lone surrogate into U+FFFD.
    bool lowered = false;
    // The characters of the text it was prepared from.
    qsizetype sourceLength = 0;
};

// The whole text's preparation from its prepared pieces, in order, each
// freed as soon as it is copied: seams mended, spaces at the ends trimmed
// (multiple spaces removed), and, after a piece that lowering changed, lone
// surrogates turned into U+FFFD as lowering the whole text turns them.
// Fails only when `cancel` is cancelled. Tells `cancel` of each piece's
// sourceLength once the piece is copied.
Result<QString> JoinPreparedPieces(std::vector<PreparedPiece> &pieces,
                                   const PreparationOptions &options, Cancellation *cancel);
