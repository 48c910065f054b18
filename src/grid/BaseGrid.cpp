#include "grid/BaseGrid.h"

#include "grid/CellGraphic.h"
#include "grid/detail/CanvasClip.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>

// =================================================================== TCellProperties

namespace {

std::atomic<std::uint64_t> GraphicGeneration{0};

void GraphicsChanged()
{
    GraphicGeneration.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

std::uint64_t TBaseGrid::CellGraphicGeneration()
{
    return GraphicGeneration.load(std::memory_order_relaxed);
}

TOwnerCellIndex::operator int() const
{
    FOwner->FindOwnerCell();
    return FIsRow ? FOwner->FRow : FOwner->FCol;
}

TOwnerCellIndex &TOwnerCellIndex::operator=(int Value)
{
    // What is assigned holds until cells move again.
    FOwner->FindOwnerCell();
    (FIsRow ? FOwner->FRow : FOwner->FCol) = Value;
    return *this;
}

TCellProperties::TCellProperties(TBaseGrid *AOwnerGrid, int AOwnerCol, int AOwnerRow)
    : FCol(AOwnerCol), FRow(AOwnerRow), FOwnerGrid(AOwnerGrid)
{
    if (FOwnerGrid)
        FCellStamp = FOwnerGrid->PlacementGeneration();
}

void TCellProperties::FindOwnerCell() const
{
    if (!FOwnerGrid)
        return;
    const std::uint64_t Now = FOwnerGrid->PlacementGeneration();
    if (FCellStamp == Now)
        return;
    if (FOwnerGrid->TStringGrid::Objects(FCol, FRow) != this) {
        // Cells moved: one walk over the rows holding objects places every
        // property object it meets, so that the others need no walk of their
        // own (setting a property of each cell after rows were inserted).
        const TBaseGrid *G = FOwnerGrid;
        for (int R = G->NextRowWithObjects(0); R < G->RowCount(); R = G->NextRowWithObjects(R + 1))
            for (int C : G->StoredCols(R)) {
                const auto *P = dynamic_cast<const TCellProperties *>(G->TStringGrid::Objects(C, R));
                if (P && P->FOwnerGrid == G && P->FCellStamp != Now) {
                    P->FCol = C;
                    P->FRow = R;
                    P->FCellStamp = Now;
                }
            }
    }
    FCellStamp = Now;
}

void TCellProperties::RepaintOwnerCell()
{
    if (!FOwnerGrid)
        return;
    FindOwnerCell();
    FOwnerGrid->RepaintCell(FCol, FRow);
}

TCellProperties::~TCellProperties()
{
    if (FCellGraphic)
        GraphicsChanged();
}

void TCellProperties::Assign(const TCellProperties &Source)
{
    IsBaseCell = Source.IsBaseCell;
    CellSpanX = Source.CellSpanX;
    CellSpanY = Source.CellSpanY;
    OwnerRow = Source.OwnerRow;
    OwnerCol = Source.OwnerCol;
    Alignment = Source.Alignment;
    BorderColor = Source.BorderColor;
    BorderWidth = Source.BorderWidth;
    FBrushColor = Source.FBrushColor;
    BrushStyle = Source.BrushStyle;
    FontColor = Source.FontColor;
    FontStyle = Source.FontStyle;
    FontName = Source.FontName;
    FontSize = Source.FontSize;
    ReadOnly = Source.ReadOnly;
    Editor = Source.Editor;
    FVAlignment = Source.FVAlignment;
    SetWordWrap(Source.FWordWrap);
    NodeLevel = Source.NodeLevel;
    Control = Source.Control;
}

void TCellProperties::SetCellGraphic(TCellGraphic *AGraphic)
{
    if (FCellGraphic.get() != AGraphic) {
        FCellGraphic.reset(AGraphic);
        GraphicsChanged();
    }
}

TCellGraphic *TCellProperties::DetachCellGraphic()
{
    if (FCellGraphic)
        GraphicsChanged();
    return FCellGraphic.release();
}

void TCellProperties::SetBrushColor(TColor Value)
{
    FBrushColor = Value;
    RepaintOwnerCell();
}

void TCellProperties::SetVAlignment(TVAlignment Value)
{
    FVAlignment = Value;
    RepaintOwnerCell();
}

void TCellProperties::SetWordWrap(bool Value)
{
    FWordWrap = Value;
    RepaintOwnerCell();
}

// =================================================================== TBaseGrid

TBaseGrid::TBaseGrid(QWidget *Parent) : TStringGrid(Parent)
{
    SetGridLineWidth(1);
    SetGridLineColor(clSilver);
    SetDefaultDrawing(false);
    SetOptions(Options() | goDrawFocusSelected);
    FFooterInLastRow = false;
    // A grid whose row count was never assigned still shows its rows through
    // the display-text hook.
    FDataRowCount = RowCount();
}

TBaseGrid::~TBaseGrid()
{
    FreeCellProperties(0, 0, ColCount() - 1, RowCount() - 1);
}

void TBaseGrid::SetDefaultDrawing(bool Value)
{
    FDefaultDrawing = Value;
    TStringGrid::SetDefaultDrawing(false);
}

void TBaseGrid::SetGridLineWidth(int Value)
{
    FGridLineWidth = Value;
    TStringGrid::SetGridLineWidth(0);
    InvalidateGrid();
}

void TBaseGrid::SetGridLineColor(TColor Value)
{
    FGridLineColor = Value;
    InvalidateGrid();
}

void TBaseGrid::SetRowCount(int Value)
{
    if (Value >= 1 && Value < RowCount())
        FreeCellProperties(0, Value, ColCount() - 1, RowCount() - 1);
    TStringGrid::SetRowCount(Value);
    FDataRowCount = Value;
}

void TBaseGrid::SetColCount(int Value)
{
    if (Value >= 1 && Value < ColCount())
        FreeCellProperties(Value, 0, ColCount() - 1, RowCount() - 1);
    TStringGrid::SetColCount(Value);
}

void TBaseGrid::SetFooterInLastRow(bool Value)
{
    FFooterInLastRow = Value;
    InvalidateGrid();
}

// ------------------------------------------------------------------ property objects

TCellProperties *TBaseGrid::PropsOf(int ACol, int ARow) const
{
    return dynamic_cast<TCellProperties *>(TStringGrid::Objects(ACol, ARow));
}

bool TBaseGrid::HasCellProperties(int ACol, int ARow) const
{
    return TStringGrid::Objects(ACol, ARow) != nullptr;
}

TCellProperties *TBaseGrid::GetCellProperties(int ACol, int ARow)
{
    if (TCellProperties *P = PropsOf(ACol, ARow))
        return P;
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return nullptr;
    auto *P = new TCellProperties(this, ACol, ARow);
    TStringGrid::SetObjects(ACol, ARow, P);
    return P;
}

void TBaseGrid::SetCellProperties(int ACol, int ARow, TCellProperties *AProps)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount()) {
        delete AProps;
        return;
    }
    TCellProperties *Old = PropsOf(ACol, ARow);
    if (Old == AProps)
        return;
    delete Old;
    TStringGrid::SetObjects(ACol, ARow, AProps);
}

