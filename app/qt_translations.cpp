#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

namespace {

// Texts Qt draws that its Italian catalogue leaves in English: the type the
// file dialog gives a folder.
class MissingQtItalian : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") == 0 &&
            qstrcmp(sourceText, "Folder") == 0)
            return QStringLiteral("Cartella");
        return QString();
    }
};

} // namespace

bool InstallQtItalian()
{
    // Asked last, after Qt's own catalogue below.
    QCoreApplication::installTranslator(new MissingQtItalian(QCoreApplication::instance()));

    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // qt_it is Qt's umbrella catalogue; it pulls in qtbase_it beside it.
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qt_it"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        std::fprintf(stderr,
                     "gramisola: Qt's Italian translations are missing from %s "
                     "(Debian package qt6-translations-l10n); Qt's own texts stay in English\n",
                     qPrintable(folder));
        delete translator;
        return false;
    }
    return true;
}
