#include "platform/controls/Grids.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTransform>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

// =================================================================== TReadableArea

TReadableArea::TReadableArea(TCanvas *Canvas, const TRect &Area) : FRect(Area)
{
    FPainter = Canvas ? Canvas->Painter() : nullptr;
    if (!FPainter)
        return;
    const QTransform T = FPainter->worldTransform();
    // Only a plain mirror (with any offset and scale) is undone; a canvas
    // turned some other way is left as it is.
    if (!(T.m11() < 0 && T.m12() == 0 && T.m21() == 0))
        return;
    FMirrored = true;
    FScale = -T.m11();
    FOffset = T.dx();
    FPainter->save();
    FPainter->setWorldTransform(QTransform(FScale, 0, 0, T.m22(), 0, T.dy()));
    FPainter->setLayoutDirection(Qt::RightToLeft);
    FRect = TRect(Edge(Area.Right), Area.Top, Edge(Area.Left), Area.Bottom);
}

TReadableArea::~TReadableArea()
{
    if (FMirrored)
        FPainter->restore();
}

int TReadableArea::Edge(int X) const
{
    return int(std::lround((FOffset - FScale * X) / FScale));
}

unsigned TReadableArea::TextFlags(unsigned Format) const
{
    if (!FMirrored)
        return Format;
    if (Format & DT_CENTER)
        return Format | DT_RTLREADING;
    return (Format & DT_RIGHT ? Format & ~unsigned(DT_RIGHT) : Format | DT_RIGHT) | DT_RTLREADING;
}

TAlignment MirroredAlignment(TAlignment Value)
{
    if (Value == taCenter)
        return Value;
    return Value == taLeftJustify ? taRightJustify : taLeftJustify;
}

TAlignment TReadableArea::Alignment(TAlignment Value) const
{
    return FMirrored ? MirroredAlignment(Value) : Value;
}

// =================================================================== TInplaceEdit

TInplaceEdit::TInplaceEdit(TStringGrid *AGrid) : QLineEdit(AGrid->viewport()), FGrid(AGrid)
{
    setObjectName(QStringLiteral("InplaceEdit"));
    setFrame(false);
    hide();
    connect(this, &QLineEdit::textEdited, this, [this]() {
        if (!FLoading)
            FGrid->SetEditText(FGrid->FInplaceCol, FGrid->FInplaceRow, text());
    });
}

void TInplaceEdit::SetText(const QString &Value)
{
    setText(Value);
    if (!FLoading && FGrid->FInplaceCol >= 0)
        FGrid->SetEditText(FGrid->FInplaceCol, FGrid->FInplaceRow, Value);
}

void TInplaceEdit::UpdateContents()
{
    FLoading = true;
    setText(FGrid->GetEditText(FGrid->Col(), FGrid->Row()));
    FLoading = false;
    selectAll();
}

void TInplaceEdit::keyPressEvent(QKeyEvent *Event)
{
    const quint16 VK = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    switch (VK) {
    case VK_ESCAPE: {
        SetText(FGrid->FEditOrigin);
        FGrid->HideEditor();
        FGrid->setFocus();
        return;
    }
    case VK_RETURN: {
        QChar Key(QLatin1Char('\r'));
        FGrid->KeyPress(Key);
        if (!FGrid->EditorMode())
            FGrid->setFocus();
        return;
    }
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT: {
        quint16 Key = VK;
        FGrid->KeyDown(Key, Shift);
        if (!isVisible())
            FGrid->setFocus();
        return;
    }
    default:
        break;
    }
    QLineEdit::keyPressEvent(Event);
}

// =================================================================== TStringGrid

TStringGrid::TStringGrid(QWidget *Parent) : QAbstractScrollArea(Parent), FFont(std::make_unique<TFont>())
{
    FColWidths.Reweigh(WeighSize{FGridLineWidth});
    FRowHeights.Reweigh(WeighSize{FGridLineWidth});
    FColWidths.Insert(0, FColCount, FDefaultColWidth);
    FRowHeights.Insert(0, FRowCount, FDefaultRowHeight);
    FRows.Insert(0, FRowCount, RowData());
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    horizontalScrollBar()->setTracking(false);
    verticalScrollBar()->setTracking(false);
    UpdateScrollBars();
}

TStringGrid::~TStringGrid() = default;

// ------------------------------------------------------------------ cells

namespace {

template <class Cells>
auto CellAt(Cells &C, int ACol)
{
    return std::lower_bound(C.begin(), C.end(), ACol, [](const auto &Cell, int Col) { return Cell.Col < Col; });
}

} // namespace

const TStringGrid::CellData *TStringGrid::FindIn(const RowData &R, int ACol)
{
    const auto It = CellAt(R.Cells, ACol);
    return It != R.Cells.end() && It->Col == ACol ? &It->Data : nullptr;
}

const TStringGrid::CellData *TStringGrid::FindCell(int ACol, int ARow) const
{
    if (ARow < 0 || ARow >= FRows.Size())
        return nullptr;
    return FindIn(FRows.At(ARow), ACol);
}

void TStringGrid::StoreCell(int ACol, int ARow, const QString *Text, TObject *const *Object)
{
    // Storing a text moves no object: only an object store changes the placement.
    if (Object)
        ++FPlacementGeneration;
    FRows.Modify(ARow, [&](RowData &R) {
        auto It = CellAt(R.Cells, ACol);
        if (It == R.Cells.end() || It->Col != ACol) {
            if ((!Text || Text->isEmpty()) && (!Object || !*Object))
                return;
            // Most rows fill all their columns: room for them at once.
            if (R.Cells.empty()) {
                R.Cells.reserve(size_t(std::clamp(FColCount, 1, 16)));
                It = R.Cells.begin();
            }
            It = R.Cells.insert(It, RowCell{ACol, CellData()});
        }
        CellData &D = It->Data;
        if (Text)
            D.Text = *Text;
        if (Object) {
            R.Objects += (*Object ? 1 : 0) - (D.Object ? 1 : 0);
            D.Object = *Object;
        }
        if (D.Text.isEmpty() && !D.Object)
            R.Cells.erase(It);
    });
}

QString TStringGrid::Cells(int ACol, int ARow) const
{
    const CellData *C = FindCell(ACol, ARow);
    return C ? C->Text : QString();
}

void TStringGrid::SetCells(int ACol, int ARow, const QString &Value)
{
    // Nothing is ever stored outside the grid.
    if (ACol < 0 || ACol >= FColCount || ARow < 0 || ARow >= FRowCount)
        return;
    StoreCell(ACol, ARow, &Value, nullptr);
    InvalidateCell(ACol, ARow);
    if (FInplaceEdit && FInplaceEdit->isVisible() && ACol == FInplaceCol && ARow == FInplaceRow
        && FInplaceEdit->text() != Value) {
        FInplaceEdit->FLoading = true;
        FInplaceEdit->setText(Value);
        FInplaceEdit->FLoading = false;
    }
}

