#pragma once

// What every build of the main window does around it: the program and its
// tools start the same way and end the same way.

// Names the program for the desktop, loads Qt's own Italian texts and sets
// the icon every window shows. Call once, right after creating QApplication.
void SetUpProgram();

// Runs the event loop until the main window closes and returns the exit
// status, ending the process at once instead when a file is still being
// prepared on a worker thread for a run nobody wants any more: the program
// writes nothing, so there is nothing to wait for.
int RunMainLoop();
