#include "preparation_pieces.h"

#include <algorithm>

namespace {

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode() | 0x20; // lower case, for letters
    return u >= u'a' && u <= u'z';
}

} // namespace

std::vector<qsizetype> PieceEnds(QStringView text, qsizetype pieceLength)
{
    std::vector<qsizetype> ends;
    // The scan for a cut resumes where the last one left off, so the whole
    // search reads the text once even when letters are rare.
    qsizetype at = std::max<qsizetype>(pieceLength, 1);
    while (at < text.size()) {
        while (at < text.size() && !(isAsciiLetter(text[at - 1]) && isAsciiLetter(text[at])))
            ++at;
        if (at >= text.size())
            break;
        ends.push_back(at);
        at += std::max<qsizetype>(pieceLength, 1);
    }
    ends.push_back(text.size());
    return ends;
}