TObject *TStringGrid::Objects(int ACol, int ARow) const
{
    const CellData *C = FindCell(ACol, ARow);
    return C ? C->Object : nullptr;
}

void TStringGrid::SetObjects(int ACol, int ARow, TObject *Value)
{
    if (ACol < 0 || ACol >= FColCount || ARow < 0 || ARow >= FRowCount)
        return;
    StoreCell(ACol, ARow, nullptr, &Value);
}

std::vector<int> TStringGrid::StoredCols(int ARow) const
{
    std::vector<int> Cols;
    if (ARow < 0 || ARow >= FRows.Size())
        return Cols;
    const RowData &R = FRows.At(ARow);
    Cols.reserve(R.Cells.size());
    for (const RowCell &C : R.Cells)
        Cols.push_back(C.Col);
    return Cols;
}

int TStringGrid::CellCount() const
{
    int N = 0;
    FRows.ForEach([&N](const RowData &R) { N += int(R.Cells.size()); });
    return N;
}

// ------------------------------------------------------------------ size

void TStringGrid::SetColCount(int Value)
{
    if (Value < 1)
        Value = 1;
    if (Value == FColCount)
        return;
    if (Value <= FFixedCols)
        TStringGrid::SetFixedCols(Value - 1);
    const int Old = FColCount;
    FColCount = Value;
    if (Value > Old) {
        FColWidths.Insert(Old, Value - Old, FDefaultColWidth);
    } else {
        FColWidths.Erase(Value, Old - Value);
        ++FPlacementGeneration, FRows.ForEach([Value](RowData &R) {
            const auto From = CellAt(R.Cells, Value);
            for (auto It = From; It != R.Cells.end(); ++It)
                R.Objects -= It->Data.Object ? 1 : 0;
            R.Cells.erase(From, R.Cells.end());
        });
    }
    SizeChanged(Old, FRowCount);
}

void TStringGrid::SetRowCount(int Value)
{
    if (Value < 1)
        Value = 1;
    if (Value == FRowCount)
        return;
    if (Value <= FFixedRows)
        TStringGrid::SetFixedRows(Value - 1);
    const int Old = FRowCount;
    FRowCount = Value;
    if (Value > Old) {
        FRowHeights.Insert(Old, Value - Old, FDefaultRowHeight);
        ++FPlacementGeneration, FRows.Insert(Old, Value - Old, RowData());
    } else {
        FRowHeights.Erase(Value, Old - Value);
        ++FPlacementGeneration, FRows.Erase(Value, Old - Value);
    }
    SizeChanged(FColCount, Old);
}

void TStringGrid::SizeChanged(int OldColCount, int OldRowCount)
{
    Q_UNUSED(OldColCount);
    Q_UNUSED(OldRowCount);
    auto Clamp = [](TGridCoord &P, int MinX, int MaxX, int MinY, int MaxY) {
        P.X = std::clamp(P.X, MinX, std::max(MinX, MaxX));
        P.Y = std::clamp(P.Y, MinY, std::max(MinY, MaxY));
    };
    // The current cell and the anchor stay inside the grid; a selection parked
    // outside the grid on purpose (beyond both counts) stays parked.
    if (FCurrent.X < FColCount || FCurrent.Y < FRowCount) {
        Clamp(FCurrent, FFixedCols, FColCount - 1, FFixedRows, FRowCount - 1);
        Clamp(FAnchor, FFixedCols, FColCount - 1, FFixedRows, FRowCount - 1);
    }
    Clamp(FTopLeft, FFixedCols, FColCount - 1, FFixedRows, FRowCount - 1);
    if (FInplaceCol >= FColCount || FInplaceRow >= FRowCount)
        HideEditor();
    UpdateScrollBars();
    InvalidateGrid();
}

void TStringGrid::SetFixedCols(int Value)
{
    if (Value == FFixedCols)
        return;
    if (Value < 0)
        throw EInvalidGridOperation(QStringLiteral("Grid index out of range"));
    if (Value >= FColCount)
        throw EInvalidGridOperation(QStringLiteral("Fixed column count must be less than column count"));
    FFixedCols = Value;
    FTopLeft = {FFixedCols, FFixedRows};
    FCurrent = FTopLeft;
    FAnchor = FCurrent;
    UpdateScrollBars();
    InvalidateGrid();
}

void TStringGrid::SetFixedRows(int Value)
{
    if (Value == FFixedRows)
        return;
    if (Value < 0)
        throw EInvalidGridOperation(QStringLiteral("Grid index out of range"));
    if (Value >= FRowCount)
        throw EInvalidGridOperation(QStringLiteral("Fixed row count must be less than row count"));
    FFixedRows = Value;
    FTopLeft = {FFixedCols, FFixedRows};
    FCurrent = FTopLeft;
    FAnchor = FCurrent;
    UpdateScrollBars();
    InvalidateGrid();
}

int TStringGrid::ColWidths(int Index) const
{
    if (Index < 0 || Index >= FColWidths.Size())
        return FDefaultColWidth;
    return FColWidths.At(Index);
}

void TStringGrid::SetColWidths(int Index, int Value)
{
    if (Index < 0 || Index >= FColWidths.Size())
        return;
    Value = std::max(Value, 0);
    if (FColWidths.At(Index) == Value)
        return;
    FColWidths.Modify(Index, [Value](int &W) { W = Value; });
    UpdateScrollBars();
    UpdateEditorPlace();
    InvalidateGrid();
}

int TStringGrid::RowHeights(int Index) const
{
    if (Index < 0 || Index >= FRowHeights.Size())
        return FDefaultRowHeight;
    return FRowHeights.At(Index);
}

void TStringGrid::SetRowHeights(int Index, int Value)
{
    if (Index < 0 || Index >= FRowHeights.Size())
        return;
    Value = std::max(Value, 0);
    if (FRowHeights.At(Index) == Value)
        return;
    FRowHeights.Modify(Index, [Value](int &H) { H = Value; });
    UpdateScrollBars();
    UpdateEditorPlace();
    InvalidateGrid();
}

void TStringGrid::SetDefaultColWidth(int Value)
{
    FDefaultColWidth = std::max(Value, 0);
    FColWidths.ForEach([this](int &W) { W = FDefaultColWidth; });
    UpdateScrollBars();
    UpdateEditorPlace();
    InvalidateGrid();
}

void TStringGrid::SetDefaultRowHeight(int Value)
{
    FDefaultRowHeight = std::max(Value, 0);
    FRowHeights.ForEach([this](int &H) { H = FDefaultRowHeight; });
    UpdateScrollBars();
    UpdateEditorPlace();
    InvalidateGrid();
}

