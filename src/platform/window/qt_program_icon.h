// The program's icon for its windows.
#pragma once

#include <QIcon>

namespace pha {

// The program's icon, the one installed for the desktop (data/pha.svg),
// rendered from the copy built into the program at the sizes a window
// manager and a task bar ask for.
QIcon ProgramIcon();

}  // namespace pha
