#include "main_loop.h"

#include "run_control.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

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
