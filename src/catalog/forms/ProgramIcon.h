#pragma once
// The program's icon, which every window of the program shows: the program's
// entry sets it for the whole application, the main window and the about box
// for themselves.

#include <QIcon>

// icons/quillbook-<size>.png of the program folder, every size shipped (a
// null icon when none is there).
QIcon ProgramIcon();
