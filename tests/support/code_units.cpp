#include "code_units.h"

namespace {

// Windows-1252 bytes 0x80..0x9F by the character they stand for, in byte
// order; the five bytes the code page leaves undefined stand for the C1
// control of that value.
const char16_t k1252High[] = u"€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ";

} // namespace

QString Units(std::u16string_view units)
{
    return QString(reinterpret_cast<const QChar *>(units.data()), qsizetype(units.size()));
}

QByteArray EncodeUtf8(const QString &text)
{
    // QString::toUtf8 would quietly turn a lone surrogate into '?'.
    if (!text.isValidUtf16())
        qFatal("EncodeUtf8: text holds a lone surrogate; use EncodeUtf16Le or write the bytes");
    return text.toUtf8();
}

QByteArray EncodeWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const qsizetype high = QStringView(k1252High, 32).indexOf(QChar(unit));
        if (high >= 0)
            bytes += char(0x80 + high);
        else if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
            bytes += char(unit);
        else
            qFatal("EncodeWindows1252: U+%04X at %lld has no Windows-1252 byte", unsigned(unit),
                   static_cast<long long>(i));
    }
    return bytes;
}

QByteArray EncodeUtf16Le(const QString &text, bool byteOrderMark)
{
    QByteArray bytes = byteOrderMark ? QByteArray("\xFF\xFE") : QByteArray();
    for (QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}
