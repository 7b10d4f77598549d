#pragma once

#include "work_look.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Turns the bytes of a text file into characters of one UTF-16 code unit each.
// Encoding: a UTF-8 or UTF-16 byte-order mark decides; otherwise valid UTF-8
// is read as UTF-8; otherwise Windows-1252. Every LF not preceded by CR
// becomes CR LF, the line break the preparation steps are written for.
// Never fails: with a UTF-8 mark, an invalid sequence becomes U+FFFD; in
// UTF-16, lone surrogates are kept and an odd last byte becomes U+FFFD.
QString DecodeText(const QByteArray &bytes);

// DecodeText a block of this many bytes at a time, telling `look` of each
// block's bytes as it begins: nothing (std::nullopt) once it answers true.
// A text is decoded in two passes over its bytes (three when it turns out
// not to be UTF-8). The characters are the same wherever a block ends.
inline constexpr qsizetype kDecodeBlockBytes = qsizetype(1) << 20;
std::optional<QString> DecodeText(const QByteArray &bytes, const WorkLook &look);

// The bytes that DecodeText(bytes, look) tells of: its two passes (a third,
// over bytes that are not UTF-8, goes past this).
inline qint64 DecodingWork(const QByteArray &bytes)
{
    return 2 * qint64(bytes.size());
}