void TBaseGrid::FreeCellProperties(int ACol1, int ARow1, int ACol2, int ARow2)
{
    ACol1 = std::max(ACol1, 0);
    ARow1 = std::max(ARow1, 0);
    ACol2 = std::min(ACol2, ColCount() - 1);
    ARow2 = std::min(ARow2, RowCount() - 1);
    // Only the rows indexed as holding objects are visited.
    for (int R = NextRowWithObjects(ARow1); R <= ARow2 && R < RowCount(); R = NextRowWithObjects(R + 1)) {
        for (int C = ACol1; C <= ACol2; ++C) {
            if (TObject *O = TStringGrid::Objects(C, R)) {
                TStringGrid::SetObjects(C, R, nullptr);
                delete dynamic_cast<TCellProperties *>(O);
            }
        }
    }
}

TCellGraphic *TBaseGrid::GetCellGraphic(int ACol, int ARow) const
{
    const TCellProperties *P = PropsOf(ACol, ARow);
    return P ? P->CellGraphic() : nullptr;
}

void TBaseGrid::SetCellGraphic(int ACol, int ARow, TCellGraphic *AGraphic)
{
    // A blank keeps the cell's text slot alive while the graphic is stored.
    const bool WasEmpty = GetCellText(ACol, ARow).isEmpty();
    if (WasEmpty)
        SetCellText(ACol, ARow, QStringLiteral(" "));
    TCellProperties *P = GetCellProperties(ACol, ARow);
    if (P)
        P->SetCellGraphic(AGraphic);
    else
        delete AGraphic;
    if (WasEmpty)
        SetCellText(ACol, ARow, QString());
}

