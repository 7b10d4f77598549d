#include "text_decoding.h"

#include <algorithm>
#include <initializer_list>

namespace {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Windows1252 };

constexpr char16_t kReplacement = u'\uFFFD';

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes the
// code page leaves undefined (81 8D 8F 90 9D) keep their Latin-1 meaning, the
// C1 control of the same number, so that every byte still yields a character.
constexpr char16_t kWindows1252High[32] = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

// One UTF-8 sequence at p, checked strictly (no overlong forms, no encoded
// surrogates, nothing above U+10FFFF, no truncation). Returns its length and
// sets codePoint; for an invalid sequence returns minus the length of its
// maximal valid prefix (at least one byte), which is replaced as one unit.
int utf8Sequence(const uchar *p, const uchar *end, char32_t &codePoint)
{
    const uchar lead = p[0];
    int trailing = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        codePoint = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0; // below: overlong
        if (lead == 0xED)
            high = 0x9F; // above: UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        codePoint = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90; // below: overlong
        if (lead == 0xF4)
            high = 0x8F; // above: beyond U+10FFFF
    } else {
        return -1;
    }
    for (int i = 1; i <= trailing; ++i) {
        if (p + i == end || p[i] < low || p[i] > high)
            return -i;
        codePoint = (codePoint << 6) | (p[i] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return trailing + 1;
}

// The decoders hand every UTF-16 code unit to a sink. The same decoder runs
// twice, first counting and then writing, so the text is allocated once at
// its exact length: a 128 MiB file then costs its bytes plus one string.
// Each call decodes the characters that begin in [p, limit), one block of the
// text; a UTF-8 sequence that begins before limit is read on up to `end`, so
// where a block ends changes nothing. Each returns where the next block begins.

// With strict set, stops at the first invalid sequence and returns nullptr.
template <typename Sink>
const uchar *decodeUtf8(const uchar *p, const uchar *limit, const uchar *end, Sink &sink,
                        bool strict)
{
    while (p < limit) {
        if (*p < 0x80) {
            sink(char16_t(*p++));
            continue;
        }
        char32_t codePoint = 0;
        const int length = utf8Sequence(p, end, codePoint);
        if (length < 0) {
            if (strict)
                return nullptr;
            sink(kReplacement);
            p += -length;
            continue;
        }
        if (codePoint >= 0x10000) {
            sink(char16_t(0xD800 + ((codePoint - 0x10000) >> 10)));
            sink(char16_t(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            sink(char16_t(codePoint));
        }
        p += length;
    }
    return p;
}

// Every code unit is passed on as it is, lone surrogates included: the
// program treats them as ordinary characters. An odd last byte is half a
// character whose other half is missing; it becomes U+FFFD so that the loss
// shows instead of disappearing. (Blocks hold an even number of bytes, so
// only the last can end in half a unit.)
template <typename Sink>
void decodeUtf16(const uchar *p, const uchar *end, bool bigEndian, Sink &sink)
{
    for (; end - p >= 2; p += 2)
        sink(bigEndian ? char16_t(p[0] << 8 | p[1]) : char16_t(p[1] << 8 | p[0]));
    if (p != end)
        sink(kReplacement);
}

template <typename Sink> void decodeWindows1252(const uchar *p, const uchar *end, Sink &sink)
{
    for (; p != end; ++p)
        sink(*p >= 0x80 && *p <= 0x9F ? kWindows1252High[*p - 0x80] : char16_t(*p));
}

template <typename Sink>
const uchar *decodeBlock(Encoding encoding, const uchar *p, const uchar *limit, const uchar *end,
                         Sink &sink, bool strict)
{
    switch (encoding) {
    case Encoding::Utf8:
        return decodeUtf8(p, limit, end, sink, strict);
    case Encoding::Utf16LE:
        decodeUtf16(p, limit, false, sink);
        break;
    case Encoding::Utf16BE:
        decodeUtf16(p, limit, true, sink);
        break;
    case Encoding::Windows1252:
        decodeWindows1252(p, limit, sink);
        break;
    }
    return limit;
}

enum class Outcome { Done, Invalid, Stopped };

// Decodes [p, end) block by block, telling `look` of each as it begins, so
// that a stop is seen within a few milliseconds even on the largest file.
template <typename Sink>
Outcome decode(Encoding encoding, const uchar *p, const uchar *end, Sink &sink, bool strict,
               const WorkLook &look)
{
    while (p != end) {
        const uchar *limit = end - p > kDecodeBlockBytes ? p + kDecodeBlockBytes : end;
        if (look && look(limit - p))
            return Outcome::Stopped;
        p = decodeBlock(encoding, p, limit, end, sink, strict);
        if (!p)
            return Outcome::Invalid;
    }
    return Outcome::Done;
}

// Passes code units on, putting a CR before every LF that does not follow
// one: a file with Unix line breaks then reads as the same file with CR LF.
template <typename Out> class CrLfSink {
public:
    explicit CrLfSink(Out out) : m_out(out) {}
    void operator()(char16_t unit)
    {
        if (unit == u'\n' && m_previous != u'\r')
            m_out(u'\r');
        m_out(unit);
        m_previous = unit;
    }

private:
    Out m_out;
    char16_t m_previous = 0;
};

bool startsWith(const uchar *p, const uchar *end, std::initializer_list<uchar> mark)
{
    return end - p >= qsizetype(mark.size()) && std::equal(mark.begin(), mark.end(), p);
}

} // namespace

std::optional<QString> DecodeText(const QByteArray &bytes, const WorkLook &look)
{
    const auto *begin = reinterpret_cast<const uchar *>(bytes.constData());
    const auto *end = begin + bytes.size();

    // Without a mark, the text is UTF-8 if all of it is valid UTF-8.
    Encoding encoding = Encoding::Utf8;
    bool marked = true;
    if (startsWith(begin, end, {0xEF, 0xBB, 0xBF})) {
        begin += 3;
    } else if (startsWith(begin, end, {0xFF, 0xFE})) {
        encoding = Encoding::Utf16LE;
        begin += 2;
    } else if (startsWith(begin, end, {0xFE, 0xFF})) {
        encoding = Encoding::Utf16BE;
        begin += 2;
    } else {
        marked = false;
    }

    qsizetype length = 0;
    const auto count = [&length](char16_t) { ++length; };
    CrLfSink counter(count);
    Outcome counted = decode(encoding, begin, end, counter, !marked, look);
    if (counted == Outcome::Invalid) {
        encoding = Encoding::Windows1252;
        length = 0;
        CrLfSink restart(count);
        counted = decode(encoding, begin, end, restart, false, look);
    }
    if (counted == Outcome::Stopped)
        return std::nullopt;

    QString text(length, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    CrLfSink writer([&out](char16_t unit) { *out++ = unit; });
    if (decode(encoding, begin, end, writer, false, look) == Outcome::Stopped)
        return std::nullopt;
    Q_ASSERT(out == reinterpret_cast<char16_t *>(text.data()) + length);
    return text;
}

QString DecodeText(const QByteArray &bytes)
{
    return *DecodeText(bytes, WorkLook());
}
