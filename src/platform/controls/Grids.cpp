#include "platform/controls/Grids.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace {

const int SizingMargin = 3;

} // namespace

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
    FColWidths.assign(size_t(FColCount), FDefaultColWidth);
    FRowHeights.assign(size_t(FRowCount), FDefaultRowHeight);
    FRows.resize(size_t(FRowCount));
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

const TStringGrid::CellData *TStringGrid::FindCell(int ACol, int ARow) const
{
    if (ARow < 0 || ARow >= int(FRows.size()))
        return nullptr;
    const RowData &R = FRows[size_t(ARow)];
    auto It = R.find(ACol);
    return It == R.end() ? nullptr : &It->second;
}

TStringGrid::CellData &TStringGrid::TouchCell(int ACol, int ARow)
{
    return FRows[size_t(ARow)][ACol];
}

void TStringGrid::DropIfEmpty(int ACol, int ARow)
{
    RowData &R = FRows[size_t(ARow)];
    auto It = R.find(ACol);
    if (It != R.end() && It->second.Text.isEmpty() && !It->second.Object)
        R.erase(It);
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
    TouchCell(ACol, ARow).Text = Value;
    DropIfEmpty(ACol, ARow);
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
    TouchCell(ACol, ARow).Object = Value;
    DropIfEmpty(ACol, ARow);
}

