// Fuzzes the pattern component with the patterns the program itself uses, on
// arbitrary UTF-16 text (lone surrogates, NUL, every control character).
//
// Input: one byte choosing the pattern (and, for the occurrence search, the
// context length), then the text as little-endian code units.

#include "fuzz_support.h"
#include "reference_finder.h"
#include "regexp.h"

#include <vector>

namespace {

const QString kPunctuation = QStringLiteral("[^A-Za-z0-9_ÀÈÉÌÒÙàèéìòù\\s]");
const QString kHorizontalSpace = QStringLiteral("[ \\f\\t\\v]+");

bool isHorizontalSpace(QChar c) { return c == u' ' || c == u'\f' || c == u'\t' || c == u'\v'; }
bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isWhiteSpace(QChar c) { return isHorizontalSpace(c) || c == u'\r' || c == u'\n'; }
bool isKeptByPunctuationStep(QChar c)
{
    static const QString accented = QStringLiteral("ÀÈÉÌÒÙàèéìòù");
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || isAsciiDigit(c) ||
           c == u'_' || accented.contains(c) || isWhiteSpace(c);
}

qsizetype count(const QString &text, QChar c) { return text.count(c); }

// Execute's matches lie inside the text, left to right, without overlap, and
// each one's Value is the text at its FirstIndex; ExecuteFirstIndexes agrees.
MatchCollection checkedExecute(RegExp &re, const QString &text)
{
    MatchCollection matches = Unwrap(re.Execute(text), "Execute failed");
    qsizetype end = 0;
    for (qsizetype i = 0; i < matches.Count(); ++i) {
        const RegExpMatch &m = matches.Item(i);
        Require(m.FirstIndex >= end, "matches ordered and not overlapping", re.Pattern());
        Require(m.FirstIndex >= 0 && m.FirstIndex + m.Value.size() <= text.size(),
                "match within bounds", re.Pattern());
        Require(QStringView(text).mid(m.FirstIndex, m.Value.size()) == m.Value,
                "match value is the text at its index", re.Pattern());
        end = m.FirstIndex + m.Value.size();
    }
    const std::vector<qsizetype> starts =
        Unwrap(re.ExecuteFirstIndexes(text), "ExecuteFirstIndexes failed");
    Require(qsizetype(starts.size()) == matches.Count(), "as many starts as matches",
            re.Pattern());
    for (size_t i = 0; i < starts.size(); ++i)
        Require(starts[i] == matches.Item(qsizetype(i)).FirstIndex, "same starts as Execute",
                re.Pattern());
    return matches;
}

// Maximal runs of characters satisfying `in`, as (start, length).
std::vector<std::pair<qsizetype, qsizetype>> runs(const QString &text, bool (*in)(QChar))
{
    std::vector<std::pair<qsizetype, qsizetype>> found;
    for (qsizetype i = 0; i < text.size();) {
        if (!in(text[i])) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < text.size() && in(text[j]))
            ++j;
        found.emplace_back(i, j - i);
        i = j;
    }
    return found;
}

void checkRuns(RegExp &re, const QString &text, bool (*in)(QChar))
{
    const MatchCollection matches = checkedExecute(re, text);
    const auto expected = runs(text, in);
    Require(qsizetype(expected.size()) == matches.Count(), "one match per maximal run",
            re.Pattern() + u'\n' + Dump(text));
    for (size_t i = 0; i < expected.size(); ++i) {
        const RegExpMatch &m = matches.Item(qsizetype(i));
        Require(m.FirstIndex == expected[i].first && m.Value.size() == expected[i].second,
                "match is the maximal run", re.Pattern() + u'\n' + Dump(text));
    }
}

void horizontalSpaceStep(RegExp &re, const QString &text)
{
    re.setPattern(kHorizontalSpace);
    checkRuns(re, text, isHorizontalSpace);
    const QString out = Unwrap(re.Replace(text, QStringLiteral(" ")), "Replace failed");
    for (qsizetype i = 0; i < out.size(); ++i) {
        Require(out[i] != u'\f' && out[i] != u'\t' && out[i] != u'\v',
                "no form feed, tab or vertical tab left", Dump(out));
        Require(!(out[i] == u' ' && i > 0 && out[i - 1] == u' '), "no two spaces in a row",
                Dump(out));
    }
    Require(count(out, u'\r') == count(text, u'\r') && count(out, u'\n') == count(text, u'\n'),
            "every CR and LF kept", Dump(text));
}

