#include "code_units.h"

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

QByteArray EncodeUtf16Le(const QString &text, bool byteOrderMark)
{
    QByteArray bytes = byteOrderMark ? QByteArray("\xFF\xFE") : QByteArray();
    for (QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}
