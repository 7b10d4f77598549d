// Fuzzes PrepareSourceText with every combination of the five options on
// arbitrary UTF-16 text, checking what each option promises of its output,
// and that preparing the text in small pieces gives what preparing it whole
// gives.
//
// Input: one byte whose low five bits are the options and whose high three
// bits, plus one, the length of the pieces; then the text as little-endian
// code units.

#include "../support/option_bits.h"
#include "fuzz_support.h"
#include "prepare_source_text.h"

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isWhiteSpace(QChar c)
{
    return c == u' ' || c == u'\f' || c == u'\t' || c == u'\v' || c == u'\r' || c == u'\n';
}

bool isWordOrAccented(QChar c)
{
    static const QString accented = QStringLiteral("ÀÈÉÌÒÙàèéìòù");
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || isAsciiDigit(c) || c == u'_' ||
           accented.contains(c);
}

void checkOutput(const QString &in, unsigned bits, const QString &out)
{
    const PreparationOptions o = OptionsFromBits(bits);
    const QString why =
        QStringLiteral("options %1\nin:  %2\nout: %3").arg(bits & 31).arg(Dump(in), Dump(out));

    // Every LF is part of a line break that becomes a CR.
    if (!o.ignoreLineBreaks)
        Require(!out.contains(u'\n'), "no LF when line breaks are kept", why);

    if (!o.keepMultipleSpaces) {
        Require(!out.startsWith(u' ') && !out.endsWith(u' '), "no leading or trailing space", why);
        Require(!out.contains(QStringLiteral("  ")), "no two spaces in a row", why);
        Require(!out.contains(u'\f') && !out.contains(u'\t') && !out.contains(u'\v'),
                "form feed, tab and vertical tab become spaces", why);
        if (!o.ignoreLineBreaks)
            Require(!out.contains(QStringLiteral("\r\r")), "blank lines vanish", why);
    }
    if (o.ignoreLineBreaks)
        Require(!out.contains(QStringLiteral("\r\n")), "no CR LF when line breaks are ignored",
                why);

    for (QChar c : out) {
        Require(!o.ignoreDigits || !isAsciiDigit(c), "no digit when digits are ignored", why);
        Require(!o.ignorePunctuation || isWordOrAccented(c) || isWhiteSpace(c),
                "only letters, digits, _ and white space when punctuation is ignored", why);
    }
    if (o.lowerCase)
        Require(out == out.toLower(), "lower case output is its own lower case", why);

    // With nothing to remove or lower, letters pass through in order.
    if (!o.ignorePunctuation && !o.ignoreDigits && !o.lowerCase) {
        const auto letters = [](QString text) { return text.removeIf(isWhiteSpace); };
        Require(letters(in) == letters(out), "every character other than white space is kept", why);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    const unsigned bits = input.byte();
    const QString text = input.utf16Rest(1 << 16);
    const QString out = Unwrap(PrepareSourceText(text, OptionsFromBits(bits), nullptr,
                                                 {.pieceLength = qsizetype(1) << 30}),
                               "PrepareSourceText failed");
    checkOutput(text, bits, out);
    const QString inPieces = Unwrap(PrepareSourceText(text, OptionsFromBits(bits), nullptr,
                                                      {.pieceLength = qsizetype(bits >> 5) + 1}),
                                    "PrepareSourceText in pieces failed");
    Require(inPieces == out, "prepared in pieces as a whole",
            QStringLiteral("options %1\nin:  %2\nwhole:  %3\npieces: %4")
                .arg(bits)
                .arg(Dump(text), Dump(out), Dump(inPieces)));
    return 0;
}
