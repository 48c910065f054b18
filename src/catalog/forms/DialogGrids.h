#pragma once
// DialogGrids: the folder browser behind the edit-with-button cells of the page
// settings and company dialogs' grids.

#include <QString>

class QWidget;

namespace DialogGrids {

// The shell's folder browser owned by Owner (through the main window when it
// owns the dialog): the chosen folder, or "" when cancelled.
QString BrowseForFolder(QWidget *Owner, const QString &Caption);

} // namespace DialogGrids