// ------------------------------------------------------------------ merges

TPoint TBaseGrid::BaseCell(int ACol, int ARow) const
{
    const TCellProperties *P = PropsOf(ACol, ARow);
    if (!P || P->IsBaseCell)
        return TPoint(ACol, ARow);
    if (P->CellSpanX != -1 && P->CellSpanY != -1) {
        // A covered cell is only believed when its base still spans it: merge
        // data can never lead a read or write to a cell outside the block.
        const int BX = ACol - P->CellSpanX, BY = ARow - P->CellSpanY;
        const TCellProperties *BP = PropsOf(BX, BY);
        if (BP && BP->IsBaseCell && BP->CellSpanX >= P->CellSpanX && BP->CellSpanY >= P->CellSpanY)
            return TPoint(BX, BY);
    }
    return TPoint(ACol, ARow);
}

bool TBaseGrid::IsBaseCell(int ACol, int ARow) const
{
    const TCellProperties *P = PropsOf(ACol, ARow);
    return !P || P->IsBaseCell;
}

TPoint TBaseGrid::CellSpan(int ACol, int ARow) const
{
    const TCellProperties *P = PropsOf(ACol, ARow);
    if (!P || P->CellSpanX == -1 || P->CellSpanY == -1)
        return TPoint(0, 0);
    const TPoint B = BaseCell(ACol, ARow);
    const TCellProperties *BP = PropsOf(B.X, B.Y);
    if (!BP)
        return TPoint(0, 0);
    return TPoint(BP->CellSpanX, BP->CellSpanY);
}

bool TBaseGrid::IsMergedCell(int ACol, int ARow) const
{
    const TCellProperties *P = PropsOf(ACol, ARow);
    return P && (P->CellSpanX > 0 || P->CellSpanY > 0);
}

bool TBaseGrid::IsXMergedCell(int ACol, int ARow) const
{
    if (!PropsOf(ACol, ARow))
        return false;
    const TPoint B = BaseCell(ACol, ARow);
    const TCellProperties *BP = PropsOf(B.X, B.Y);
    return BP && BP->CellSpanX > 0;
}

bool TBaseGrid::IsYMergedCell(int ACol, int ARow) const
{
    if (!PropsOf(ACol, ARow))
        return false;
    const TPoint B = BaseCell(ACol, ARow);
    const TCellProperties *BP = PropsOf(B.X, B.Y);
    return BP && BP->CellSpanY > 0;
}

