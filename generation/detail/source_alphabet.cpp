#include "source_alphabet.h"

#include "in_strides.h"

#include <algorithm>
#include <bit>
#include <limits>

SourceAlphabet RankAlphabet(const char16_t *s, qsizetype n, const Cancellation *cancel,
                            qsizetype stride)
{
    SourceAlphabet alphabet;
    alphabet.rank.assign(size_t(std::numeric_limits<char16_t>::max()) + 1, 0);
    InStrides(
        0, n, stride, [cancel] { return IsCancelled(cancel); },
        [&](qsizetype i) {
            alphabet.rank[s[i]] = 1;
            return true;
        });
    std::uint32_t size = 0;
    alphabet.characters.push_back(0);
    for (size_t c = 0; c < alphabet.rank.size(); ++c) {
        if (alphabet.rank[c]) {
            alphabet.rank[c] = ContextRank(++size);
            alphabet.characters.push_back(char16_t(c));
        }
    }
    alphabet.bits = std::max(1, int(std::bit_width(size)));
    return alphabet;
}
