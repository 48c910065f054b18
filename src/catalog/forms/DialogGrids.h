#pragma once
// DialogGrids: the folder browser behind the edit-with-button cells of the page
// settings and company dialogs' grids, and the width of their label columns.

#include <QString>

class QWidget;
class TCellGrid;

namespace DialogGrids {

// The shell's folder browser owned by Owner (through the main window when it
// owns the dialog): the chosen folder, or "" when cancelled.
QString BrowseForFolder(QWidget *Owner, const QString &Caption);

// Widens column ACol of Grid so that its longest text shows whole (never narrower
// than it is); the dialog grows by what the column gained.
void FitLabelColumn(TCellGrid *Grid, int ACol = 0);

} // namespace DialogGrids