void TBaseGrid::MergeCellBlock(int ACol, int ARow, int NumCols, int NumRows)
{
    if (NumCols < 1 || NumRows < 1)
        return;
    // The block is clipped to the grid, and every older block it touches is
    // split first, so no covered cell is left pointing at a base that no
    // longer spans it.
    if (ACol < 0) {
        NumCols += ACol;
        ACol = 0;
    }
    if (ARow < 0) {
        NumRows += ARow;
        ARow = 0;
    }
    NumCols = std::min(NumCols, ColCount() - ACol);
    NumRows = std::min(NumRows, RowCount() - ARow);
    if (NumCols < 1 || NumRows < 1)
        return;
    for (int C = ACol; C < ACol + NumCols; ++C) {
        for (int R = ARow; R < ARow + NumRows; ++R) {
            const TCellProperties *P = PropsOf(C, R);
            if (P && P->CellSpanX != -1 && P->CellSpanY != -1 && (P->CellSpanX > 0 || P->CellSpanY > 0))
                UnmergeCellBlock(C, R);
        }
    }
    for (int C = ACol; C < ACol + NumCols; ++C) {
        for (int R = ARow; R < ARow + NumRows; ++R) {
            TCellProperties *P = GetCellProperties(C, R);
            P->IsBaseCell = C == ACol && R == ARow;
            if (P->IsBaseCell) {
                P->CellSpanX = NumCols - 1;
                P->CellSpanY = NumRows - 1;
            } else {
                P->CellSpanX = C - ACol;
                P->CellSpanY = R - ARow;
            }
        }
    }
    for (int C = ACol; C < ACol + NumCols; ++C)
        for (int R = ARow; R < ARow + NumRows; ++R)
            RepaintCell(C, R);
}

void TBaseGrid::UnmergeCellBlock(int ACol, int ARow)
{
    if (!GetCellProperties(ACol, ARow))
        return;
    const TPoint B = BaseCell(ACol, ARow);
    TCellProperties *BP = GetCellProperties(B.X, B.Y);
    if (!BP)
        return;
    const int SX = BP->CellSpanX, SY = BP->CellSpanY;
    if (SX < 0 || SY < 0)
        return;
    const int LastCol = std::min(B.X + SX, ColCount() - 1);
    const int LastRow = std::min(B.Y + SY, RowCount() - 1);
    for (int C = B.X; C <= LastCol; ++C) {
        for (int R = B.Y; R <= LastRow; ++R) {
            TCellProperties *P = GetCellProperties(C, R);
            P->IsBaseCell = true;
            P->CellSpanX = -1;
            P->CellSpanY = -1;
        }
    }
    for (int C = B.X; C <= LastCol; ++C)
        for (int R = B.Y; R <= LastRow; ++R)
            RepaintCell(C, R);
}

std::vector<TBaseGrid::TMergeBlock> TBaseGrid::DetachMergesFromRows(int First, int Count)
{
    std::vector<TMergeBlock> Again;
    const int Last = std::min(First + Count - 1, RowCount() - 1);
    First = std::max(First, 0);
    std::set<std::pair<int, int>> Seen;
    // Merge data lives in property objects: only rows holding objects count.
    for (int R = NextRowWithObjects(First); R <= Last; R = NextRowWithObjects(R + 1)) {
        for (int C = 0; C < ColCount(); ++C) {
            if (!IsMergedCell(C, R))
                continue;
            const TPoint B = BaseCell(C, R);
            if (!Seen.insert({B.X, B.Y}).second)
                continue;
            const TCellProperties *BP = PropsOf(B.X, B.Y);
            if (!BP || !BP->IsBaseCell || BP->CellSpanX < 0 || BP->CellSpanY < 0)
                continue;
            const int SX = BP->CellSpanX, SY = BP->CellSpanY;
            const int Top = B.Y, Bottom = std::min(B.Y + SY, RowCount() - 1);
            const int Removed = std::max(0, std::min(Bottom, Last) - std::max(Top, First) + 1);
            const int Kept = Bottom - Top + 1 - Removed;
            UnmergeCellBlock(B.X, B.Y);
            if (Kept < 1)
                continue;
            if (Top >= First) {
                // The base row goes: the first row below the removed ones
                // becomes the base and takes the block's text along.
                TStringGrid::SetCells(B.X, Last + 1, TStringGrid::Cells(B.X, B.Y));
            }
            const int NewTop = Top < First ? Top : First;
            if ((SX + 1) * Kept > 1)
                Again.push_back(TMergeBlock{B.X, NewTop, SX + 1, Kept});
        }
    }
    return Again;
}

