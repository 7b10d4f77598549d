// Fuzzes the pattern component with the run patterns the program itself uses,
// on arbitrary UTF-16 text (lone surrogates, NUL, every control character):
// each must match exactly the maximal runs of its class. What the
// preparation's replacements leave behind is fuzz_preparation's part, the
// occurrence search fuzz_engines'.
//
// Input: one byte choosing the patterns (and the seed words' least length),
// then the text as little-endian code units.

#include "fuzz_support.h"
#include "regexp.h"

#include <vector>

namespace {

constexpr auto isHorizontalSpace = [](QChar c) {
    return c == u' ' || c == u'\f' || c == u'\t' || c == u'\v';
};
constexpr auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
constexpr auto isWordChar = [](QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || isDigit(c) || c == u'_';
};

// The patterns whose matches are exactly the maximal runs of one class.
const struct {
    QString pattern;
    bool (*in)(QChar);
} kRuns[] = {
    {QStringLiteral("[ \\f\\t\\v]+"), isHorizontalSpace},
    {QStringLiteral("\\d+"), isDigit},
    {QStringLiteral("\\n+"), [](QChar c) { return c == u'\n'; }},
    {QStringLiteral("\\r+"), [](QChar c) { return c == u'\r'; }},
};

// Execute must find exactly the maximal runs of characters satisfying `in`
// that are at least minLength long, left to right, each Value the text at
// its FirstIndex; ExecuteFirstIndexes must give the same starts.
void checkRuns(RegExp &re, const QString &text, bool (*in)(QChar), qsizetype minLength = 1)
{
    std::vector<RegExpMatch> expected;
    for (qsizetype i = 0, j = 0; i < text.size(); i = j + 1) {
        for (j = i; j < text.size() && in(text[j]);)
            ++j;
        if (j - i >= minLength)
            expected.push_back({i, text.mid(i, j - i)});
    }
    const MatchCollection matches = Unwrap(re.Execute(text), "Execute failed");
    const std::vector<qsizetype> starts =
        Unwrap(re.ExecuteFirstIndexes(text), "ExecuteFirstIndexes failed");
    const QString detail = re.Pattern() + u'\n' + Dump(text);
    Require(matches.Count() == qsizetype(expected.size()) && starts.size() == expected.size(),
            "one match per maximal run", detail);
    for (size_t i = 0; i < expected.size(); ++i) {
        const RegExpMatch &m = matches.Item(qsizetype(i));
        Require(m.FirstIndex == expected[i].FirstIndex && m.Value == expected[i].Value &&
                    starts[i] == m.FirstIndex,
                "match is the maximal run", detail);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::uint8_t choice = input.byte();
    const QString text = input.utf16Rest(1 << 16);

    RegExp re;
    re.setGlobal(true);
    re.setMultiline(choice & 0x80);
    if (choice % 2 == 0) {
        for (const auto &[pattern, in] : kRuns) {
            re.setPattern(pattern);
            checkRuns(re, text, in);
        }
    } else {
        // The seed words of an order 2..10.
        const int minLength = 1 + (choice >> 3) % 9;
        re.setPattern(QStringLiteral("\\b(\\w{%1,})").arg(minLength));
        checkRuns(re, text, isWordChar, minLength);
    }
    return 0;
}