void TStringGrid::SetGridLineWidth(int Value)
{
    FGridLineWidth = std::max(Value, 0);
    FColWidths.Reweigh(WeighSize{FGridLineWidth});
    FRowHeights.Reweigh(WeighSize{FGridLineWidth});
    UpdateScrollBars();
    InvalidateGrid();
}

void TStringGrid::SetDefaultDrawing(bool Value)
{
    FDefaultDrawing = Value;
    InvalidateGrid();
}

// ------------------------------------------------------------------ current cell

void TStringGrid::CheckCell(int ACol, int ARow) const
{
    if (ACol < 0 || ARow < 0 || ACol >= FColCount || ARow >= FRowCount)
        throw EInvalidGridOperation(QStringLiteral("Grid index out of range"));
}

void TStringGrid::SetCol(int Value)
{
    if (Value != FCurrent.X)
        FocusCell(Value, FCurrent.Y, true);
}

void TStringGrid::SetRow(int Value)
{
    if (Value != FCurrent.Y)
        FocusCell(FCurrent.X, Value, true);
}

void TStringGrid::FocusCell(int ACol, int ARow, bool MoveAnchor)
{
    MoveCurrent(ACol, ARow, MoveAnchor, true);
    if (OnClick)
        OnClick(this);
}

void TStringGrid::MoveCurrent(int ACol, int ARow, bool MoveAnchor, bool Show)
{
    CheckCell(ACol, ARow);
    if (!SelectCell(ACol, ARow))
        return;
    const TGridRect OldSel = Selection();
    const TGridCoord OldCurrent = FCurrent;
    FCurrent = {ACol, ARow};
    if (!(FOptions & goAlwaysShowEditor))
        HideEditor();
    if (MoveAnchor || !(FOptions & goRangeSelect))
        FAnchor = FCurrent;
    if (Show)
        ClampInView(ACol, ARow);
    if (FOptions & goRowSelect) {
        InvalidateRow(OldCurrent.Y);
        InvalidateRow(ARow);
    } else {
        InvalidateCell(OldCurrent.X, OldCurrent.Y);
        InvalidateCell(ACol, ARow);
    }
    if (!(OldSel == Selection()))
        viewport()->update();
    if (FOptions & goAlwaysShowEditor) {
        FEditorMode = true;
        ShowEditor();
    }
}

bool TStringGrid::SelectCell(int ACol, int ARow)
{
    bool CanSelect = true;
    if (OnSelectCell)
        OnSelectCell(this, ACol, ARow, CanSelect);
    return CanSelect;
}

TGridRect TStringGrid::Selection() const
{
    TGridRect R;
    R.Left = std::min(FAnchor.X, FCurrent.X);
    R.Right = std::max(FAnchor.X, FCurrent.X);
    R.Top = std::min(FAnchor.Y, FCurrent.Y);
    R.Bottom = std::max(FAnchor.Y, FCurrent.Y);
    if (FOptions & goRowSelect) {
        R.Left = FFixedCols;
        R.Right = FColCount - 1;
    }
    return R;
}

void TStringGrid::SetSelection(const TGridRect &Value)
{
    FAnchor = {Value.Left, Value.Top};
    FCurrent = {Value.Right, Value.Bottom};
    viewport()->update();
}

void TStringGrid::SetAnchor(int ACol, int ARow)
{
    CheckCell(ACol, ARow);
    if (FAnchor == TGridCoord{ACol, ARow})
        return;
    FAnchor = {ACol, ARow};
    viewport()->update();
}

void TStringGrid::SetOptions(TGridOptions Value)
{
    if (Value == FOptions)
        return;
    FOptions = Value;
    horizontalScrollBar()->setTracking(Value & goThumbTracking);
    verticalScrollBar()->setTracking(Value & goThumbTracking);
    if (!(Value & goEditing) || (Value & goRowSelect))
        HideEditor();
    else if (Value & goAlwaysShowEditor)
        ShowEditor();
    InvalidateGrid();
}

// ------------------------------------------------------------------ geometry

int TStringGrid::ClientWidth() const { return viewport()->width(); }
int TStringGrid::ClientHeight() const { return viewport()->height(); }

TRect TStringGrid::ViewportRect(const TRect &R) const
{
    if (!UseRightToLeftAlignment())
        return R;
    const int W = ClientWidth();
    return TRect(W - R.Right, R.Top, W - R.Left, R.Bottom);
}

QPoint TStringGrid::ViewportPoint(const QPoint &P) const
{
    return UseRightToLeftAlignment() ? QPoint(ClientWidth() - 1 - P.x(), P.y()) : P;
}

namespace {

// Geometry of one axis over its size sequence (sizes with the grid line after
// each): Fixed items stand first, the others from First on, in Client pixels.
template <class Sizes>
struct TAxis {
    const Sizes &S;
    int Fixed, First, Count, Client, Line;

    std::int64_t Before(int I) const { return S.WeightBefore(I); }
    std::int64_t FixedEnd() const { return Before(Fixed); }

    int Start(int I) const
    {
        if (I < 0 || I >= Count)
            return -1;
        if (I < Fixed)
            return int(Before(I));
        if (I < First)
            return -1;
        const std::int64_t X = FixedEnd() + Before(I) - Before(First);
        return X < Client ? int(X) : -1;
    }

    int At(int Pos) const
    {
        const std::int64_t F = FixedEnd();
        if (Pos < F)
            return S.IndexAtWeight(Pos);
        const int I = S.IndexAtWeight(Pos - F + Before(First));
        return I < Count ? I : -1;
    }

    // Items from First that show whole.
    int VisibleCount() const
    {
        if (Count <= Fixed)
            return 0;
        const std::int64_t T = Client - FixedEnd() + Before(First) + Line;
        const int K = std::min(S.IndexAtWeight(T), Count);
        return std::max(K - First, 1);
    }

    // The smallest first item that still shows the last one whole.
    int MaxFirst() const
    {
        const std::int64_t Room = Client - FixedEnd();
        const std::int64_t Target = Before(Count) - Line - Room;
        int I = Fixed;
        if (Target > Before(Fixed))
            I = S.IndexAtWeight(Target - 1) + 1;
        return std::max(std::min(I, Count - 1), Fixed);
    }

    // The first item to show so that item I shows whole, starting from First.
    int FirstShowing(int I) const
    {
        if (I < First)
            return I;
        const std::int64_t Room = Client - FixedEnd();
        const std::int64_t Target = Before(I + 1) - Line - Room;
        if (Target <= Before(First))
            return First;
        return std::min(S.IndexAtWeight(Target - 1) + 1, I);
    }
};

} // namespace

