#include "source_text.h"

#include "text_file.h"

#include <new>

Result<QString> ReadSourceText(const QString &path)
{
    const auto refused = [&path](const QString &reason, const QString &detail) {
        return Error{QStringLiteral("Impossibile leggere il file \"%1\":\n%2").arg(path, reason),
                     detail};
    };
    // A file near the size limit takes several times its size while it is
    // decoded; when the system cannot give that, Qt throws std::bad_alloc.
    try {
        Result<QString> content = ReadTextFile(path);
        if (!content)
            return refused(content.error().message, content.error().detail);
        if (content.value().isEmpty())
            return Error{
                QStringLiteral("Il file \"%1\" è vuoto: non c'è testo da cui generare.").arg(path),
                QStringLiteral("empty file")};
        return content;
    } catch (const std::bad_alloc &) {
        return refused(QStringLiteral("Memoria insufficiente per leggerlo. Scegliere un file più "
                                      "piccolo o chiudere altri programmi."),
                       QStringLiteral("std::bad_alloc while reading"));
    }
}
