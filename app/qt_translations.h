#pragma once

// Installs Qt's own Italian texts (file dialog, context menus, standard
// buttons) from Qt's translations folder, whatever the system language, since
// the program speaks only Italian. Call once, after the application object is
// made. When the catalogue cannot be loaded, says so once on stderr and
// returns false; the program runs on with Qt's English texts.
bool InstallQtItalian();