int TStringGrid::CellCount() const
{
    int N = 0;
    for (const RowData &R : FRows)
        N += int(R.size());
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
    FColWidths.resize(size_t(Value), FDefaultColWidth);
    if (Value < Old) {
        for (RowData &R : FRows)
            R.erase(R.lower_bound(Value), R.end());
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
    FRowHeights.resize(size_t(Value), FDefaultRowHeight);
    FRows.resize(size_t(Value));
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
    if (Index < 0 || Index >= int(FColWidths.size()))
        return FDefaultColWidth;
    return FColWidths[size_t(Index)];
}

void TStringGrid::SetColWidths(int Index, int Value)
{
    if (Index < 0 || Index >= int(FColWidths.size()))
        return;
    Value = std::max(Value, 0);
    if (FColWidths[size_t(Index)] == Value)
        return;
    FColWidths[size_t(Index)] = Value;
    UpdateScrollBars();
    UpdateEditorPlace();
    InvalidateGrid();
}

int TStringGrid::RowHeights(int Index) const
{
    if (Index < 0 || Index >= int(FRowHeights.size()))
        return FDefaultRowHeight;
    return FRowHeights[size_t(Index)];
}

void TStringGrid::SetRowHeights(int Index, int Value)
{
    if (Index < 0 || Index >= int(FRowHeights.size()))
        return;
    Value = std::max(Value, 0);
    if (FRowHeights[size_t(Index)] == Value)
        return;
    FRowHeights[size_t(Index)] = Value;
    UpdateScrollBars();
    UpdateEditorPlace();
    InvalidateGrid();
}

void TStringGrid::SetDefaultColWidth(int Value)
{
    FDefaultColWidth = std::max(Value, 0);
    std::fill(FColWidths.begin(), FColWidths.end(), FDefaultColWidth);
    UpdateScrollBars();
    UpdateEditorPlace();
    InvalidateGrid();
}

void TStringGrid::SetDefaultRowHeight(int Value)
{
    FDefaultRowHeight = std::max(Value, 0);
    std::fill(FRowHeights.begin(), FRowHeights.end(), FDefaultRowHeight);
    UpdateScrollBars();
    UpdateEditorPlace();
    InvalidateGrid();
}

void TStringGrid::SetGridLineWidth(int Value)
{
    FGridLineWidth = std::max(Value, 0);
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

int TStringGrid::ColStart(int ACol) const
{
    if (ACol < 0 || ACol >= FColCount)
        return -1;
    int X = 0;
    if (ACol < FFixedCols) {
        for (int I = 0; I < ACol; ++I)
            X += ColWidths(I) + FGridLineWidth;
        return X;
    }
    if (ACol < FTopLeft.X)
        return -1;
    for (int I = 0; I < FFixedCols; ++I)
        X += ColWidths(I) + FGridLineWidth;
    for (int I = FTopLeft.X; I < ACol; ++I) {
        X += ColWidths(I) + FGridLineWidth;
        if (X >= ClientWidth())
            return -1;
    }
    return X < ClientWidth() ? X : -1;
}

int TStringGrid::RowStart(int ARow) const
{
    if (ARow < 0 || ARow >= FRowCount)
        return -1;
    int Y = 0;
    if (ARow < FFixedRows) {
        for (int I = 0; I < ARow; ++I)
            Y += RowHeights(I) + FGridLineWidth;
        return Y;
    }
    if (ARow < FTopLeft.Y)
        return -1;
    for (int I = 0; I < FFixedRows; ++I)
        Y += RowHeights(I) + FGridLineWidth;
    for (int I = FTopLeft.Y; I < ARow; ++I) {
        Y += RowHeights(I) + FGridLineWidth;
        if (Y >= ClientHeight())
            return -1;
    }
    return Y < ClientHeight() ? Y : -1;
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
    auto Find = [this](int Pos, int Fixed, int First, int Count, auto Extent) {
        int Edge = 0;
        for (int I = 0; I < Fixed; ++I) {
            Edge += Extent(I) + FGridLineWidth;
            if (Pos < Edge)
                return I;
        }
        for (int I = First; I < Count; ++I) {
            Edge += Extent(I) + FGridLineWidth;
            if (Pos < Edge)
                return I;
        }
        return -1;
    };
    if (X < 0 || Y < 0 || X >= ClientWidth() || Y >= ClientHeight())
        return C;
    C.X = Find(X, FFixedCols, FTopLeft.X, FColCount, [this](int I) { return ColWidths(I); });
    C.Y = Find(Y, FFixedRows, FTopLeft.Y, FRowCount, [this](int I) { return RowHeights(I); });
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
    if (FColCount <= FFixedCols)
        return 0;
    int X = 0;
    for (int I = 0; I < FFixedCols; ++I)
        X += ColWidths(I) + FGridLineWidth;
    int N = 0;
    for (int I = FTopLeft.X; I < FColCount; ++I) {
        if (X + ColWidths(I) > ClientWidth())
            break;
        X += ColWidths(I) + FGridLineWidth;
        ++N;
    }
    return std::max(N, 1);
}

int TStringGrid::VisibleRowCount() const
{
    if (FRowCount <= FFixedRows)
        return 0;
    int Y = 0;
    for (int I = 0; I < FFixedRows; ++I)
        Y += RowHeights(I) + FGridLineWidth;
    int N = 0;
    for (int I = FTopLeft.Y; I < FRowCount; ++I) {
        if (Y + RowHeights(I) > ClientHeight())
            break;
        Y += RowHeights(I) + FGridLineWidth;
        ++N;
    }
    return std::max(N, 1);
}

int TStringGrid::MaxLeftCol() const
{
    int Fixed = 0;
    for (int I = 0; I < FFixedCols; ++I)
        Fixed += ColWidths(I) + FGridLineWidth;
    const int Room = ClientWidth() - Fixed;
    int Used = ColWidths(FColCount - 1);
    int I = FColCount - 1;
    while (I - 1 >= FFixedCols && Used + FGridLineWidth + ColWidths(I - 1) <= Room) {
        Used += FGridLineWidth + ColWidths(I - 1);
        --I;
    }
    return std::max(I, FFixedCols);
}

int TStringGrid::MaxTopRow() const
{
    int Fixed = 0;
    for (int I = 0; I < FFixedRows; ++I)
        Fixed += RowHeights(I) + FGridLineWidth;
    const int Room = ClientHeight() - Fixed;
    int Used = RowHeights(FRowCount - 1);
    int I = FRowCount - 1;
    while (I - 1 >= FFixedRows && Used + FGridLineWidth + RowHeights(I - 1) <= Room) {
        Used += FGridLineWidth + RowHeights(I - 1);
        --I;
    }
    return std::max(I, FFixedRows);
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
    if (ACol >= FFixedCols) {
        if (ACol < Left) {
            Left = ACol;
        } else {
            int Fixed = 0;
            for (int I = 0; I < FFixedCols; ++I)
                Fixed += ColWidths(I) + FGridLineWidth;
            const int Room = ClientWidth() - Fixed;
            int Used = 0;
            for (int I = Left; I <= ACol; ++I)
                Used += ColWidths(I) + (I > Left ? FGridLineWidth : 0);
            while (Used > Room && Left < ACol) {
                Used -= ColWidths(Left) + FGridLineWidth;
                ++Left;
            }
        }
    }
    if (ARow >= FFixedRows) {
        if (ARow < Top) {
            Top = ARow;
        } else {
            int Fixed = 0;
            for (int I = 0; I < FFixedRows; ++I)
                Fixed += RowHeights(I) + FGridLineWidth;
            const int Room = ClientHeight() - Fixed;
            int Used = 0;
            for (int I = Top; I <= ARow; ++I)
                Used += RowHeights(I) + (I > Top ? FGridLineWidth : 0);
            while (Used > Room && Top < ARow) {
                Used -= RowHeights(Top) + FGridLineWidth;
                ++Top;
            }
        }
    }
    MoveTopLeft(Left, Top);
}

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
        viewport()->update(QRect(R.Left, R.Top, R.Right - R.Left + FGridLineWidth, R.Bottom - R.Top + FGridLineWidth));
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
        viewport()->update(QRect(X, 0, ColWidths(ACol) + FGridLineWidth, ClientHeight()));
}

void TStringGrid::InvalidateGrid()
{
    viewport()->update();
}

void TStringGrid::InvalidateRect(const TRect &R)
{
    if (R.Right > R.Left && R.Bottom > R.Top)
        viewport()->update(QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top));
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
    if (FDefaultDrawing)
        Canvas()->TextRect(ARect, ARect.Left + 2, ARect.Top + 2, TStringGrid::Cells(ACol, ARow));
    if (OnDrawCell)
        OnDrawCell(this, ACol, ARow, ARect, AState);
}