void TBaseGrid::MergeAgain(const std::vector<TMergeBlock> &Blocks)
{
    for (const TMergeBlock &M : Blocks)
        MergeCellBlock(M.Col, M.Row, M.Cols, M.Rows);
}

bool TBaseGrid::RowsInSameMerge(int ARow1, int ARow2) const
{
    bool Found = false;
    for (int C = 0; C < ColCount(); ++C) {
        if (CellSpan(C, ARow1).Y > 0 && CellSpan(C, ARow2).Y > 0) {
            Found = true;
            if (BaseCell(C, ARow1).Y != BaseCell(C, ARow2).Y)
                return false;
        }
    }
    return Found;
}

// ------------------------------------------------------------------ text

QString TBaseGrid::GetCellText(int ACol, int ARow)
{
    const TPoint B = BaseCell(ACol, ARow);
    QString Value = TStringGrid::Cells(B.X, B.Y);
    if (B.Y < FDataRowCount)
        GetDisplText(B.X, B.Y, Value);
    return Value;
}

QString TBaseGrid::Cells(int ACol, int ARow) const
{
    // Reading runs the display-text hook, which may be any handler.
    return const_cast<TBaseGrid *>(this)->GetCellText(ACol, ARow);
}

void TBaseGrid::SetCellText(int ACol, int ARow, const QString &Value)
{
    if (HasCellProperties(ACol, ARow)) {
        const TPoint B = BaseCell(ACol, ARow);
        TStringGrid::SetCells(B.X, B.Y, Value);
        if (parentWidget())
            RepaintCell(ACol, ARow);
    } else {
        TStringGrid::SetCells(ACol, ARow, Value);
    }
    if (FFooterInLastRow && ARow == RowCount() - 1)
        RefreshFooter();
}

void TBaseGrid::ClearCell(int ACol, int ARow)
{
    TStringGrid::SetCells(ACol, ARow, QString());
    TStringGrid::SetObjects(ACol, ARow, nullptr);
}

void TBaseGrid::ClearColumn(int ACol)
{
    for (int R = 0; R < RowCount(); ++R)
        ClearCell(ACol, R);
}

void TBaseGrid::ClearRow(int ARow)
{
    for (int C = 0; C < ColCount(); ++C)
        ClearCell(C, ARow);
}

// ------------------------------------------------------------------ geometry

TRect TBaseGrid::GetSingleCellRect(int ACol, int ARow) const
{
    // The sums of the sizes before a column or row come from the platform's
    // position index (its own grid lines are taken off again).
    const int Line = TStringGrid::GridLineWidth();
    // Beyond the grid every column and row counts with its default size.
    auto ColSum = [this, Line](int C) {
        const int In = std::clamp(C, 0, ColCount());
        return ColOffset(In) - In * Line + std::max(C - In, 0) * DefaultColWidth();
    };
    auto RowSum = [this, Line](int R) {
        const int In = std::clamp(R, 0, RowCount());
        return RowOffset(In) - In * Line + std::max(R - In, 0) * DefaultRowHeight();
    };
    const int X = ColSum(ACol);
    const int Y = RowSum(ARow);
    TRect R(X, Y, X + ColWidths(ACol), Y + RowHeights(ARow));
    int DX = 0, DY = 0;
    if (ACol >= FixedCols())
        DX = ColSum(LeftCol());
    if (ARow >= FixedRows())
        DY = RowSum(TopRow());
    OffsetRect(R, -DX, -DY);
    const TRect Origin = CellRect(LeftCol(), TopRow());
    const int PX = ACol < FixedCols() ? 0 : Origin.Left;
    const int PY = ARow < FixedRows() ? 0 : Origin.Top;
    OffsetRect(R, PX, PY);
    return R;
}