// The two axes of this grid as they stand now.
#define QB_COL_AXIS TAxis<decltype(FColWidths)>{FColWidths, FFixedCols, FTopLeft.X, FColCount, ClientWidth(), FGridLineWidth}
#define QB_ROW_AXIS TAxis<decltype(FRowHeights)>{FRowHeights, FFixedRows, FTopLeft.Y, FRowCount, ClientHeight(), FGridLineWidth}

int TStringGrid::ColStart(int ACol) const
{
    return QB_COL_AXIS.Start(ACol);
}

int TStringGrid::RowStart(int ARow) const
{
    return QB_ROW_AXIS.Start(ARow);
}

int TStringGrid::RowOffset(int ARow) const
{
    return int(FRowHeights.WeightBefore(std::clamp(ARow, 0, FRowCount)));
}

int TStringGrid::ColOffset(int ACol) const
{
    return int(FColWidths.WeightBefore(std::clamp(ACol, 0, FColCount)));
}

int TStringGrid::RowAtOffset(int Y) const
{
    return FRowHeights.IndexAtWeight(Y);
}

int TStringGrid::ColAtOffset(int X) const
{
    return FColWidths.IndexAtWeight(X);
}

int TStringGrid::NextRowWithObjects(int ARow) const
{
    return FRows.NextWeighted(ARow);
}

bool TStringGrid::LocateObject(const TObject *Object, int &ACol, int &ARow) const
{
    if (!Object)
        return false;
    if (const CellData *Guess = FindCell(ACol, ARow); Guess && Guess->Object == Object)
        return true;
    for (int R = FRows.NextWeighted(0); R < FRows.Size(); R = FRows.NextWeighted(R + 1))
        for (const RowCell &Cell : FRows.At(R).Cells)
            if (Cell.Data.Object == Object) {
                ACol = Cell.Col;
                ARow = R;
                return true;
            }
    return false;
}

TRect TStringGrid::CellRect(int ACol, int ARow) const
{
    const int X = ColStart(ACol);
    const int Y = RowStart(ARow);
    if (X < 0 || Y < 0)
        return TRect(0, 0, 0, 0);
    return TRect(X, Y, X + ColWidths(ACol), Y + RowHeights(ARow));
}

TGridCoord TStringGrid::MouseCoord(int X, int Y) const
{
    TGridCoord C{-1, -1};
    if (X < 0 || Y < 0 || X >= ClientWidth() || Y >= ClientHeight())
        return C;
    C.X = QB_COL_AXIS.At(X);
    C.Y = QB_ROW_AXIS.At(Y);
    if (C.X < 0 || C.Y < 0)
        C = {-1, -1};
    return C;
}

void TStringGrid::MouseToCell(int X, int Y, int &ACol, int &ARow) const
{
    const TGridCoord C = MouseCoord(X, Y);
    ACol = C.X;
    ARow = C.Y;
}

int TStringGrid::VisibleColCount() const
{
    return QB_COL_AXIS.VisibleCount();
}

int TStringGrid::VisibleRowCount() const
{
    return QB_ROW_AXIS.VisibleCount();
}

int TStringGrid::MaxLeftCol() const
{
    return QB_COL_AXIS.MaxFirst();
}

int TStringGrid::MaxTopRow() const
{
    return QB_ROW_AXIS.MaxFirst();
}

void TStringGrid::SetLeftCol(int Value)
{
    MoveTopLeft(Value, FTopLeft.Y);
}

void TStringGrid::SetTopRow(int Value)
{
    MoveTopLeft(FTopLeft.X, Value);
}

void TStringGrid::MoveTopLeft(int ALeft, int ATop)
{
    ALeft = std::clamp(ALeft, FFixedCols, std::max(FFixedCols, FColCount - 1));
    ATop = std::clamp(ATop, FFixedRows, std::max(FFixedRows, FRowCount - 1));
    if (ALeft == FTopLeft.X && ATop == FTopLeft.Y)
        return;
    FTopLeft = {ALeft, ATop};
    UpdateScrollBars();
    UpdateEditorPlace();
    viewport()->update();
    TopLeftChanged();
}

void TStringGrid::ClampInView(int ACol, int ARow)
{
    int Left = FTopLeft.X, Top = FTopLeft.Y;
    if (ACol >= FFixedCols)
        Left = QB_COL_AXIS.FirstShowing(ACol);
    if (ARow >= FFixedRows)
        Top = QB_ROW_AXIS.FirstShowing(ARow);
    MoveTopLeft(Left, Top);
}

#undef QB_COL_AXIS
#undef QB_ROW_AXIS

void TStringGrid::UpdateScrollBars()
{
    if (FUpdatingScroll)
        return;
    FUpdatingScroll = true;
    QScrollBar *H = horizontalScrollBar();
    QScrollBar *V = verticalScrollBar();
    H->setRange(FFixedCols, std::max(MaxLeftCol(), FFixedCols));
    H->setPageStep(std::max(1, VisibleColCount()));
    H->setValue(FTopLeft.X);
    V->setRange(FFixedRows, std::max(MaxTopRow(), FFixedRows));
    V->setPageStep(std::max(1, VisibleRowCount()));
    V->setValue(FTopLeft.Y);
    FUpdatingScroll = false;
}