void TStringGrid::paintEvent(QPaintEvent *Event)
{
    Q_UNUSED(Event);
    QPainter Painter(viewport());
    TCanvas PaintCanvas(&Painter);
    PaintCanvas.Font()->Assign(*FFont);
    FPaintCanvas = &PaintCanvas;
    try {
        Paint();
    } catch (...) {
        // Painting must never let an exception into the event loop.
    }
    FPaintCanvas = nullptr;
}

QImage TStringGrid::RenderToImage()
{
    QImage Image(viewport()->size(), QImage::Format_RGB32);
    Image.fill(Qt::white);
    QPainter Painter(&Image);
    TCanvas ImageCanvas(&Painter);
    ImageCanvas.Font()->Assign(*FFont);
    FPaintCanvas = &ImageCanvas;
    Paint();
    FPaintCanvas = nullptr;
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
    const TRect R = CellRect(FInplaceCol, FInplaceRow);
    if (R.Right <= R.Left || R.Bottom <= R.Top) {
        FInplaceEdit->move(-10000, -10000);
        return;
    }
    FInplaceEdit->setGeometry(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
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
            for (int I = 0; I < FRowCount; ++I) {
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
    const QPoint P = Event->position().toPoint();
    MouseDown(ButtonOf(Event->button()), MouseShift(Event), P.x(), P.y());
}

void TStringGrid::mouseMoveEvent(QMouseEvent *Event)
{
    const QPoint P = Event->position().toPoint();
    MouseMove(MouseShift(Event), P.x(), P.y());
}

void TStringGrid::mouseReleaseEvent(QMouseEvent *Event)
{
    const QPoint P = Event->position().toPoint();
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
    FRows[size_t(DestRow)] = FRows[size_t(SourceRow)];
    InvalidateRow(DestRow);
}

void TStringGrid::AssignCol(int DestCol, int SourceCol)
{
    if (DestCol < 0 || DestCol >= FColCount || SourceCol < 0 || SourceCol >= FColCount || DestCol == SourceCol)
        return;
    for (RowData &R : FRows) {
        auto It = R.find(SourceCol);
        if (It == R.end())
            R.erase(DestCol);
        else
            R[DestCol] = It->second;
    }
    InvalidateCol(DestCol);
}

void TStringGrid::MoveRow(int FromIndex, int ToIndex)
{
    MoveRowData(FromIndex, ToIndex, MoveRowHeights());
}

void TStringGrid::MoveRowData(int FromIndex, int ToIndex, bool WithHeight)
{
    if (FromIndex == ToIndex || FromIndex < 0 || ToIndex < 0 || FromIndex >= FRowCount || ToIndex >= FRowCount)
        return;
    auto Rotate = [FromIndex, ToIndex](auto &V) {
        if (FromIndex < ToIndex)
            std::rotate(V.begin() + FromIndex, V.begin() + FromIndex + 1, V.begin() + ToIndex + 1);
        else
            std::rotate(V.begin() + ToIndex, V.begin() + FromIndex, V.begin() + FromIndex + 1);
    };
    Rotate(FRows);
    if (WithHeight)
        Rotate(FRowHeights);
    RowMoved(FromIndex, ToIndex);
    UpdateScrollBars();
    InvalidateGrid();
}

void TStringGrid::MoveColumn(int FromIndex, int ToIndex)
{
    MoveColumnData(FromIndex, ToIndex, MoveColWidths());
}

void TStringGrid::MoveColumnData(int FromIndex, int ToIndex, bool WithWidth)
{
    if (FromIndex == ToIndex || FromIndex < 0 || ToIndex < 0 || FromIndex >= FColCount || ToIndex >= FColCount)
        return;
    for (RowData &R : FRows) {
        std::vector<std::pair<bool, CellData>> Line(static_cast<size_t>(FColCount));
        for (auto &[C, D] : R)
            Line[size_t(C)] = {true, D};
        auto Rotate = [FromIndex, ToIndex](auto &V) {
            if (FromIndex < ToIndex)
                std::rotate(V.begin() + FromIndex, V.begin() + FromIndex + 1, V.begin() + ToIndex + 1);
            else
                std::rotate(V.begin() + ToIndex, V.begin() + FromIndex, V.begin() + FromIndex + 1);
        };
        Rotate(Line);
        R.clear();
        for (int C = 0; C < FColCount; ++C)
            if (Line[size_t(C)].first)
                R[C] = Line[size_t(C)].second;
    }
    if (WithWidth && FromIndex < ToIndex)
        std::rotate(FColWidths.begin() + FromIndex, FColWidths.begin() + FromIndex + 1, FColWidths.begin() + ToIndex + 1);
    else if (WithWidth)
        std::rotate(FColWidths.begin() + ToIndex, FColWidths.begin() + FromIndex, FColWidths.begin() + FromIndex + 1);
    ColumnMoved(FromIndex, ToIndex);
    UpdateScrollBars();
    InvalidateGrid();
}

void TStringGrid::DeleteRow(int ARow)
{
    if (ARow < 0 || ARow >= FRowCount)
        return;
    MoveRowData(ARow, FRowCount - 1, true);
    FRows.back().clear();
    TStringGrid::SetRowCount(FRowCount - 1);
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
