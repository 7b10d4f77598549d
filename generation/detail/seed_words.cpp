#include "seed_words.h"

namespace {

// The pattern dialect's \w: ASCII letters, digits and underscore only.
bool isWordCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
}

} // namespace

// A match of \b(\w{O,}) can only begin where a run of word characters
// begins, and greedily takes the whole run.
std::vector<SourcePosition> FindSeedWordStarts(const char16_t *s, qsizetype n, int length,
                                               const Cancellation *cancel, qsizetype stride)
{
    std::vector<SourcePosition> starts;
    for (qsizetype p = 0, look = 0; p < n;) {
        if (p >= look) { // now and then, whether the work is still wanted
            if (IsCancelled(cancel))
                return starts;
            look = p + stride;
        }
        if (!isWordCharacter(s[p])) {
            ++p;
            continue;
        }
        const qsizetype start = p;
        while (p < n && isWordCharacter(s[p]))
            ++p;
        if (p - start >= length)
            starts.push_back(SourcePosition(start));
    }
    return starts;
}