void TStringGrid::scrollContentsBy(int DX, int DY)
{
    Q_UNUSED(DX);
    Q_UNUSED(DY);
    if (FUpdatingScroll)
        return;
    MoveTopLeft(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void TStringGrid::TopLeftChanged()
{
    if (OnTopLeftChanged)
        OnTopLeftChanged(this);
}

// ------------------------------------------------------------------ painting

void TStringGrid::SetColor(TColor Value)
{
    FColor = Value;
    InvalidateGrid();
}

void TStringGrid::SetFixedColor(TColor Value)
{
    FFixedColor = Value;
    InvalidateGrid();
}

TCanvas *TStringGrid::Canvas() const
{
    if (FPaintCanvas)
        return FPaintCanvas;
    if (!FScratch) {
        FScratch = std::make_unique<TBitmap>();
        FScratch->SetSize(1, 1);
    }
    FScratch->Canvas()->Font()->Assign(*FFont);
    return FScratch->Canvas();
}

void TStringGrid::InvalidateCell(int ACol, int ARow)
{
    const TRect R = CellRect(ACol, ARow);
    if (R.Right > R.Left && R.Bottom > R.Top)
        InvalidateRect(TRect(R.Left, R.Top, R.Right + FGridLineWidth, R.Bottom + FGridLineWidth));
}

void TStringGrid::InvalidateRow(int ARow)
{
    const int Y = RowStart(ARow);
    if (Y >= 0)
        viewport()->update(QRect(0, Y, ClientWidth(), RowHeights(ARow) + FGridLineWidth));
}

void TStringGrid::InvalidateCol(int ACol)
{
    const int X = ColStart(ACol);
    if (X >= 0)
        InvalidateRect(TRect(X, 0, X + ColWidths(ACol) + FGridLineWidth, ClientHeight()));
}

void TStringGrid::InvalidateGrid()
{
    viewport()->update();
}

void TStringGrid::InvalidateRect(const TRect &R)
{
    if (R.Right > R.Left && R.Bottom > R.Top)
        viewport()->update(ViewportRect(R).ToQRect());
}

TGridDrawState TStringGrid::CellState(int ACol, int ARow) const
{
    if (ACol < FFixedCols || ARow < FFixedRows)
        return gdFixed;
    TGridDrawState S = 0;
    if (ACol == FCurrent.X && ARow == FCurrent.Y && IsActiveControl())
        S |= gdFocused;
    const TGridRect Sel = Selection();
    if (ACol >= Sel.Left && ACol <= Sel.Right && ARow >= Sel.Top && ARow <= Sel.Bottom)
        S |= gdSelected;
    if ((S & gdFocused) && !(FOptions & (goDrawFocusSelected | goRowSelect)))
        S &= ~gdSelected;
    return S;
}

bool TStringGrid::IsActiveControl() const
{
    return hasFocus() || (FInplaceEdit && FInplaceEdit->hasFocus());
}

void TStringGrid::Paint()
{
    TCanvas *C = Canvas();
    const int W = ClientWidth(), H = ClientHeight();
    C->Brush()->SetColor(FColor);
    C->FillRect(TRect(0, 0, W, H));

    std::vector<int> Cols, Rows;
    for (int I = 0; I < FFixedCols; ++I)
        Cols.push_back(I);
    for (int I = FTopLeft.X; I < FColCount && ColStart(I) >= 0; ++I)
        Cols.push_back(I);
    for (int I = 0; I < FFixedRows; ++I)
        Rows.push_back(I);
    for (int I = FTopLeft.Y; I < FRowCount && RowStart(I) >= 0; ++I)
        Rows.push_back(I);

    for (int R : Rows) {
        for (int Cl : Cols) {
            const TRect Rect = CellRect(Cl, R);
            const TGridDrawState State = CellState(Cl, R);
            if (FDefaultDrawing) {
                C->Font()->Assign(*FFont);
                if (State & gdFixed)
                    C->Brush()->SetColor(FFixedColor);
                else if (State & gdSelected) {
                    C->Brush()->SetColor(clHighlight);
                    C->Font()->SetColor(clHighlightText);
                } else
                    C->Brush()->SetColor(FColor);
                C->FillRect(Rect);
            }
            DrawCell(Cl, R, Rect, State);
            if (FDefaultDrawing && (State & gdFocused))
                DrawFocusRect(C, Rect);
            if (FGridLineWidth > 0) {
                const bool Fixed = State & gdFixed;
                C->Brush()->SetColor(Fixed ? clBlack : clSilver);
                if (Fixed ? (FOptions & goFixedVertLine) : (FOptions & goVertLine))
                    C->FillRect(TRect(Rect.Right, Rect.Top, Rect.Right + FGridLineWidth, Rect.Bottom + FGridLineWidth));
                if (Fixed ? (FOptions & goFixedHorzLine) : (FOptions & goHorzLine))
                    C->FillRect(TRect(Rect.Left, Rect.Bottom, Rect.Right + FGridLineWidth, Rect.Bottom + FGridLineWidth));
            }
        }
    }
}

void TStringGrid::DrawCell(int ACol, int ARow, const TRect &ARect, TGridDrawState AState)
{
    if (FDefaultDrawing) {
        const TReadableArea Area(Canvas(), ARect);
        const TRect &R = Area.Rect();
        const QString Text = TStringGrid::Cells(ACol, ARow);
        const int X = Area.Mirrored() ? R.Right - 2 - Canvas()->TextWidth(Text) : R.Left + 2;
        Canvas()->TextRect(R, X, R.Top + 2, Text);
    }
    if (OnDrawCell)
        OnDrawCell(this, ACol, ARow, ARect, AState);
}

void TStringGrid::PaintWith(QPainter &Painter)
{
    // Text reads left to right unless a readable area says otherwise.
    Painter.setLayoutDirection(Qt::LeftToRight);
    if (UseRightToLeftAlignment())
        Painter.setWorldTransform(QTransform(-1, 0, 0, 1, ClientWidth(), 0));
    TCanvas PaintCanvas(&Painter);
    PaintCanvas.Font()->Assign(*FFont);
    FPaintCanvas = &PaintCanvas;
    try {
        Paint();
    } catch (...) {
        FPaintCanvas = nullptr;
        throw;
    }
    FPaintCanvas = nullptr;
}

void TStringGrid::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event);
    QPainter Painter(viewport());
    try {
        PaintWith(Painter);
    } catch (...) {
        // Painting must never let an exception into the event loop.
    }
}

QImage TStringGrid::RenderToImage()
{
    QImage Image(viewport()->size(), QImage::Format_RGB32);
    Image.fill(Qt::white);
    QPainter Painter(&Image);
    PaintWith(Painter);
    return Image;
}

void TStringGrid::PaintOnCanvas(TCanvas *ACanvas, const std::function<void()> &Draw)
{
    TCanvas *Saved = FPaintCanvas;
    FPaintCanvas = ACanvas;
    try {
        Draw();
    } catch (...) {
        FPaintCanvas = Saved;
        throw;
    }
    FPaintCanvas = Saved;
}

// ------------------------------------------------------------------ editor

TInplaceEdit *TStringGrid::CreateEditor()
{
    return new TInplaceEdit(this);
}

bool TStringGrid::CanEditShow()
{
    // The grid need not have the focus: the editor takes it when it opens.
    return (FOptions & (goRowSelect | goEditing)) == goEditing && FEditorMode;
}

bool TStringGrid::CanEditAcceptKey(QChar Key)
{
    Q_UNUSED(Key);
    return true;
}

void TStringGrid::SetEditorMode(bool Value)
{
    if (Value)
        ShowEditor();
    else
        HideEditor();
}

void TStringGrid::ShowEditor()
{
    FEditorMode = true;
    if (!CanEditShow()) {
        if (!(FOptions & goEditing) || (FOptions & goRowSelect))
            FEditorMode = false;
        return;
    }
    if (!FInplaceEdit)
        FInplaceEdit = CreateEditor();
    if (!FInplaceEdit)
        return;
    if (FInplaceCol != FCurrent.X || FInplaceRow != FCurrent.Y || !FInplaceEdit->isVisible()) {
        FInplaceCol = FCurrent.X;
        FInplaceRow = FCurrent.Y;
        FInplaceEdit->UpdateContents();
        FEditOrigin = FInplaceEdit->text();
    }
    UpdateEditorPlace();
    FInplaceEdit->show();
    FInplaceEdit->setFocus();
}

