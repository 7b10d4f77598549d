#include "frm_gramisola.h"
#include "main_loop.h"
#include "program_icon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Every window of the program, the dialogs included, shows this icon.
    QApplication::setWindowIcon(ProgramIcon());

    frmGramisola window;
    window.show();
    return RunMainLoop();
}
