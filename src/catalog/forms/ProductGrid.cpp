#include "ProductGrid.h"

#include "ProductPictures.h"
#include "platform/graphics/Graphics.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QResizeEvent>
#include <QToolTip>
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

namespace {

// The least widths of the picture column and of the two value columns; the
// label columns keep theirs.
constexpr int MinPictureWidth = 140;
constexpr int MinValueWidth = 180;

} // namespace

void TProductGrid::FitColumns()
{
    if (ColCount() < 6)
        return;
    const int Fixed = ColWidths(0) + ColWidths(2) + ColWidths(4) + 6 * GridLineWidth();
    const int Least = MinPictureWidth + 2 * MinValueWidth;
    const int Room = std::max(Least, viewport()->width() - Fixed);
    const int Picture = Room * MinPictureWidth / Least;
    const int Value = (Room - Picture) / 2;
    SetColWidths(1, Picture);
    SetColWidths(3, Value);
    SetColWidths(5, Room - Picture - Value);
}

void TProductGrid::resizeEvent(QResizeEvent *Event)
{
    TCellGrid::resizeEvent(Event);
    FitColumns();
}

QString TProductGrid::GetFormattedText(int ACol, int ARow)
{
    const QString Text = TCellGrid::GetFormattedText(ACol, ARow);
    if (!IsPathCell(ACol, ARow))
        return Text;
    return QFontMetrics(Font()->ToQFont()).elidedText(Text, Qt::ElideMiddle, std::max(8, ColWidths(ACol) - 8));
}

bool TProductGrid::viewportEvent(QEvent *Event)
{
    if (Event->type() == QEvent::ToolTip) {
        auto *Help = static_cast<QHelpEvent *>(Event);
        int ACol = -1, ARow = -1;
        MouseToCell(Help->pos().x(), Help->pos().y(), ACol, ARow);
        if (IsPathCell(ACol, ARow) && !Cells(ACol, ARow).isEmpty()) {
            QToolTip::showText(Help->globalPos(), Cells(ACol, ARow), this);
            return true;
        }
    }
    return TCellGrid::viewportEvent(Event);
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
