#include "environment_hooks.h"
#include "frm_gramisola.h"
#include "program_icon.h"
#include "qt_translations.h"
#include "run_control.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Docks and task switchers match the window to its desktop entry by this
    // name (the Wayland app id, the X11 class).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.gramisola.Gramisola"));
    InstallQtItalian(); // without it Qt's own texts stay English; the program still runs
    // Every window of the program, the dialogs included, shows this icon.
    QApplication::setWindowIcon(ProgramIcon());

    frmGramisola window;
    new RunControl(&window); // owned by the window
    window.show();
    if (!InstallEnvironmentHooks(window))
        return 1;
    // Closing the main window leaves this loop with status 0.
    const int status = QApplication::exec();
    if (RunControl::workersInFlight() > 0) {
        // A file is still being prepared for a run nobody wants any more; the
        // program writes nothing, so end now rather than wait for it.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
