#pragma once

#include "result.h"

#include <QString>

// Largest file the program reads, in bytes. Larger files are refused with a
// message instead of being read into memory.
inline constexpr qint64 kMaxTextFileBytes = 128LL * 1024 * 1024;

// Reads a whole text file as characters of one UTF-16 code unit each.
// Decoding: a UTF-8 or UTF-16 byte-order mark decides; otherwise valid UTF-8
// is read as UTF-8; otherwise Windows-1252. Every LF not preceded by CR is
// read as CR LF, the line break the preparation steps are written for.
// A missing, unreadable or oversized file, a directory or anything else that
// is not a regular file is an Error whose message names the reason in Italian.
// An empty file is an empty text, not an error.
Result<QString> ReadTextFile(const QString &path);

// ReadTextFile with another size limit in bytes (tests use a small one).
Result<QString> ReadTextFile(const QString &path, qint64 maxBytes);

// Reads standard input to its end, decoded as ReadTextFile decodes a file,
// with the same limit and the same messages (a pipe, a terminal or a
// redirected file; a directory is refused).
Result<QString> ReadStandardInput(qint64 maxBytes = kMaxTextFileBytes);

// The decoding and line-break rule of ReadTextFile, on bytes already read.
// Never fails: with a UTF-8 mark, an invalid sequence becomes U+FFFD; in
// UTF-16, lone surrogates are kept and an odd last byte becomes U+FFFD.
QString DecodeText(const QByteArray &bytes);
