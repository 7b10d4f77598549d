#include "source_text.h"

#include "text_decoding.h"
#include "text_file.h"

#include <QFileInfo>

#include <new>

namespace {

Error refused(const QString &path, const QString &reason, const QString &detail)
{
    return Error{QStringLiteral("Impossibile leggere il file \"%1\":\n%2").arg(path, reason),
                 detail};
}

// A file near the size limit takes several times its size while it is
// read and decoded; when the system cannot give that, Qt throws std::bad_alloc.
Error noMemory(const QString &path)
{
    return refused(path,
                   QStringLiteral("Memoria insufficiente per leggerlo. Scegliere un file più "
                                  "piccolo o chiudere altri programmi."),
                   QStringLiteral("std::bad_alloc while reading"));
}

// Runs one read of the file at `path`, its failure, a shortage of memory
// included, worded as a refusal to read that file; a read stopped by `cancel`
// is CancelledError().
template <typename T, typename Read>
Result<T> readOrRefuse(const QString &path, Cancellation *cancel, Read read)
{
    try {
        Result<T> result = read(path, LookAt(cancel));
        if (!result && IsCancelled(cancel))
            return CancelledError();
        if (!result)
            return refused(path, result.error().message, result.error().detail);
        return result;
    } catch (const std::bad_alloc &) {
        return noMemory(path);
    }
}

} // namespace

Result<QByteArray> ReadSourceBytes(const QString &path, Cancellation *cancel)
{
    return readOrRefuse<QByteArray>(path, cancel, [](const QString &file, const auto &look) {
        return ReadTextFileBytes(file, kMaxTextFileBytes, look);
    });
}

Result<ContentDigest> DigestSourceFile(const QString &path, Cancellation *cancel)
{
    return readOrRefuse<ContentDigest>(path, cancel, [](const QString &file, const auto &look) {
        return DigestTextFile(file, kMaxTextFileBytes, look);
    });
}

Result<QString> DecodeSourceText(const QString &path, const QByteArray &bytes, Cancellation *cancel)
{
    try {
        std::optional<QString> decoded = DecodeText(bytes, LookAt(cancel));
        if (!decoded)
            return CancelledError();
        QString content = std::move(*decoded);
        if (content.isEmpty())
            return Error{
                QStringLiteral("Il file \"%1\" è vuoto: non c'è testo da cui generare.").arg(path),
                QStringLiteral("empty file")};
        return content;
    } catch (const std::bad_alloc &) {
        return noMemory(path);
    }
}

Result<QString> ReadSourceText(const QString &path, Cancellation *cancel)
{
    if (!BeginStage(cancel, RunStage::Reading, QFileInfo(path).size()))
        return CancelledError();
    const Result<QByteArray> bytes = ReadSourceBytes(path, cancel);
    if (!bytes)
        return bytes.error();
    if (!BeginStage(cancel, RunStage::Decoding, DecodingWork(bytes.value())))
        return CancelledError();
    return DecodeSourceText(path, bytes.value(), cancel);
}
