#pragma once

#include "cancellation.h"
#include "content_digest.h"
#include "result.h"

#include <QByteArray>
#include <QString>

// Reads the file a run generates from, as ReadTextFile does, and refuses one
// that holds no text. Every Error's message names the file and says why, in
// Italian, ready for a warning box or a line on standard error. The reading
// and decoding stages begin on `cancel`, when given, each with its work.
Result<QString> ReadSourceText(const QString &path, Cancellation *cancel = nullptr);

// ReadSourceText in two halves: the file's bytes, then their text. A run
// that may reuse what it prepared from the same bytes compares the bytes
// before it spends time decoding them. When `cancel` is given and cancelled
// meanwhile, each stops within a few milliseconds with CancelledError().
Result<QByteArray> ReadSourceBytes(const QString &path, Cancellation *cancel = nullptr);
Result<QString> DecodeSourceText(const QString &path, const QByteArray &bytes,
                                 Cancellation *cancel = nullptr);

// The digest of the file's bytes (DigestOf), without holding them: whether
// the file still holds what a kept text was prepared from. The same messages;
// stopped by `cancel` between two blocks, as the reading is.
Result<ContentDigest> DigestSourceFile(const QString &path, Cancellation *cancel = nullptr);
