#include "source_text.h"

#include "text_decoding.h"
#include "text_file.h"

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

StopRequested stopWhen(const Cancellation *cancel)
{
    if (!cancel)
        return {};
    return [cancel] { return cancel->cancelled(); };
}

// Runs one read of the file at `path`, its failure, a shortage of memory
// included, worded as a refusal to read that file; a read stopped by `cancel`
// is CancelledError().
template <typename T, typename Read>
Result<T> readOrRefuse(const QString &path, const Cancellation *cancel, Read read)
{
    try {
        Result<T> result = read(path, stopWhen(cancel));
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

Result<QByteArray> ReadSourceBytes(const QString &path, const Cancellation *cancel)
{
    return readOrRefuse<QByteArray>(path, cancel, [](const QString &file, const auto &stopped) {
        return ReadTextFileBytes(file, kMaxTextFileBytes, stopped);
    });
}

Result<ContentDigest> DigestSourceFile(const QString &path, const Cancellation *cancel)
{
    return readOrRefuse<ContentDigest>(path, cancel, [](const QString &file, const auto &stopped) {
        return DigestTextFile(file, kMaxTextFileBytes, stopped);
    });
}

Result<QString> DecodeSourceText(const QString &path, const QByteArray &bytes,
                                 const Cancellation *cancel)
{
    try {
        std::optional<QString> decoded = DecodeText(bytes, stopWhen(cancel));
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

Result<QString> ReadSourceText(const QString &path)
{
    const Result<QByteArray> bytes = ReadSourceBytes(path);
    if (!bytes)
        return bytes.error();
    return DecodeSourceText(path, bytes.value());
}