void lineBreakSteps(RegExp &re, const QString &text)
{
    re.setPattern(QStringLiteral("(\\r\\n)+"));
    const QString pairs = Unwrap(re.Replace(text, QStringLiteral("\r")), "Replace failed");
    // A CR LF can remain where a replacing CR meets a lone LF; what must hold
    // is that exactly the LFs of the pairs went, and every CR of a run of
    // pairs became one.
    Require(count(pairs, u'\n') == count(text, u'\n') - text.count(QStringLiteral("\r\n")),
            "only LFs of CR LF pairs removed", Dump(text));
    Require(count(pairs, u'\r') <= count(text, u'\r'), "no CR added", Dump(text));

    re.setPattern(QStringLiteral("\\n+"));
    checkRuns(re, text, [](QChar c) { return c == u'\n'; });
    re.setPattern(QStringLiteral("\\r+"));
    checkRuns(re, text, [](QChar c) { return c == u'\r'; });
}

void digitsAndPunctuation(RegExp &re, const QString &text)
{
    re.setPattern(QStringLiteral("\\d+"));
    checkRuns(re, text, isAsciiDigit);

    re.setPattern(kPunctuation);
    const QString out = Unwrap(re.Replace(text, QStringLiteral(" ")), "Replace failed");
    Require(out.size() == text.size(), "one space per punctuation character", Dump(text));
    for (qsizetype i = 0; i < out.size(); ++i)
        Require(isKeptByPunctuationStep(text[i]) ? out[i] == text[i] : out[i] == u' ',
                "punctuation becomes a space, the rest stays", Dump(text));
}

bool isWordChar(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || isAsciiDigit(c) || c == u'_';
}

void seedWords(RegExp &re, const QString &text, int contextLength)
{
    re.setPattern(QStringLiteral("\\b(\\w{%1,})").arg(contextLength));
    const MatchCollection matches = checkedExecute(re, text);
    std::vector<qsizetype> expected;
    for (const auto &[start, length] : runs(text, isWordChar)) {
        if (length >= contextLength)
            expected.push_back(start);
    }
    Require(qsizetype(expected.size()) == matches.Count(), "one seed word per long enough word",
            Dump(text));
    for (size_t i = 0; i < expected.size(); ++i)
        Require(matches.Item(qsizetype(i)).FirstIndex == expected[i], "seed word at word start",
                Dump(text));
}

// The occurrence search for a context taken from the text itself must find
// exactly the places a plain comparison finds.
void occurrenceSearch(RegExp &re, const QString &text, qsizetype contextStart, int contextLength)
{
    if (text.isEmpty())
        return;
    const QString context = text.mid(contextStart % text.size(), contextLength);
    if (context.isEmpty())
        return;
    re.setPattern(Unwrap(OccurrencePattern(context, re), "OccurrencePattern failed"));
    const std::vector<qsizetype> found =
        Unwrap(re.ExecuteFirstIndexes(text), "ExecuteFirstIndexes failed");
    std::vector<qsizetype> expected;
    for (qsizetype p = 0; p + context.size() < text.size(); ++p) {
        if (QStringView(text).mid(p, context.size()) == context &&
            text[p + context.size()] != u'\n')
            expected.push_back(p);
    }
    Require(found == expected, "occurrences are every place the context is followed by a non-LF",
            Dump(context) + QStringLiteral("\n") + Dump(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::uint8_t choice = input.byte();
    const std::uint8_t where = input.byte();
    const QString text = input.utf16Rest(1 << 16);

    RegExp re;
    re.setGlobal(true);
    re.setMultiline(choice & 0x80);
    switch (choice % 5) {
    case 0:
        horizontalSpaceStep(re, text);
        break;
    case 1:
        lineBreakSteps(re, text);
        break;
    case 2:
        digitsAndPunctuation(re, text);
        break;
    case 3:
        seedWords(re, text, 1 + (choice >> 3) % 9);
        break;
    case 4:
        occurrenceSearch(re, text, where, 1 + (choice >> 3) % 9);
        break;
    }
    return 0;
}