void TStringGrid::HideEditor()
{
    FEditorMode = false;
    if (!FInplaceEdit || !FInplaceEdit->isVisible())
        return;
    const int ACol = FInplaceCol, ARow = FInplaceRow;
    FInplaceCol = -1;
    FInplaceRow = -1;
    const bool HadFocus = FInplaceEdit->hasFocus();
    FInplaceEdit->hide();
    if (ACol >= 0 && ARow >= 0 && ACol < FColCount && ARow < FRowCount)
        SetEditText(ACol, ARow, FInplaceEdit->text());
    if (HadFocus)
        setFocus();
}

void TStringGrid::UpdateEditorPlace()
{
    if (!FInplaceEdit || FInplaceCol < 0)
        return;
    const TRect R = EditorRect(FInplaceCol, FInplaceRow);
    if (R.Right <= R.Left || R.Bottom <= R.Top) {
        FInplaceEdit->move(-10000, -10000);
        return;
    }
    FInplaceEdit->setGeometry(ViewportRect(R).ToQRect());
}

QString TStringGrid::GetEditText(int ACol, int ARow)
{
    QString Value = TStringGrid::Cells(ACol, ARow);
    if (OnGetEditText)
        OnGetEditText(this, ACol, ARow, Value);
    return Value;
}

void TStringGrid::SetEditText(int ACol, int ARow, const QString &Value)
{
    TStringGrid::SetCells(ACol, ARow, Value);
    if (OnSetEditText)
        OnSetEditText(this, ACol, ARow, Value);
}

// ------------------------------------------------------------------ keys

void TStringGrid::KeyDown(quint16 &Key, TShiftState Shift)
{
    if (OnKeyDown)
        OnKeyDown(this, Key, Shift);
    if (Key == 0)
        return;
    const bool Ctrl = Shift & ssCtrl;
    int X = FCurrent.X, Y = FCurrent.Y;
    bool Handled = true;
    switch (Key) {
    case VK_UP: --Y; break;
    case VK_DOWN: ++Y; break;
    case VK_LEFT:
        if (FOptions & goRowSelect)
            SetLeftCol(LeftCol() - 1);
        else
            --X;
        break;
    case VK_RIGHT:
        if (FOptions & goRowSelect)
            SetLeftCol(LeftCol() + 1);
        else
            ++X;
        break;
    case VK_NEXT: Y += VisibleRowCount(); break;
    case VK_PRIOR: Y -= VisibleRowCount(); break;
    case VK_HOME:
        if (Ctrl || (FOptions & goRowSelect))
            Y = FFixedRows;
        else
            X = FFixedCols;
        break;
    case VK_END:
        if (Ctrl || (FOptions & goRowSelect))
            Y = FRowCount - 1;
        else
            X = FColCount - 1;
        break;
    case VK_TAB:
        if (!(FOptions & goTabs) || (Shift & (ssCtrl | ssAlt))) {
            Handled = false;
            break;
        }
        if (Shift & ssShift) {
            if (--X < FFixedCols) {
                X = FColCount - 1;
                if (--Y < FFixedRows)
                    Y = FRowCount - 1;
            }
        } else if (++X >= FColCount) {
            X = FFixedCols;
            if (++Y >= FRowCount)
                Y = FFixedRows;
        }
        break;
    case VK_F2:
        if ((FOptions & goEditing) && !(FOptions & goRowSelect))
            ShowEditor();
        return;
    default: Handled = false; break;
    }
    if (!Handled)
        return;
    if (FRowCount <= FFixedRows || FColCount <= FFixedCols)
        return;
    X = std::clamp(X, FFixedCols, FColCount - 1);
    Y = std::clamp(Y, FFixedRows, FRowCount - 1);
    if (X != FCurrent.X || Y != FCurrent.Y) {
        const bool Extend = (Shift & ssShift) && (FOptions & goRangeSelect) && Key != VK_TAB;
        FocusCell(X, Y, !Extend);
    }
}

void TStringGrid::KeyPress(QChar &Key)
{
    if (OnKeyPress)
        OnKeyPress(this, Key);
    if (Key.isNull())
        return;
    if (Key == QLatin1Char('\r') && !(FOptions & goAlwaysShowEditor)) {
        if (FEditorMode)
            HideEditor();
        else
            ShowEditor();
        Key = QChar();
        return;
    }
    if (FEditorMode || !(FOptions & goEditing) || (FOptions & goRowSelect))
        return;
    if ((Key.unicode() == 8 || Key.unicode() >= 32) && CanEditAcceptKey(Key)) {
        ShowEditor();
        if (FInplaceEdit && FInplaceEdit->isVisible()) {
            // The typed character replaces the cell text, as typing into a
            // fully selected edit would.
            FInplaceEdit->SetText(Key.unicode() == 8 ? QString() : QString(Key));
            FInplaceEdit->deselect();
            FInplaceEdit->setCursorPosition(FInplaceEdit->text().size());
        }
        Key = QChar();
    }
}

void TStringGrid::keyPressEvent(QKeyEvent *Event)
{
    quint16 Key = VirtualKeyOf(Event);
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    if (Key != 0)
        KeyDown(Key, Shift);
    const QString Text = Event->text();
    if (!Text.isEmpty() && Key != VK_TAB && Key != VK_ESCAPE && !(Shift & ssCtrl)) {
        QChar Ch = Text.at(0);
        if (Ch.unicode() == 13 || Ch.unicode() == 8 || Ch.unicode() >= 32)
            KeyPress(Ch);
    }
    Event->accept();
}

bool TStringGrid::focusNextPrevChild(bool Next)
{
    if (FOptions & goTabs)
        return false;
    return QAbstractScrollArea::focusNextPrevChild(Next);
}

void TStringGrid::changeEvent(QEvent *Event)
{
    QAbstractScrollArea::changeEvent(Event);
    // Turning the layout direction mirrors everything shown: the cells and the open editor.
    if (Event->type() == QEvent::LayoutDirectionChange) {
        UpdateEditorPlace();
        InvalidateGrid();
    }
}

void TStringGrid::focusInEvent(QFocusEvent *Event)
{
    QAbstractScrollArea::focusInEvent(Event);
    InvalidateCell(FCurrent.X, FCurrent.Y);
}

void TStringGrid::focusOutEvent(QFocusEvent *Event)
{
    QAbstractScrollArea::focusOutEvent(Event);
    InvalidateCell(FCurrent.X, FCurrent.Y);
}

// ------------------------------------------------------------------ wheel

bool TStringGrid::DoMouseWheelDown(TShiftState Shift, const QPoint &MousePos)
{
    Q_UNUSED(Shift);
    Q_UNUSED(MousePos);
    if (FCurrent.Y < FRowCount - 1)
        SetRow(FCurrent.Y + 1);
    return true;
}

