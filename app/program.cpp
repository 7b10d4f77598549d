#include "program.h"

#include "program_icon.h"
#include "qt_translations.h"
#include "run_control.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

void SetUpProgram()
{
    // Docks and task switchers match the window to its desktop entry by this
    // name: it is the Wayland app id (on X11 the entry's StartupWMClass
    // names the window class).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.gramisola.Gramisola"));
    InstallQtItalian(); // without it Qt's own texts stay English; the program still runs
    QApplication::setWindowIcon(ProgramIcon());
}

int RunMainLoop()
{
    // Closing the main window leaves this loop with status 0.
    const int status = QApplication::exec();
    if (RunControl::workersInFlight() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