TRect TBaseGrid::GetCellRect(int ACol, int ARow) const
{
    const TCellProperties *P = PropsOf(ACol, ARow);
    if (!P || (P->CellSpanX == -1 && P->CellSpanY == -1))
        return GetSingleCellRect(ACol, ARow);
    const TPoint B = BaseCell(ACol, ARow);
    if (!P->IsBaseCell && B == TPoint(ACol, ARow))
        return GetSingleCellRect(ACol, ARow);
    const TCellProperties *BP = PropsOf(B.X, B.Y);
    const int SX = BP ? std::max(BP->CellSpanX, 0) : 0;
    const int SY = BP ? std::max(BP->CellSpanY, 0) : 0;
    TRect R;
    UnionRect(R, GetSingleCellRect(B.X, B.Y), GetSingleCellRect(B.X + SX, B.Y + SY));
    return R;
}

TPoint TBaseGrid::CellExtent(int ACol, int ARow) const
{
    const TRect R = GetCellRect(ACol, ARow);
    return TPoint(R.Right - R.Left, R.Bottom - R.Top);
}

void TBaseGrid::RepaintCell(int ACol, int ARow)
{
    InvalidateRect(GetCellRect(ACol, ARow));
}

TRect TBaseGrid::EditorRect(int ACol, int ARow) const
{
    const TRect Own = CellRect(ACol, ARow);
    if (Own.Right <= Own.Left || !IsMergedCell(ACol, ARow))
        return Own;
    return GetCellRect(ACol, ARow);
}

// ------------------------------------------------------------------ virtual operations

bool TBaseGrid::IsFixedCell(int ACol, int ARow)
{
    Q_UNUSED(ACol);
    Q_UNUSED(ARow);
    return false;
}

int TBaseGrid::GetRowIndent(int ARow)
{
    Q_UNUSED(ARow);
    return 0;
}

bool TBaseGrid::HasNodes()
{
    return false;
}