bool TStringGrid::DoMouseWheelUp(TShiftState Shift, const QPoint &MousePos)
{
    Q_UNUSED(Shift);
    Q_UNUSED(MousePos);
    if (FCurrent.Y > FFixedRows)
        SetRow(FCurrent.Y - 1);
    return true;
}

void TStringGrid::wheelEvent(QWheelEvent *Event)
{
    const int Delta = Event->angleDelta().y();
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    const QPoint Pos = Event->position().toPoint();
    if (Delta < 0)
        DoMouseWheelDown(Shift, Pos);
    else if (Delta > 0)
        DoMouseWheelUp(Shift, Pos);
    Event->accept();
}

// ------------------------------------------------------------------ mouse

namespace {

TMouseButton ButtonOf(Qt::MouseButton B)
{
    if (B == Qt::RightButton)
        return mbRight;
    if (B == Qt::MiddleButton)
        return mbMiddle;
    return mbLeft;
}

TShiftState MouseShift(const QMouseEvent *E)
{
    TShiftState S = ShiftStateOf(E->modifiers());
    if (E->buttons() & Qt::LeftButton)
        S |= ssLeft;
    if (E->buttons() & Qt::RightButton)
        S |= ssRight;
    if (E->buttons() & Qt::MiddleButton)
        S |= ssMiddle;
    return S;
}

} // namespace

void TStringGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (!hasFocus() && !(FInplaceEdit && FInplaceEdit->hasFocus()))
        setFocus();
    if (Button == mbLeft) {
        int FixedW = 0, FixedH = 0;
        for (int I = 0; I < FFixedCols; ++I)
            FixedW += ColWidths(I) + FGridLineWidth;
        for (int I = 0; I < FFixedRows; ++I)
            FixedH += RowHeights(I) + FGridLineWidth;
        // Sizing starts on a line between two cells of the fixed area.
        if ((FOptions & goColSizing) && Y < FixedH) {
            for (int I = 0; I < FColCount; ++I) {
                const int S = ColStart(I);
                if (S < 0)
                    continue;
                const int Edge = S + ColWidths(I);
                if (std::abs(X - Edge) <= SizingMargin) {
                    FMouseState = 2;
                    FSizingIndex = I;
                    FSizingOrigin = X;
                    FSizingStart = ColWidths(I);
                    return;
                }
            }
        }
        if ((FOptions & goRowSizing) && X < FixedW) {
            // Only rows on screen have a border to grab.
            const int LastShown = std::min(FRowCount - 1, FTopLeft.Y + VisibleRowCount() + 1);
            for (int I = 0; I <= LastShown; ++I) {
                if (I >= FFixedRows && I < FTopLeft.Y)
                    I = FTopLeft.Y;
                const int S = RowStart(I);
                if (S < 0)
                    continue;
                const int Edge = S + RowHeights(I);
                if (std::abs(Y - Edge) <= SizingMargin) {
                    FMouseState = 3;
                    FSizingIndex = I;
                    FSizingOrigin = Y;
                    FSizingStart = RowHeights(I);
                    return;
                }
            }
        }
        const TGridCoord C = MouseCoord(X, Y);
        // A header cell picks its column (row) up to move it.
        if ((FOptions & goColMoving) && C.Y >= 0 && C.Y < FFixedRows && C.X >= FFixedCols) {
            FMouseState = 4;
            FSizingIndex = C.X;
        } else if ((FOptions & goRowMoving) && C.X >= 0 && C.X < FFixedCols && C.Y >= FFixedRows) {
            FMouseState = 5;
            FSizingIndex = C.Y;
        }
        if (C.X >= FFixedCols && C.Y >= FFixedRows) {
            const bool WasCurrent = C.X == FCurrent.X && C.Y == FCurrent.Y;
            if ((Shift & ssShift) && (FOptions & goRangeSelect))
                MoveCurrent(C.X, C.Y, false, true);
            else
                FocusCell(C.X, C.Y, true);
            if (FOptions & goRangeSelect)
                FMouseState = 1;
            if (WasCurrent && (FOptions & goEditing) && !FEditorMode)
                ShowEditor();
        }
    }
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TStringGrid::MouseMove(TShiftState Shift, int X, int Y)
{
    Q_UNUSED(Shift);
    if (FMouseState == 1) {
        const TGridCoord C = MouseCoord(X, Y);
        if (C.X >= FFixedCols && C.Y >= FFixedRows && (C.X != FCurrent.X || C.Y != FCurrent.Y))
            MoveCurrent(C.X, C.Y, false, true);
    } else if (FMouseState == 2) {
        SetColWidths(FSizingIndex, std::max(1, FSizingStart + X - FSizingOrigin));
    } else if (FMouseState == 3) {
        SetRowHeights(FSizingIndex, std::max(1, FSizingStart + Y - FSizingOrigin));
    } else {
        viewport()->unsetCursor();
    }
}

void TStringGrid::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    const TGridCoord C = MouseCoord(X, Y);
    if (FMouseState == 4 && C.X >= FFixedCols && C.X != FSizingIndex)
        MoveColumn(FSizingIndex, C.X);
    else if (FMouseState == 5 && C.Y >= FFixedRows && C.Y != FSizingIndex)
        MoveRow(FSizingIndex, C.Y);
    FMouseState = 0;
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
}

void TStringGrid::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TStringGrid::mousePressEvent(QMouseEvent *Event)
{
    const QPoint P = ViewportPoint(Event->position().toPoint());
    MouseDown(ButtonOf(Event->button()), MouseShift(Event), P.x(), P.y());
}

void TStringGrid::mouseMoveEvent(QMouseEvent *Event)
{
    const QPoint P = ViewportPoint(Event->position().toPoint());
    MouseMove(MouseShift(Event), P.x(), P.y());
}

void TStringGrid::mouseReleaseEvent(QMouseEvent *Event)
{
    const QPoint P = ViewportPoint(Event->position().toPoint());
    MouseUp(ButtonOf(Event->button()), MouseShift(Event), P.x(), P.y());
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent *Event)
{
    Q_UNUSED(Event);
    DblClick();
}

void TStringGrid::resizeEvent(QResizeEvent *Event)
{
    QAbstractScrollArea::resizeEvent(Event);
    UpdateScrollBars();
    UpdateEditorPlace();
    Resize();
}

// ------------------------------------------------------------------ rows and columns

void TStringGrid::AssignRow(int DestRow, int SourceRow)
{
    if (DestRow < 0 || DestRow >= FRowCount || SourceRow < 0 || SourceRow >= FRowCount || DestRow == SourceRow)
        return;
    RowData Copy = FRows.At(SourceRow);
    ++FPlacementGeneration, FRows.Modify(DestRow, [&Copy](RowData &R) { R = std::move(Copy); });
    InvalidateRow(DestRow);
}

