#include "program_icon.h"

QIcon ProgramIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/gramisola.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/gramisola-256.png"), QSize(256, 256));
    return icon;
}
