#pragma once

#include <QStringView>

#include <vector>

// Where the preparation may cut a text: between two ASCII letters. No step
// of the preparation matches or removes an ASCII letter (punctuation,
// digits, line breaks and white space only; lowering keeps a letter a
// letter), so no match can reach across such a place, before or after any
// step, and a cut there never splits a surrogate pair. Preparing the pieces
// one by one and joining them therefore gives what preparing the whole text
// gives, but for the trimming of spaces, which belongs to the text's two
// ends only.
//
// The ends of the pieces, in increasing order, the last being text.size():
// each piece but the last holds at least `pieceLength` characters.
std::vector<qsizetype> PieceEnds(QStringView text, qsizetype pieceLength);
