#include "source_text.h"

#include "text_file.h"

Result<QString> ReadSourceText(const QString &path)
{
    Result<QString> content = ReadTextFile(path);
    if (!content)
        return Error{QStringLiteral("Impossibile leggere il file \"%1\":\n%2")
                         .arg(path, content.error().message),
                     content.error().detail};
    if (content.value().isEmpty())
        return Error{
            QStringLiteral("Il file \"%1\" è vuoto: non c'è testo da cui generare.").arg(path),
            QStringLiteral("empty file")};
    return content;
}
