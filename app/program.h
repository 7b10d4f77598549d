#pragma once

// What every build of the main window does before showing it: the program
// and its tools start the same way.

// Names the program for the desktop, loads Qt's own Italian texts and sets
// the icon every window shows. Call once, right after creating QApplication.
void SetUpProgram();
