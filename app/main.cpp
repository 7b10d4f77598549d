#include "frm_gramisola.h"
#include "program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SetUpProgram();
    frmGramisola window;
    window.show();
    return RunMainLoop();
}
