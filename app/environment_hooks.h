#pragma once

class frmGramisola;

// Start-up hooks for scripts and tests; the program itself takes no arguments
// and reads no settings. Each is off unless its variable is set:
//
//   GRAMISOLA_SCREENSHOT_DIR=<dir>
//       Once the window is up, writes <objectName>.png of every visible window
//       into <dir>, then frmGramisola-enlarged.png of the main window made
//       larger with two lines of sample text in the output box, and closes the
//       main window (exit status 0).
//
//   GRAMISOLA_TEST_AUTOCLOSE=<step>,<step>,...
//       Performs the steps one after another, each from the event loop:
//       "info" clicks cmdInfo, "options" clicks cmdOptions (the modal dialog
//       stays open; later steps run inside it), "options-ok" clicks the options
//       dialog's OK, "file:<path>" takes <path> as the source file as choosing
//       it would, "exec" clicks cmdExec, "wait" does nothing for one step,
//       "shot:<dir>/<prefix>" writes <prefix>-<objectName>.png of every visible
//       window, "button" clicks cmdClose, "frame"
//       closes the window as its frame's close box does. An unknown step ends
//       the program with status 2.
//
// Returns false, having printed why, when a variable's value is unusable.
bool InstallEnvironmentHooks(frmGramisola &window);
