// Fuzzes PrepareSourceText with every combination of the five options on
// text in many scripts, checking what each option promises of its output,
// and that preparing the text in small pieces gives what preparing it whole
// gives.
//
// Input: one byte, the length of the pieces less one; then one byte per
// character, drawn from kAlphabet.

#include "../support/option_bits.h"
#include "fuzz_support.h"
#include "prepare_source_text.h"

namespace {

// Characters that the steps and lowering treat each its own way, in several
// scripts: white space, line breaks, digits, punctuation, accented letters
// kept and not, capitals whose lower case is longer (İ) or ASCII (Kelvin
// sign), letters without case, two surrogate pairs, and, last, a lone low
// and a lone high surrogate.
const QString kAlphabet =
    QStringLiteral("aZ_07 \t\v\f\r\n,!ÈàçÑ\u00A0\u0085ЖжЁΣςΆ中。ع،שİß\u212AＡ٣Ա"
                   "\U00010400\U0001F600") +
    QChar(0xDC00) + QChar(0xD800);

// The character of kAlphabet that `byte` draws, a surrogate pair whole.
QStringView drawn(std::uint8_t byte)
{
    qsizetype at = byte % kAlphabet.size();
    if (kAlphabet[at].isLowSurrogate() && at > 0 && kAlphabet[at - 1].isHighSurrogate())
        --at;
    const bool pair = kAlphabet[at].isHighSurrogate() && at + 1 < kAlphabet.size() &&
                      kAlphabet[at + 1].isLowSurrogate();
    return QStringView(kAlphabet).sliced(at, pair ? 2 : 1);
}

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
    const qsizetype pieceLength = size > 0 ? qsizetype(data[0]) + 1 : 1;
    QString text;
    for (std::size_t i = 1; i < size; ++i)
        text += drawn(data[i]);
    for (unsigned bits = 0; bits < 32; ++bits) {
        const PreparationOptions options = OptionsFromBits(bits);
        const QString out =
            Unwrap(PrepareSourceText(text, options, nullptr, {.pieceLength = qsizetype(1) << 30}),
                   "PrepareSourceText failed");
        checkOutput(text, bits, out);
        const QString inPieces =
            Unwrap(PrepareSourceText(text, options, nullptr, {.pieceLength = pieceLength}),
                   "PrepareSourceText in pieces failed");
        Require(inPieces == out, "prepared in pieces as a whole", [&] {
            return QStringLiteral("options %1, pieces of %2\nin:  %3\nwhole:  %4\npieces: %5")
                .arg(bits)
                .arg(pieceLength)
                .arg(Dump(text), Dump(out), Dump(inPieces));
        });
    }
    return 0;
}
