#include "source_alphabet.h"

#include "in_strides.h"

#include <algorithm>
#include <bit>
#include <limits>

SourceAlphabet RankAlphabet(const char16_t *s, qsizetype n, const WorkLook &look, qsizetype stride)
{
    SourceAlphabet alphabet;
    alphabet.characters.push_back(0);
    // Each code unit the first time it is seen, then ranked in code-unit
    // order: a short text costs its length, not the 65,536 code units.
    InStrides(0, n, stride, look, [&](qsizetype i) {
        if (!alphabet.rank[s[i]]) {
            alphabet.rank[s[i]] = 1;
            alphabet.characters.push_back(s[i]);
        }
        return true;
    });
    std::sort(alphabet.characters.begin() + 1, alphabet.characters.end());
    const auto size = std::uint32_t(alphabet.characters.size() - 1);
    for (std::uint32_t r = 1; r <= size; ++r)
        alphabet.rank[alphabet.characters[r]] = ContextRank(r);
    alphabet.bits = std::max(1, int(std::bit_width(size)));
    return alphabet;
}
