#pragma once

#include "content_digest.h"
#include "result.h"
#include "text_decoding.h"

#include <QByteArray>
#include <QString>

// Largest file the program reads, in bytes. Larger files are refused with a
// message instead of being read into memory.
inline constexpr qint64 kMaxTextFileBytes = 128LL * 1024 * 1024;

// A size in bytes as the messages give it: "512 byte", "12,3 MB".
QString FileSizeText(qint64 bytes);

// Reads a whole text file as characters of one UTF-16 code unit each,
// decoded by DecodeText (text_decoding.h): the encoding from a byte-order
// mark, else UTF-8 when valid, else Windows-1252; every LF read as CR LF.
// A missing, unreadable or oversized file, a directory or anything else that
// is not a regular file is an Error whose message names the reason in Italian.
// An empty file is an empty text, not an error.
Result<QString> ReadTextFile(const QString &path);

// ReadTextFile with another size limit in bytes (tests use a small one).
Result<QString> ReadTextFile(const QString &path, qint64 maxBytes);

// The bytes ReadTextFile decodes, undecoded: the same refusals, the same
// messages. A caller that may already hold the text decoded compares these.
// `look` is told of the bytes read before every block; once it answers true,
// the reading ends with an Error.
Result<QByteArray> ReadTextFileBytes(const QString &path, qint64 maxBytes = kMaxTextFileBytes,
                                     const WorkLook &look = {});

// The digest (DigestOf) of the bytes ReadTextFileBytes would give, read in
// small blocks: no memory in proportion to the file. The same refusals;
// `look` is told and asked before every block, as ReadTextFileBytes does.
Result<ContentDigest> DigestTextFile(const QString &path, qint64 maxBytes = kMaxTextFileBytes,
                                     const WorkLook &look = {});

// Reads standard input to its end, decoded as ReadTextFile decodes a file,
// with the same limit and the same messages (a pipe, a terminal or a
// redirected file; a directory is refused). `look` is told and asked before
// every block, as ReadTextFileBytes does.
Result<QString> ReadStandardInput(qint64 maxBytes = kMaxTextFileBytes, const WorkLook &look = {});
