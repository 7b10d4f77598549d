#pragma once

#include <QIcon>

// The program icon, compiled in: a 32 x 32 picture in 16 colours, with a
// 256-pixel rendering of the same design for large sizes.
QIcon ProgramIcon();