void TStringGrid::AssignCol(int DestCol, int SourceCol)
{
    if (DestCol < 0 || DestCol >= FColCount || SourceCol < 0 || SourceCol >= FColCount || DestCol == SourceCol)
        return;
    for (int R = 0; R < FRowCount; ++R) {
        const CellData *Source = FindCell(SourceCol, R);
        const QString Text = Source ? Source->Text : QString();
        TObject *const Object = Source ? Source->Object : nullptr;
        StoreCell(DestCol, R, &Text, &Object);
    }
    InvalidateCol(DestCol);
}

void TStringGrid::ShiftColumnCells(int Index, int Delta)
{
    if (Delta == 0)
        return;
    Index = std::max(Index, 0);
    // Left: the columns Index + Delta .. Index - 1 are overwritten.
    const int DropFrom = std::max(Index + std::min(Delta, 0), 0);
    if (DropFrom >= FColCount)
        return;
    const int Limit = FColCount;
    ++FPlacementGeneration, FRows.ForEach([&](RowData &R) {
        const auto From = CellAt(R.Cells, DropFrom);
        if (From == R.Cells.end())
            return;
        auto Out = From;
        for (auto It = From; It != R.Cells.end(); ++It) {
            const int Col = It->Col < Index ? -1 : It->Col + Delta;
            if (Col < 0 || Col >= Limit) {
                R.Objects -= It->Data.Object ? 1 : 0;
                continue;
            }
            It->Col = Col;
            if (Out != It)
                *Out = std::move(*It);
            ++Out;
        }
        R.Cells.erase(Out, R.Cells.end());
    });
    InvalidateGrid();
}

void TStringGrid::MoveRow(int FromIndex, int ToIndex)
{
    MoveRowData(FromIndex, ToIndex, MoveRowHeights());
}

void TStringGrid::MoveRowData(int FromIndex, int ToIndex, bool WithHeight)
{
    if (FromIndex == ToIndex || FromIndex < 0 || ToIndex < 0 || FromIndex >= FRowCount || ToIndex >= FRowCount)
        return;
    ++FPlacementGeneration, FRows.Move(FromIndex, ToIndex);
    if (WithHeight)
        FRowHeights.Move(FromIndex, ToIndex);
    RowMoved(FromIndex, ToIndex);
    UpdateScrollBars();
    InvalidateGrid();
}

void TStringGrid::ExchangeRows(int ARow1, int ARow2, bool WithHeights)
{
    if (ARow1 == ARow2 || ARow1 < 0 || ARow2 < 0 || ARow1 >= FRowCount || ARow2 >= FRowCount)
        return;
    ++FPlacementGeneration, FRows.Exchange(ARow1, ARow2);
    // While painting is suspended (a sort exchanging many rows) there is
    // nothing to invalidate; the end of the suspension repaints the grid.
    const bool Repaint = viewport()->updatesEnabled();
    if (WithHeights && RowHeights(ARow1) != RowHeights(ARow2)) {
        FRowHeights.Exchange(ARow1, ARow2);
        if (Repaint) {
            UpdateScrollBars();
            InvalidateGrid();
        }
        return;
    }
    if (Repaint) {
        InvalidateRow(ARow1);
        InvalidateRow(ARow2);
    }
}

void TStringGrid::MoveColumn(int FromIndex, int ToIndex)
{
    MoveColumnData(FromIndex, ToIndex, MoveColWidths());
}

void TStringGrid::MoveColumnData(int FromIndex, int ToIndex, bool WithWidth)
{
    if (FromIndex == ToIndex || FromIndex < 0 || ToIndex < 0 || FromIndex >= FColCount || ToIndex >= FColCount)
        return;
    // The moved column lands on ToIndex; the ones between shift by one.
    auto NewIndex = [FromIndex, ToIndex](int C) {
        if (C == FromIndex)
            return ToIndex;
        if (FromIndex < ToIndex && C > FromIndex && C <= ToIndex)
            return C - 1;
        if (ToIndex < FromIndex && C >= ToIndex && C < FromIndex)
            return C + 1;
        return C;
    };
    ++FPlacementGeneration, FRows.ForEach([&NewIndex](RowData &R) {
        for (RowCell &Cell : R.Cells)
            Cell.Col = NewIndex(Cell.Col);
        std::sort(R.Cells.begin(), R.Cells.end(), [](const RowCell &A, const RowCell &B) { return A.Col < B.Col; });
    });
    if (WithWidth)
        FColWidths.Move(FromIndex, ToIndex);
    ColumnMoved(FromIndex, ToIndex);
    UpdateScrollBars();
    InvalidateGrid();
}

void TStringGrid::DeleteRow(int ARow)
{
    DeleteRows(ARow, 1);
}

void TStringGrid::DeleteRows(int Index, int Count)
{
    if (Index < 0 || Index >= FRowCount || Count < 1)
        return;
    Count = std::min(Count, FRowCount - Index);
    if (Count >= FRowCount) {
        // The grid keeps one row: the first one stays, emptied.
        ++FPlacementGeneration, FRows.Modify(0, [](RowData &R) { R = RowData(); });
        --Count;
        if (Count == 0) {
            InvalidateGrid();
            return;
        }
        ++Index;
    }
    const int Old = FRowCount;
    if (FRowCount - Count <= FFixedRows)
        TStringGrid::SetFixedRows(FRowCount - Count - 1);
    ++FPlacementGeneration, FRows.Erase(Index, Count);
    FRowHeights.Erase(Index, Count);
    FRowCount -= Count;
    SizeChanged(FColCount, Old);
}

void TStringGrid::InsertEmptyRows(int Index, int Count)
{
    if (Count < 1)
        return;
    Index = std::clamp(Index, 0, FRowCount);
    const int Old = FRowCount;
    ++FPlacementGeneration, FRows.Insert(Index, Count, RowData());
    FRowHeights.Insert(Index, Count, FDefaultRowHeight);
    FRowCount += Count;
    SizeChanged(FColCount, Old);
}

void TStringGrid::DeleteColumn(int ACol)
{
    if (ACol < 0 || ACol >= FColCount)
        return;
    MoveColumnData(ACol, FColCount - 1, true);
    TStringGrid::SetColCount(FColCount - 1);
}

void TStringGrid::ColumnMoved(int FromIndex, int ToIndex)
{
    if (OnColumnMoved)
        OnColumnMoved(this, FromIndex, ToIndex);
}

void TStringGrid::RowMoved(int FromIndex, int ToIndex)
{
    if (OnRowMoved)
        OnRowMoved(this, FromIndex, ToIndex);
}
