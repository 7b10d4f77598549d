#include "seed_words.h"

#include "in_strides.h"

namespace {

// The pattern dialect's \w: ASCII letters, digits and underscore only.
bool isWordCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
}

} // namespace

// A match of \b(\w{O,}) can only begin where a run of word characters
// begins, and greedily takes the whole run. A run may be the whole text: the
// walk looks at `look` inside runs too.
std::vector<SourcePosition> FindSeedWordStarts(const char16_t *s, qsizetype n, int length,
                                               const WorkLook &look, qsizetype stride)
{
    std::vector<SourcePosition> starts;
    qsizetype run = -1; // where the run of word characters under way began
    const auto endRun = [&](qsizetype end) {
        if (run >= 0 && end - run >= length)
            starts.push_back(SourcePosition(run));
        run = -1;
    };
    if (InStrides(0, n, stride, look, [&](qsizetype p) {
            if (!isWordCharacter(s[p]))
                endRun(p);
            else if (run < 0)
                run = p;
            return true;
        }))
        endRun(n);
    return starts;
}
