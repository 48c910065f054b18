#include "ProductGrid.h"

#include "ProductPictures.h"
#include "platform/graphics/Graphics.h"

#include <algorithm>
#include <utility>

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
    // Product texts are shown as typed: the mini-HTML renderer never draws them.
    EnableHTML = false;
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
    if (FBatchDepth > 0) {
        // A later picture for the same cell replaces the one noted before.
        FPending.removeIf([=](const TPendingPicture &P) { return P.ACol == ACol && P.ARow == ARow; });
        FPending.append({ACol, ARow, FileName});
        return true;
    }
    SetPicture(ACol, ARow, ProductPictures::MakeThumbnail(FileName, ThumbnailHeight()));
    return true;
}

void TProductGrid::RemovePicture(int ACol, int ARow)
{
    FPending.removeIf([=](const TPendingPicture &P) { return P.ACol == ACol && P.ARow == ARow; });
    RemoveCellGraphic(ACol, ARow);
}

void TProductGrid::SetPicture(int ACol, int ARow, std::unique_ptr<TBitmap> Thumbnail)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return;
    // Stretch mode 4: shrunk into the cell keeping its aspect, never enlarged.
    TPicture *Picture = CreateCellPicture(ACol, ARow, false, 4, 0, haCenter, vaCenter);
    if (!Picture)
        return;
    Picture->SetGraphic(std::move(Thumbnail));
    RepaintCell(ACol, ARow);
}

void TProductGrid::FillPending()
{
    const QList<TPendingPicture> Pending = std::exchange(FPending, {});
    QStringList Files;
    for (const TPendingPicture &P : Pending)
        Files << P.FileName;
    std::vector<std::unique_ptr<TBitmap>> Thumbnails = ProductPictures::MakeThumbnails(Files, ThumbnailHeight());
    for (int I = 0; I < Pending.size(); ++I)
        SetPicture(Pending.at(I).ACol, Pending.at(I).ARow, std::move(Thumbnails[size_t(I)]));
}

TProductGrid::TPictureBatch::TPictureBatch(TProductGrid &Grid)
    : FGrid(Grid)
{
    ++FGrid.FBatchDepth;
}

TProductGrid::TPictureBatch::~TPictureBatch()
{
    if (--FGrid.FBatchDepth != 0)
        return;
    try {
        FGrid.FillPending();
    } catch (...) {
        // No threads to be had: the pictures the batch noted stay empty
        // rather than the error leaving a destructor.
        FGrid.FPending.clear();
    }
}
