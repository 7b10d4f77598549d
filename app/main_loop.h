#pragma once

// Runs the event loop until the main window closes and returns the exit
// status, ending the process at once instead when a file is still being
// prepared on a worker thread for a run nobody wants any more: the program
// writes nothing, so there is nothing to wait for.
int RunMainLoop();
