#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Turns the bytes of a text file into characters of one UTF-16 code unit each.
// Encoding: a UTF-8 or UTF-16 byte-order mark decides; otherwise valid UTF-8
// is read as UTF-8; otherwise Windows-1252. Every LF not preceded by CR
// becomes CR LF, the line break the preparation steps are written for.
// Never fails: with a UTF-8 mark, an invalid sequence becomes U+FFFD; in
// UTF-16, lone surrogates are kept and an odd last byte becomes U+FFFD.
QString DecodeText(const QByteArray &bytes);

// Asked between blocks of a long piece of work; true: give it up.
using StopRequested = std::function<bool()>;

// DecodeText a block of this many bytes at a time, asking `stopped` before
// each: nothing (std::nullopt) once it answers true. The characters are the
// same wherever a block ends.
inline constexpr qsizetype kDecodeBlockBytes = qsizetype(1) << 20;
std::optional<QString> DecodeText(const QByteArray &bytes, const StopRequested &stopped);
