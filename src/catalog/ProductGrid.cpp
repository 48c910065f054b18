#include "ProductGrid.h"

#include "ProductPictures.h"
#include "platform/graphics/Graphics.h"

#include <algorithm>

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

int TProductGrid::ThumbnailHeight() const
{
    return std::max(1, CellExtent(1, 1).Y - 3);
}

bool TProductGrid::CreatePicture(int ACol, int ARow, const QString &FileName)
{
    std::unique_ptr<TBitmap> Thumbnail = ProductPictures::MakeThumbnail(FileName, ThumbnailHeight());
    TPicture *Picture = CreateCellPicture(ACol, ARow, false, 3, 0, haCenter, vaCenter);
    if (!Picture)
        return false;
    Picture->SetGraphic(std::move(Thumbnail));
    RepaintCell(ACol, ARow);
    return true;
}