void TBaseGrid::DrawCellContent(TCanvas *ACanvas, int ACol, int ARow, const TRect &ARect, TGridDrawState AState)
{
    Q_UNUSED(AState);
    TRect R = ARect;
    DrawText(ACanvas, GetCellText(ACol, ARow), R, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

void TBaseGrid::RefreshFooter() {}

void TBaseGrid::GetCellColorAndFont(int ACol, int ARow, TGridDrawState &State, bool Printing, bool UseSelection,
                                    bool MapColumn, TBrush *ABrush, TFont *AFont, TAlignment &HAlign,
                                    TVAlignment &VAlign)
{
    Q_UNUSED(ACol);
    Q_UNUSED(ARow);
    Q_UNUSED(State);
    Q_UNUSED(Printing);
    Q_UNUSED(UseSelection);
    Q_UNUSED(MapColumn);
    Q_UNUSED(ABrush);
    Q_UNUSED(AFont);
    Q_UNUSED(HAlign);
    Q_UNUSED(VAlign);
}

void TBaseGrid::GetDisplText(int ACol, int ARow, QString &Value)
{
    if (OnGetDisplText)
        OnGetDisplText(this, ACol, ARow, Value);
}

// ------------------------------------------------------------------ painting

void TBaseGrid::Paint()
{
    TStringGrid::Paint();
    ++FPaintGeneration;
}

void TBaseGrid::DrawCell(int ACol, int ARow, const TRect &ARect, TGridDrawState AState)
{
    TCanvas *C = Canvas();
    if (FFooterInLastRow && ARow == RowCount() - 1 && !FPaintingFooter) {
        C->Brush()->SetColor(Color());
        C->Pen()->SetColor(Color());
        C->FillRect(ARect);
        return;
    }
    if (!IsBaseCell(ACol, ARow)) {
        const TPoint B = BaseCell(ACol, ARow);
        if (B != TPoint(ACol, ARow)) {
            TCellProperties *BP = PropsOf(B.X, B.Y);
            if (BP && BP->PaintStamp != FPaintGeneration) {
                BP->PaintStamp = FPaintGeneration;
                DrawCell(B.X, B.Y, ARect, AState);
            }
            return;
        }
        // A cell whose block is gone draws as a single cell.
    }

    if (IsFixedCell(ACol, ARow)) {
        AState |= gdFixed;
        AState &= ~gdSelected;
    }
    TRect R = GetCellRect(ACol, ARow);

    int FW = 0, FH = 0;
    if (ACol >= FixedCols())
        for (int I = 0; I < FixedCols(); ++I)
            FW += ColWidths(I);
    if (ARow >= FixedRows())
        for (int I = 0; I < FixedRows(); ++I)
            FH += RowHeights(I);
    std::optional<GridDetail::ScopedClip> Clip;
    if ((FixedCols() >= 1 && ACol >= FixedCols() && FW > R.Left)
        || (FixedRows() >= 1 && ARow >= FixedRows() && R.Top < FH)) {
        // A block partly scrolled under the fixed cells must not paint over them.
        Clip.emplace(C, TRect(FW, FH, width(), height()), false);
    }

    C->Pen()->SetWidth(1);
    C->SetFont(*Font());
    TAlignment HAlign = taLeftJustify;
    TVAlignment VAlign = vtaTop;
    GetCellColorAndFont(ACol, ARow, AState, false, true, true, C->Brush(), C->Font(), HAlign, VAlign);
    C->Pen()->SetColor(C->Brush()->Color());
    C->Rectangle(R);

    int W = 1;
    if (AState & gdFixed) {
        C->Pen()->SetColor(clGray);
        C->Pen()->SetWidth(1);
    } else {
        if (FGridLineWidth > 0)
            C->Pen()->SetColor(FGridLineColor);
        C->Pen()->SetWidth(std::max(FGridLineWidth, 1));
        W = (FGridLineWidth + 1) / 2;
    }
    const bool Fixed = AState & gdFixed;
    const bool DrawLines = Fixed || FGridLineWidth > 0;
    if (ACol == 0 && ARow >= FixedRows())
        R.Left += GetRowIndent(ARow);
    if (DrawLines && !(BaseCell(ACol, ARow).X == 0 && HasNodes())) {
        if (((Options() & goHorzLine) && !Fixed) || (Fixed && (Options() & goFixedHorzLine))) {
            C->MoveTo(R.Left - W + 1, R.Bottom - W);
            C->LineTo(R.Right - W + 1, R.Bottom - W);
        }
    }
    if (DrawLines && (((Options() & goVertLine) && !Fixed) || ((Options() & goFixedVertLine) && Fixed))) {
        C->MoveTo(R.Right - W, R.Bottom - W);
        C->LineTo(R.Right - W, R.Top - W);
    }
    const int Inset = Fixed ? 1 : FGridLineWidth;
    InflateRect(R, -Inset, -Inset);
    DrawCellContent(C, ACol, ARow, R, AState);
}

bool TBaseGrid::SelectCell(int ACol, int ARow)
{
    RepaintCell(Col(), Row());
    const bool Answer = TStringGrid::SelectCell(ACol, ARow);
    RepaintCell(ACol, ARow);
    return Answer;
}

void TBaseGrid::TopLeftChanged()
{
    TStringGrid::TopLeftChanged();
    // Merged headers change when their other part scrolls.
    for (int R = TopRow(); R <= TopRow() + VisibleRowCount() && R < RowCount(); ++R)
        for (int C = 0; C < FixedCols(); ++C)
            if (IsMergedCell(C, R))
                RepaintCell(C, R);
    for (int C = LeftCol(); C <= LeftCol() + VisibleColCount() && C < ColCount(); ++C)
        for (int R = 0; R < FixedRows(); ++R)
            if (IsMergedCell(C, R))
                RepaintCell(C, R);
}

void TBaseGrid::ScrollBlockIntoView(int ACol, int ARow)
{
    if (ACol < 0 || ARow < FixedRows() || ACol >= ColCount() || ARow >= RowCount())
        return;
    const TPoint B = BaseCell(ACol, ARow);
    if (B.Y < FixedRows() || B.Y >= RowCount())
        return;
    const int Last = std::min(B.Y + std::max(CellSpan(B.X, B.Y).Y, 0), RowCount() - 1);
    if (B.Y < TopRow()) {
        SetTopRow(B.Y);
        return;
    }
    // Row by row: a block is a few rows high, and its first row stays in view.
    while (TopRow() < B.Y && GetSingleCellRect(B.X, Last).Bottom > viewport()->height()) {
        const int Before = TopRow();
        SetTopRow(Before + 1);
        if (TopRow() == Before)
            break;
    }
}

// ------------------------------------------------------------------ keys and wheel

void TBaseGrid::RebaseCurrent()
{
    if (!HasCellProperties(Col(), Row()))
        return;
    const TPoint B = BaseCell(Col(), Row());
    if (B.X != Col() && B.X >= 0 && B.X < ColCount())
        SetCol(B.X);
    if (B.Y != Row() && B.Y >= 0 && B.Y < RowCount())
        SetRow(B.Y);
}

void TBaseGrid::KeyDown(quint16 &Key, TShiftState Shift)
{
    switch (Key) {
    case VK_NEXT:
        if (FFooterInLastRow && RowCount() >= 2
            && VisibleRowCount() + TopRow() - FixedRows() == RowCount() - 1)
            SetRow(RowCount() - 2);
        break;
    case VK_RIGHT:
        if (PropsOf(Col(), Row())) {
            const TPoint B = BaseCell(Col(), Row());
            const TCellProperties *BP = PropsOf(B.X, B.Y);
            const int T = B.X + (BP ? std::max(BP->CellSpanX, 0) : 0);
            if (T >= Col() && Col() < ColCount() - 1 && B.X < ColCount() - 1 && T < ColCount())
                SetCol(T);
        }
        break;
    case VK_DOWN:
        if (PropsOf(Col(), Row())) {
            const TPoint B = BaseCell(Col(), Row());
            const TCellProperties *BP = PropsOf(B.X, B.Y);
            const int T = B.Y + (BP ? std::max(BP->CellSpanY, 0) : 0);
            if (T >= Row() && Row() < RowCount() - 1 && B.Y < RowCount() - 1 && T < RowCount())
                SetRow(T);
        }
        break;
    case VK_LEFT:
        // From a covered cell the move starts at the block's base, so the
        // platform's step lands on the cell just left of the block (never on
        // a skipped or negative column).
        if (PropsOf(Col(), Row())) {
            const TPoint B = BaseCell(Col(), Row());
            if (B.X < Col() && Col() > FixedCols() && B.X >= FixedCols())
                SetCol(B.X);
        }
        break;
    case VK_UP:
        if (PropsOf(Col(), Row())) {
            const TPoint B = BaseCell(Col(), Row());
            if (B.Y < Row() && Row() > FixedRows() && B.Y >= FixedRows())
                SetRow(B.Y);
        }
        break;
    default:
        break;
    }
    TStringGrid::KeyDown(Key, Shift);
    RebaseCurrent();
}

bool TBaseGrid::DoMouseWheelDown(TShiftState Shift, const QPoint &MousePos)
{
    // From a block the next row is the first one below it: a step onto the
    // block's own next row would be re-based back onto the block, and the
    // wheel would stay there for good.
    bool Result = true;
    const TPoint B = BaseCell(Col(), Row());
    const int Last = B.Y + std::max(CellSpan(B.X, B.Y).Y, 0);
    if (PropsOf(Col(), Row()) && Last >= Row() && Last < RowCount() - 1)
        SetRow(Last + 1);
    else
        Result = TStringGrid::DoMouseWheelDown(Shift, MousePos);
    if (FFooterInLastRow && VisibleRowCount() - FixedRows() <= Row() - TopRow() && Row() < RowCount() - 1)
        SetTopRow(TopRow() + 1);
    RebaseCurrent();
    ScrollBlockIntoView(Col(), Row());
    return Result;
}

bool TBaseGrid::DoMouseWheelUp(TShiftState Shift, const QPoint &MousePos)
{
    const bool Result = TStringGrid::DoMouseWheelUp(Shift, MousePos);
    RebaseCurrent();
    ScrollBlockIntoView(Col(), Row());
    return Result;
}
