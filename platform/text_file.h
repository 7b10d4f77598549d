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
// A missing, unreadable or oversized file, or a directory, is an Error whose
// message names the reason in Italian.
Result<QString> ReadTextFile(const QString &path);

// The decoding and line-break rule of ReadTextFile, on bytes already read.
QString DecodeText(const QByteArray &bytes);
