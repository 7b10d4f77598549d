#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>

bool InstallQtItalian()
{
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
