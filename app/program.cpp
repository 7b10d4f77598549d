#include "program.h"

#include "program_icon.h"
#include "qt_translations.h"

#include <QApplication>
#include <QLocale>

void SetUpProgram()
{
    // Docks and task switchers match the window to its desktop entry by this
    // name: it is the Wayland app id (on X11 the entry's StartupWMClass
    // names the window class).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.gramisola.Gramisola"));
    // The program speaks Italian whatever the system language: Qt's own texts,
    // and the dates and file types the file dialog shows.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    InstallQtItalian(); // without it Qt's own texts stay English; the program still runs
    QApplication::setWindowIcon(ProgramIcon());
}
