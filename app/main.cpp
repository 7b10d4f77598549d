#include "frm_gramisola.h"
#include "program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SetUpProgram();
    frmGramisola window;
    window.show();
    // Closing the window leaves the loop with status 0; the window's run
    // control then stops its worker as the window is destroyed.
    return QApplication::exec();
}
