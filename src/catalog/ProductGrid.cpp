#include "ProductGrid.h"

#include "platform/graphics/Graphics.h"

TProductGrid::TProductGrid(QWidget *Parent)
    : TCellGrid(Parent)
{
    setObjectName(QStringLiteral("CellGrid1"));
    SetColCount(6);
    SetRowCount(7);
    SetFixedRows(1);
    SetFixedCols(0);
    SetDefaultColWidth(42);
    SetDefaultRowHeight(24);
    SetWordWrap(true);
    SetOptions((Options() | goColSizing) & ~goEditing);
}

void TProductGrid::SetCells(int ACol, int ARow, const QString &Value)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return;
    SetCellText(ACol, ARow, Value);
    emit CellEdited(ACol, ARow);
}

bool TProductGrid::CreatePicture(int ACol, int ARow, const QString &FileName)
{
    // Load first, so a file that is no picture leaves the cell as it was.
    TPicture Loaded;
    try {
        Loaded.LoadFromFile(FileName);
    } catch (const Exception &) {
        return false;
    }
    TPicture *Picture = CreateCellPicture(ACol, ARow, false, 3, 0, haCenter, vaCenter);
    if (!Picture)
        return false;
    Picture->SetGraphic(Loaded.Graphic());
    RepaintCell(ACol, ARow);
    return true;
}
