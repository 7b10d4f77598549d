#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

// A QString of exactly these UTF-16 code units: embedded NULs and lone
// surrogates stay as written (u"a\0b"sv keeps its NUL).
QString Units(std::u16string_view units);

// Encoders for fixtures. A character the encoding cannot hold ends the
// program (qFatal), so a fixture is never silently altered.
QByteArray EncodeUtf8(const QString &text);
// Little-endian code units as they stand (lone surrogates included), after
// the mark FF FE when byteOrderMark is set.
QByteArray EncodeUtf16Le(const QString &text, bool byteOrderMark);
